#!/usr/bin/env python3
"""Makes the archives of the zip extraction tests with real tools.

Usage: make_zip_archives.py OUTPUT_FOLDER WORK_FOLDER

Info-ZIP zip (deflated and stored), 7-Zip and bsdtar pack the same small tree;
Python's zipfile writes the archives whose entry names or bytes need exact
control (UTF-8 behind the 0x7F 0x7F marker, ANSI code-page bytes, traversal
names, long names) and the damaged ones are derived from good archives.
Every archive lands in OUTPUT_FOLDER as ziptest_<name>.zip; the tree that the
tools pack is made in WORK_FOLDER.

The tree's files get the modification time TREE_TIME in the time zone
ARCHIVE_TZ, so that the tools store that local time as the entries' DOS time.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import time
import zipfile
import zlib

ARCHIVE_TZ = "IST-5:30"  # a fixed offset from UTC, no daylight saving time
TREE_TIME = (2021, 3, 4, 5, 6, 8)
PY_TIME = (2019, 7, 14, 13, 37, 43)  # odd seconds: stored as 42


def big_text(lines):
    return "".join("line %05d of a text long enough to span several copy chunks\r\n" % i
                   for i in range(lines)).encode("ascii")


TREE = {
    "top.txt": b"top level file\r\n",
    "docs/readme.txt": b"read me\r\n",
    "a/b/c.txt": b"deep file c\r\n",
    "big.txt": big_text(400),  # about 25 KB
}
EMPTY_FOLDERS = ["empty"]
UNICODE_TREE = {
    "Ünï/Привет.txt": b"cyrillic in a latin folder\r\n",
    "日本.txt": b"japanese\r\n",
    "café.txt": b"accent\r\n",
}


def make_tree(root):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    os.environ["TZ"] = ARCHIVE_TZ
    time.tzset()
    stamp = time.mktime(TREE_TIME + (0, 0, -1))
    for name, data in TREE.items():
        path = os.path.join(root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for name in EMPTY_FOLDERS:
        os.makedirs(os.path.join(root, name), exist_ok=True)
    for folder, dirs, files in os.walk(root):
        for item in dirs + files:
            os.utime(os.path.join(folder, item), (stamp, stamp))


def run(args, cwd, extra_env=None):
    env = dict(os.environ, TZ=ARCHIVE_TZ, **(extra_env or {}))
    subprocess.run(args, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL)


def tool_archives(out, work):
    tree = os.path.join(work, "tree")
    make_tree(tree)
    items = sorted(os.listdir(tree))
    for name, args in [
        ("infozip_deflated", ["zip", "-r", "-X", "-9"]),
        ("infozip_stored", ["zip", "-r", "-X", "-0"]),
        ("sevenzip", ["7z", "a", "-tzip", "-bd"]),
        ("bsdtar", ["bsdtar", "--format", "zip", "-cf"]),
    ]:
        target = os.path.join(out, "ziptest_%s.zip" % name)
        if os.path.exists(target):
            os.remove(target)
        run(args + [target] + items, tree)
        # The same tree given as "." (bsdtar writes "./", "./top.txt", ...).
        target = os.path.join(out, "ziptest_%s_dot.zip" % name)
        if os.path.exists(target):
            os.remove(target)
        run(args + [target, "."], tree)

    # Zip64 records forced on small files; written to a pipe, so that every
    # entry has a data descriptor after its data (and Zip64 sizes).
    target = os.path.join(out, "ziptest_infozip_zip64.zip")
    if os.path.exists(target):
        os.remove(target)
    run(["zip", "-r", "-X", "-fz", target] + items, tree)
    with open(os.path.join(out, "ziptest_infozip_streamed.zip"), "wb") as streamed:
        packer = subprocess.Popen(["zip", "-q", "-r", "-X", "-"] + items, cwd=tree,
                                  env=dict(os.environ, TZ=ARCHIVE_TZ), stdout=subprocess.PIPE)
        shutil.copyfileobj(packer.stdout, streamed)
        if packer.wait() != 0:
            raise RuntimeError("zip to a pipe failed")

    # As Java's ZipOutputStream (and jar) write: every entry deflated behind a
    # data descriptor, folder entries too (an empty deflate stream of two
    # bytes). zipfile writes so to a stream it cannot seek in.
    class Unseekable(io.RawIOBase):
        def __init__(self, file):
            self.file = file

        def writable(self):
            return True

        def write(self, data):
            return self.file.write(data)

    with open(os.path.join(out, "ziptest_java_layout.zip"), "wb") as target:
        with zipfile.ZipFile(Unseekable(target), "w", zipfile.ZIP_DEFLATED) as archive:
            for folder in ["a/", "a/b/", "docs/"] + [f + "/" for f in EMPTY_FOLDERS]:
                info = zipfile.ZipInfo(folder, TREE_TIME)
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, b"")
            for name, data in TREE.items():
                archive.writestr(zipfile.ZipInfo(name, TREE_TIME), data, zipfile.ZIP_DEFLATED)
    # Methods the extraction does not read: the archive is whole, but it
    # cannot be extracted.
    for name, method in [("deflate64", "Deflate64"), ("bzip2", "BZip2")]:
        target = os.path.join(out, "ziptest_sevenzip_%s.zip" % name)
        if os.path.exists(target):
            os.remove(target)
        run(["7z", "a", "-tzip", "-bd", "-mm=" + method, target] + items, tree)

    # Names beyond ASCII: 7-Zip and bsdtar store them as UTF-8 and flag it (bit
    # 11), as Python's zipfile does (python_archives).
    unicode_tree = os.path.join(work, "unicode")
    shutil.rmtree(unicode_tree, ignore_errors=True)
    for name, data in UNICODE_TREE.items():
        path = os.path.join(unicode_tree, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    for name, args in [("sevenzip_utf8", ["7z", "a", "-tzip", "-bd"]),
                       ("bsdtar_utf8", ["bsdtar", "--format", "zip", "-cf"])]:
        target = os.path.join(out, "ziptest_%s.zip" % name)
        if os.path.exists(target):
            os.remove(target)
        run(args + [target] + sorted(os.listdir(unicode_tree)), unicode_tree,
            {"LC_ALL": "C.UTF-8"})

    # A tree of folders only.
    folders = os.path.join(work, "folders")
    shutil.rmtree(folders, ignore_errors=True)
    os.makedirs(os.path.join(folders, "f1", "f2"))
    os.makedirs(os.path.join(folders, "g1"))
    target = os.path.join(out, "ziptest_folders_only.zip")
    if os.path.exists(target):
        os.remove(target)
    run(["zip", "-r", "-X", target, "f1", "g1"], folders)

    # An encrypted entry, read without a password.
    secret = os.path.join(work, "secret")
    shutil.rmtree(secret, ignore_errors=True)
    os.makedirs(secret)
    with open(os.path.join(secret, "plain.txt"), "wb") as f:
        f.write(b"plain\r\n")
    with open(os.path.join(secret, "hidden.txt"), "wb") as f:
        f.write(big_text(50))
    target = os.path.join(out, "ziptest_encrypted.zip")
    if os.path.exists(target):
        os.remove(target)
    run(["zip", "-X", target, "plain.txt"], secret)
    run(["zip", "-X", "-P", "secret", target, "hidden.txt"], secret)


class RawNameInfo(zipfile.ZipInfo):
    """A ZipInfo whose name is written as the exact bytes given, no flags added."""

    def __init__(self, raw, date_time=PY_TIME, forced_flags=0):
        super().__init__(raw.decode("latin-1"), date_time)
        self.raw = raw
        self.forced_flags = forced_flags  # zipfile resets flag_bits when it writes

    def _encodeFilenameFlags(self):
        return self.raw, self.flag_bits | self.forced_flags


def write_raw(path, entries, compression=zipfile.ZIP_DEFLATED):
    """entries: (raw name bytes, data bytes) pairs, written in that order."""
    with zipfile.ZipFile(path, "w") as archive:
        for raw, data in entries:
            info = RawNameInfo(raw)
            info.compress_type = compression
            archive.writestr(info, data)


def utf8_name(text):
    return b"\x7f\x7f" + text.encode("utf-8")


def python_archives(out):
    p = lambda name: os.path.join(out, "ziptest_%s.zip" % name)

    # Names of UTF-8 behind the marker, ANSI (cp1252) bytes, and both mixed
    # level by level, with the extension always ANSI; a backslash separator.
    write_raw(p("names"), [
        (utf8_name("Привет") + b".ini", b"cyrillic\r\n"),
        (b"caf\xe9.txt", b"ansi\r\n"),
        (utf8_name("Папка") + b"/r\xe9sum\xe9/" + utf8_name("日本") + b".txt", b"mixed\r\n"),
        (b"plain/" + utf8_name("Файл") + b".r\xe9s", b"ext\r\n"),
        (b"back\\slash.txt", b"backslash separator\r\n"),
    ])

    # Entries that would lead outside the destination, each after a good one.
    for name, raw in [("dotdot", b"../escaped_dotdot.txt"),
                      ("absolute", b"/zipbrand_escaped_absolute.txt"),
                      ("drive", b"C:/zipbrand_escaped_drive.txt"),
                      ("inner_dotdot", b"a/../../escaped_inner.txt"),
                      ("backslash_dotdot", b"a\\..\\..\\escaped_back.txt"),
                      ("utf8_dotdot", utf8_name("..") + b"/escaped_utf8.txt"),
                      ("stream", b"good.txt:hidden"),
                      ("dot_dotdot", b"./../escaped_dot.txt")]:
        write_raw(p("traversal_" + name), [(b"first.txt", b"first\r\n"), (raw, b"evil\r\n")])

    # Long names: the longest that fits (259 bytes), one of 260 bytes, one of
    # 300 bytes, and one whose folder part exceeds 255 bytes.
    fits = b"d" * 100 + b"/" + b"e" * 100 + b"/" + b"f" * 53 + b".txt"
    assert len(fits) == 259
    write_raw(p("long_fits"), [(fits, b"long\r\n")])
    write_raw(p("long_260"), [(b"g" * 100 + b"/" + b"h" * 100 + b"/" + b"i" * 54 + b".txt",
                               b"too long\r\n")])
    write_raw(p("long_300"), [(b"j" * 120 + b"/" + b"k" * 120 + b"/" + b"l" * 54 + b".txt",
                               b"too long\r\n")])
    write_raw(p("long_folder_part"), [(b"m" * 120 + b"/" + b"n" * 134 + b"/x", b"cut\r\n")])

    # "." pieces and doubled separators, as archive tools write them; an entry
    # of "." pieces only is the destination itself.
    write_raw(p("dot_pieces"), [(b"./", b""), (b".", b""), (b"./top.txt", b"top\r\n"),
                                (b".//docs/./readme.txt", b"read me\r\n"),
                                (b"a\\.\\b//c.txt", b"deep\r\n")])

    # A Shift-JIS (cp932) name whose characters' second bytes are 0x5C:
    # 0x95 0x5C is one character, no separator.
    write_raw(p("sjis_names"), [(b"\x95\x5c/\x83\x5c.txt", b"sjis\r\n")])

    # zipfile flags the UTF-8 names it writes beyond ASCII; a name flagged so
    # whose bytes are no UTF-8 is damage.
    with zipfile.ZipFile(p("python_utf8"), "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in UNICODE_TREE.items():
            archive.writestr(name, data)
    with zipfile.ZipFile(p("utf8_flag_bad_bytes"), "w") as archive:
        archive.writestr("first.txt", b"first\r\n")
        archive.writestr(RawNameInfo(b"bad\xff\xfe.txt", forced_flags=0x800), b"bad\r\n")

    # Info-ZIP's Unicode path field beside a name in the OEM code page (cp437
    # 0x82 is "é"), as Info-ZIP on Windows writes it; and a field left behind
    # by a rename (its CRC is that of another name), which is not used.
    def unicode_path(stored, name):
        text = name.encode("utf-8")
        return struct.pack("<HHBI", 0x7075, 5 + len(text), 1, zlib.crc32(stored)) + text
    with zipfile.ZipFile(p("unicode_path_field"), "w") as archive:
        for stored, extra in [(b"caf\x82.txt", unicode_path(b"caf\x82.txt", "café.txt")),
                              (b"stale.txt", unicode_path(b"old.txt", "renamed.txt"))]:
            info = RawNameInfo(stored)
            info.extra = extra
            archive.writestr(info, b"field\r\n")

    # Names the system's path rules would change or read as a device, each
    # after a good entry; and names that only look like them.
    for name, raw in [("trailing_dot", b"readme."), ("trailing_blank", b"readme.txt "),
                      ("dot_folder", b"docs./readme.txt"), ("device", b"CON"),
                      ("device_extension", b"nul.txt"), ("device_folder", b"docs/aux/x.txt"),
                      ("device_port", b"com1.log"), ("device_blank", b"LPT9 .txt"),
                      ("device_console", b"conout$"), ("angle", b"a<b.txt"),
                      ("pipe", b"a|b.txt"), ("control", b"tab\there.txt")]:
        write_raw(p("windows_" + name), [(b"first.txt", b"first\r\n"), (raw, b"odd\r\n")])
    write_raw(p("windows_lookalikes"), [(raw, b"fine\r\n") for raw in [
        b"CONFIG.txt", b"console", b"COM10.txt", b"nul_x.txt", b"LPT.txt", b"a.b.c",
        b" lead.txt", b"docs/con_list.txt", b".hidden"]])

    # File times written by zipfile itself.
    write_raw(p("times"), [(b"stamped.txt", b"stamped\r\n")])

    # No entries at all: the bare end record, and the same after a stub of
    # other bytes (as a self-extracting archive has in front).
    with zipfile.ZipFile(p("empty"), "w"):
        pass
    with open(p("empty_after_stub"), "wb") as f:
        f.write(b"stub bytes in front of the archive\r\n")
    with zipfile.ZipFile(p("empty_after_stub"), "a"):
        pass

    # An entry whose name is also a folder in the destination (the test makes it).
    write_raw(p("clash"), [(b"clash.txt", b"clash\r\n")])


def local_data_offset(data, header_offset):
    name_len, extra_len = struct.unpack_from("<HH", data, header_offset + 26)
    return header_offset + 30 + name_len + extra_len


def damaged_archives(out):
    p = lambda name: os.path.join(out, "ziptest_%s.zip" % name)
    good = [(b"good.txt", b"good\r\n"), (b"victim.txt", big_text(200))]

    for compression, name in [(zipfile.ZIP_STORED, "crc_stored"),
                              (zipfile.ZIP_DEFLATED, "flipped_deflated")]:
        write_raw(p(name), good, compression)
        with zipfile.ZipFile(p(name)) as archive:
            victim = archive.getinfo("victim.txt")
        data = bytearray(open(p(name), "rb").read())
        start = local_data_offset(data, victim.header_offset)
        data[start + victim.compress_size // 2] ^= 0x55
        open(p(name), "wb").write(data)

    # Cut in the middle: the central directory is gone.
    write_raw(p("truncated"), good)
    data = open(p("truncated"), "rb").read()
    open(p("truncated"), "wb").write(data[: len(data) // 2])

    # Central directory records with a broken signature.
    write_raw(p("bad_central"), good)
    data = bytearray(open(p("bad_central"), "rb").read())
    central = data.find(b"PK\x01\x02")
    data[central + 3] = 0x09
    open(p("bad_central"), "wb").write(data)

    # The second central record points into the middle of the first entry.
    write_raw(p("bad_local_offset"), good)
    data = bytearray(open(p("bad_local_offset"), "rb").read())
    second = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
    struct.pack_into("<I", data, second + 42, 3)
    open(p("bad_local_offset"), "wb").write(data)

    # The second entry's local header names another file than its central
    # record: one of the two copies is damaged.
    write_raw(p("local_name"), good)
    data = bytearray(open(p("local_name"), "rb").read())
    with zipfile.ZipFile(p("local_name")) as archive:
        victim = archive.getinfo("victim.txt")
    data[victim.header_offset + 30 + 5] ^= 0x01
    open(p("local_name"), "wb").write(data)

    # Folder entries hold no content, yet their headers are checked as a
    # file's: a folder whose central record points at another entry's local
    # header, and a "./" entry whose central record declares data its local
    # header lacks.
    for name, folder, offset_at, size_at in [("folder_bad_local", b"docs/", 42, None),
                                             ("dot_folder_sizes", b"./", None, 24)]:
        write_raw(p(name), good[:1] + [(folder, b"")], zipfile.ZIP_STORED)
        data = bytearray(open(p(name), "rb").read())
        second = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
        if offset_at is not None:
            struct.pack_into("<I", data, second + offset_at, 0)
        else:
            struct.pack_into("<I", data, second + size_at, 255)
        open(p(name), "wb").write(data)

    # The walk or the data ends before the archive does: a later central
    # record damaged; an entry count above and one below the records there
    # are; a deflated entry whose declared size is larger than its data gives
    # (the CRC is that of the data, so only the size tells).
    def end_record(data):
        return data.rfind(b"PK\x05\x06")

    for name, change in [("bad_second_central", None), ("count_high", 1), ("count_low", -1)]:
        write_raw(p(name), good)
        data = bytearray(open(p(name), "rb").read())
        if change is None:
            second = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
            data[second + 3] = 0x09
        else:
            at = end_record(data)
            count = struct.unpack_from("<H", data, at + 10)[0] + change
            struct.pack_into("<HH", data, at + 8, count, count)
        open(p(name), "wb").write(data)

    write_raw(p("short_data"), good)
    data = bytearray(open(p("short_data"), "rb").read())
    with zipfile.ZipFile(p("short_data")) as archive:
        victim = archive.getinfo("victim.txt")
    central = data.find(b"PK\x01\x02" , data.find(b"PK\x01\x02") + 4)
    for size_at in (victim.header_offset + 22, central + 24):
        struct.pack_into("<I", data, size_at, victim.file_size + 100)
    open(p("short_data"), "wb").write(data)

    # The encryption flag set on plain data, in both headers: the data would
    # read and pass its CRC, yet an encrypted entry is never extracted.
    write_raw(p("encryption_flag"), good)
    data = bytearray(open(p("encryption_flag"), "rb").read())
    with zipfile.ZipFile(p("encryption_flag")) as archive:
        victim = archive.getinfo("victim.txt")
    central = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
    for flags_at in (victim.header_offset + 6, central + 8):
        data[flags_at] |= 1
    open(p("encryption_flag"), "wb").write(data)

    # An empty entry whose local header puts its (no) data beyond the central
    # directory: reading gives the declared nothing, yet the header is damaged.
    write_raw(p("empty_entry_bad_local"), good[:1] + [(b"empty.txt", b"")], zipfile.ZIP_STORED)
    data = bytearray(open(p("empty_entry_bad_local"), "rb").read())
    with zipfile.ZipFile(p("empty_entry_bad_local")) as archive:
        empty = archive.getinfo("empty.txt")
    struct.pack_into("<H", data, empty.header_offset + 28, 0x7FFF)
    open(p("empty_entry_bad_local"), "wb").write(data)

    # Sound archives behind other bytes, as in a self-extractor: offsets taken
    # from the archive's own start (a plain concatenation), and from the
    # file's start (appended by zipfile).
    stub = b"MZ stub, not part of the archive\r\n" * 30
    write_raw(p("stub_concatenated"), good + [(b"empty.txt", b"")])
    data = open(p("stub_concatenated"), "rb").read()
    open(p("stub_concatenated"), "wb").write(stub + data)
    open(p("stub_appended"), "wb").write(stub)
    with zipfile.ZipFile(p("stub_appended"), "a") as archive:
        for raw, content in good + [(b"empty.txt", b"")]:
            info = RawNameInfo(raw)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, content)

    # Entries that share their data, as a zip bomb's do: a second central
    # record pointing at the first entry's local header (names of the same
    # length, the same CRC and sizes), and a stored first entry whose data
    # holds the whole second entry, local header and data ("quoted").
    write_raw(p("shared_data"), [(b"good.txt", b"good\r\n"), (b"copy.txt", b"good\r\n")],
              zipfile.ZIP_STORED)
    data = bytearray(open(p("shared_data"), "rb").read())
    second = data.find(b"PK\x01\x02", data.find(b"PK\x01\x02") + 4)
    struct.pack_into("<I", data, second + 42, 0)
    open(p("shared_data"), "wb").write(data)

    def local_header(name, content):
        return struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 0, 0, 0x21, zlib.crc32(content),
                           len(content), len(content), len(name), 0) + name + content

    def central_record(name, content, offset):
        return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 0, 0, 0x21,
                           zlib.crc32(content), len(content), len(content), len(name), 0, 0, 0,
                           0, 0, offset) + name

    inner = local_header(b"victim.txt", b"victim\r\n")
    outer = local_header(b"good.txt", inner)
    inner_offset = len(outer) - len(inner)
    directory = (central_record(b"good.txt", inner, 0) +
                 central_record(b"victim.txt", b"victim\r\n", inner_offset))
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 2, 2, len(directory), len(outer), 0)
    open(p("quoted_overlap"), "wb").write(outer + directory + end)

    # Not a zip archive at all.
    open(p("not_a_zip"), "wb").write(b"This is plain text, not an archive.\r\n" * 20)


def main():
    out, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    os.makedirs(work, exist_ok=True)
    tool_archives(out, work)
    python_archives(out)
    damaged_archives(out)
    with open(os.path.join(work, "stamp"), "w") as f:
        f.write("done\n")


if __name__ == "__main__":
    main()
