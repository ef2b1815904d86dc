#!/usr/bin/env python3
"""Mutated brand archives for the extraction fuzz driver, each judged by a
strict reading of its own.

Usage: zip_fuzz_mutator.py OUTPUT_FOLDER COUNT SEED

Brand archives (Brand.ini, Brand.ico, a readme, a larger text in a sub-folder)
are packed by Python's zipfile (deflated and stored) and, when present, by
Info-ZIP zip and bsdtar; each case takes one of them and applies one to three
mutations: bit flips, a field of a local header, a central record or the end
record set to an edge value, a truncation, a duplicated central or local
record, or names meant to leave the destination (each holding "fzesc").
OUTPUT_FOLDER receives case_NNNNN.zip and cases.txt, one line per case:
"<damaged|sound> <file> <mutations>". The same SEED gives the same cases.

"damaged" means the strict reading below cannot read every entry as its
records declare it: no usable end record, a central directory that does not
hold exactly the counted records or does not end where the end record says,
a local header that contradicts its central record, encrypted or unknown
methods, zip64 markers without zip64 records, data shared by two entries (as
a zip bomb's records share theirs), or data that does not give the declared
size with the declared CRC. Names are not judged here (the driver
checks where files land); the names of the central directory count.
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

EOCD = b"PK\x05\x06"
CENTRAL = b"PK\x01\x02"
LOCAL = b"PK\x03\x04"
EDGE_VALUES = [0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF]


def brand_files():
    ini = ("[BRANDING]\r\napp_title=Fuzz Desk\r\nshortcut_name=Fuzz Desk Client\r\n"
           "company_name=Fuzz Networks\r\n").encode("utf-16")
    bitmap = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 8, 0, 0, 0, 0)
    image = bitmap + b"\x00\x80\xff\xff\x00\x00\x00\x00"
    icon = (struct.pack("<HHH", 0, 1, 1) +
            struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, len(image), 22) + image)
    text = "".join("brand line %04d\r\n" % i for i in range(300)).encode("ascii")
    return {"Brand.ini": ini, "Brand.ico": icon, "readme.txt": b"Fuzz brand\r\n",
            "Extra/notes.txt": text, "Extra/empty.txt": b""}


def base_archives(work):
    files = brand_files()
    tree = os.path.join(work, "tree")
    for name, data in files.items():
        path = os.path.join(tree, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    bases = []
    for method in (zipfile.ZIP_DEFLATED, zipfile.ZIP_STORED):
        path = os.path.join(work, "zipfile_%d.zip" % method)
        with zipfile.ZipFile(path, "w", method) as archive:
            for name, data in files.items():
                archive.writestr(name, data)
        bases.append(path)
    for tool, command in [("zip", ["zip", "-q", "-r", "-X"]),
                          ("bsdtar", ["bsdtar", "--format", "zip", "-cf"])]:
        if shutil.which(command[0]):
            path = os.path.join(work, "%s.zip" % tool)
            subprocess.run(command + [path, "."], cwd=tree, check=True)
            bases.append(path)
    return [open(p, "rb").read() for p in sorted(bases)]


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def find_eocd(b):
    # The last end-record signature in the file's last 0xFFFF bytes, as the
    # extraction's reader searches for it.
    return b.rfind(EOCD, max(0, len(b) - 0xFFFF))


def structure(b):
    """Offsets of the fields a mutation may set: (offset, width) pairs."""
    fields = []
    end = find_eocd(b)
    if end < 0 or end + 22 > len(b):
        return fields
    fields += [(end + o, w) for o, w in [(4, 2), (6, 2), (8, 2), (10, 2), (12, 4), (16, 4), (20, 2)]]
    at = u32(b, end + 16)
    for _ in range(u16(b, end + 10)):
        if at + 46 > len(b) or b[at:at + 4] != CENTRAL:
            break
        fields += [(at + o, w) for o, w in [(6, 2), (8, 2), (10, 2), (12, 2), (14, 2), (16, 4),
                                            (20, 4), (24, 4), (28, 2), (30, 2), (32, 2), (34, 2),
                                            (42, 4)]]
        local = u32(b, at + 42)
        if local + 30 <= len(b) and b[local:local + 4] == LOCAL:
            fields += [(local + o, w) for o, w in [(6, 2), (8, 2), (14, 4), (18, 4), (22, 4),
                                                   (26, 2), (28, 2)]]
        at += 46 + u16(b, at + 28) + u16(b, at + 30) + u16(b, at + 32)
    return fields


def central_records(b):
    end = find_eocd(b)
    records = []
    if end < 0 or end + 22 > len(b):
        return end, records
    at = u32(b, end + 16)
    for _ in range(u16(b, end + 10)):
        if at + 46 > len(b) or b[at:at + 4] != CENTRAL:
            break
        size = 46 + u16(b, at + 28) + u16(b, at + 30) + u16(b, at + 32)
        # A record whose lengths (maybe set by an earlier mutation) run past
        # the file ends the list: copying it would copy less than its size.
        if at + size > len(b):
            break
        records.append((at, size))
        at += size
    return end, records


def mutate_bits(b, rng):
    b = bytearray(b)
    for _ in range(rng.randint(1, 4)):
        b[rng.randrange(len(b))] ^= 1 << rng.randrange(8)
    return bytes(b), "bitflip"


def mutate_field(b, rng):
    fields = structure(b)
    if not fields:
        return mutate_bits(b, rng)
    at, width = rng.choice(fields)
    old = u16(b, at) if width == 2 else u32(b, at)
    value = rng.choice(EDGE_VALUES + [old + 1, old - 1, len(b), rng.getrandbits(8 * width)])
    value &= (1 << (8 * width)) - 1
    b = bytearray(b)
    struct.pack_into("<H" if width == 2 else "<I", b, at, value)
    return bytes(b), "field@%d=%#x" % (at, value)


def mutate_truncate(b, rng):
    cut = rng.randrange(len(b))
    return b[:cut], "truncate@%d" % cut


def mutate_duplicate(b, rng):
    end, records = central_records(b)
    if not records:
        return mutate_bits(b, rng)
    at, size = rng.choice(records)
    record = b[at:at + size]
    cd_start = records[0][0]
    cd_end = records[-1][0] + records[-1][1]
    if rng.random() < 0.5:
        # A duplicated central record, the end record counting it or not.
        count = u16(b, end + 10)
        out = bytearray(b[:cd_end] + record + b[cd_end:])
        end += size
        fixed = rng.random() < 0.5
        if fixed:
            struct.pack_into("<HHI", out, end + 8, count + 1, count + 1, u32(out, end + 12) + size)
        return bytes(out), "duplicate-central(%s)" % ("counted" if fixed else "uncounted")
    # A copy of a local record placed before the central directory, unreferenced.
    local = u32(record, 42)
    if local + 30 > len(b) or local >= cd_start:
        return mutate_bits(b, rng)
    length = 30 + u16(b, local + 26) + u16(b, local + 28) + u32(record, 20)
    copy = b[local:local + length]
    out = bytearray(b[:cd_start] + copy + b[cd_start:])
    end += len(copy)
    struct.pack_into("<I", out, end + 16, u32(out, end + 16) + len(copy))
    return bytes(out), "duplicate-local"


HOSTILE_NAMES = [
    "../fzesc.txt", "..\\..\\fzesc.txt", "../../../../../../../../fzesc.txt", "/fzesc.txt",
    "\\fzesc.txt", "C:\\fzesc.txt", "C:/fzesc.txt", "C:fzesc.txt", "C:..\\..\\fzesc.txt",
    "a/../../fzesc.txt", "a\\..\\..\\..\\..\\..\\..\\fzesc.txt", "./../fzesc.txt",
    "fzesc.txt:stream", "Brand.ini:fzesc", "//server/share/fzesc.txt", "\\\\?\\C:\\fzesc.txt",
    "a//../../fzesc.txt", "..", "../", "./", ".", "a/./././fzesc.txt", "fzesc " + "x" * 300,
    "fzesc/" * 60 + "deep.txt", "..\\fzesc\\", "\x7f\x7f../fzesc.txt", "fzesc\x7f\x7f..\\..\\x",
    "..\xa5fzesc", "\u2025/fzesc.txt", "fzesc...", "CON", "fzesc\\AUX.txt",
]


def mutate_names(b, rng):
    # A fresh brand archive whose entries' names include escaping ones.
    files = list(brand_files().items())
    names = rng.sample(HOSTILE_NAMES, rng.randint(1, 3))
    buffer = tempfile.SpooledTemporaryFile()
    with zipfile.ZipFile(buffer, "w", rng.choice([zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED])) as z:
        for name, data in files[:2]:
            z.writestr(name, data)
        for name in names:
            info = zipfile.ZipInfo(name)
            z.writestr(info, b"escaped\r\n")
    buffer.seek(0)
    return buffer.read(), "names(%s)" % ",".join(repr(n)[:40] for n in names).replace(" ", "_")


MUTATIONS = [(mutate_bits, 3), (mutate_field, 4), (mutate_truncate, 1), (mutate_duplicate, 1),
             (mutate_names, 1)]


def judge(b):
    """The reason the archive is damaged, or None when every entry reads as declared."""
    end = find_eocd(b)
    if end < 0 or end + 22 > len(b):
        return "no end record"
    if b.rfind(b"PK\x06\x07", max(0, len(b) - 0xFFFF)) >= 0:
        return "zip64 locator"
    disk, cd_disk, on_disk, total, cd_size, cd_offset = struct.unpack_from("<HHHHII", b, end + 4)
    if disk != 0 or cd_disk != 0 or on_disk != total or total == 0:
        return "end record counts"
    if cd_offset + cd_size != end:
        return "central directory not before the end record"
    at = cd_offset
    spans = []  # the data of the file entries read so far
    for _ in range(total):
        if at + 46 > end or b[at:at + 4] != CENTRAL:
            return "central record missing"
        (flags, method, crc, csize, usize, nlen, xlen, clen,
         local) = struct.unpack_from("<HH4xIIIHHH8xI", b, at + 8)
        name = b[at + 46:at + 46 + nlen]
        at += 46 + nlen + xlen + clen
        if at > end:
            return "central record beyond the directory"
        if not name or name[-1:] in (b"/", b"\\"):
            continue  # a folder entry: no data is read
        if 0xFFFFFFFF in (csize, usize, local):
            return "zip64 size without zip64 records"
        if flags & 1:
            return "encrypted"
        if method not in (0, 8):
            return "unknown method"
        if local + 30 > len(b) or b[local:local + 4] != LOCAL:
            return "local header missing"
        lflags, lmethod, lcrc, lcsize, lusize, lnlen, lxlen = struct.unpack_from(
            "<2xHH4xIIIHH", b, local + 4)
        if lmethod != method or lnlen != nlen or b[local + 30:local + 30 + lnlen] != name:
            return "local header differs"
        if not lflags & 8 and (lcrc != crc or lcsize not in (csize, 0xFFFFFFFF) or
                               lusize not in (usize, 0xFFFFFFFF)):
            return "local header differs"
        start = local + 30 + lnlen + lxlen
        if start + csize > cd_offset:
            return "data not before the central directory"
        data = b[start:start + csize]
        if len(data) != csize:
            return "data beyond the file"
        if csize and any(start < span_end and span_start < start + csize
                         for span_start, span_end in spans):
            return "data shared with another entry"
        spans.append((start, start + csize))
        if method == 0:
            content = data[:usize]
        elif usize == 0:
            content = b""
        else:
            try:
                content = zlib.decompressobj(-15).decompress(data, usize)
            except zlib.error:
                return "bad deflate data"
        if len(content) != usize:
            return "data shorter than declared"
        if zlib.crc32(content) != crc:
            return "crc"
    if at != end:
        return "bytes after the counted records"
    return None


def main():
    out, count, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(seed)
    os.makedirs(out, exist_ok=True)
    work = tempfile.mkdtemp()
    try:
        bases = base_archives(work)
    finally:
        shutil.rmtree(work)
    functions = [f for f, weight in MUTATIONS for _ in range(weight)]
    lines = []
    for index in range(count):
        data = rng.choice(bases)
        done = []
        for _ in range(rng.choice([1, 1, 1, 2, 3])):
            if not data:
                break
            data, what = rng.choice(functions)(data, rng)
            done.append(what)
        name = "case_%05d.zip" % index
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
        verdict = "damaged" if judge(data) else "sound"
        lines.append("%s %s %s" % (verdict, name, "+".join(done)))
    with open(os.path.join(out, "cases.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")
    print("mutator: %d cases, seed %d, %d damaged" %
          (count, seed, sum(l.startswith("damaged") for l in lines)))


if __name__ == "__main__":
    main()
