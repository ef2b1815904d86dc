#!/usr/bin/env python3
"""Makes the brand archives of the branding tests with real tools.

Usage: make_brand_test_archives.py OUTPUT_FOLDER WORK_FOLDER

Brand.ini is UTF-16 with a byte-order mark, as a brand ships it. Every archive
lands in OUTPUT_FOLDER as brandtest_<name>.zip; the files that the tools pack
are laid out in WORK_FOLDER first.
"""
import os
import shutil
import struct
import subprocess
import sys
import zipfile


def brand_ini(**values):
    lines = ["[BRANDING]"] + ["%s=%s" % item for item in values.items()]
    return ("\r\n".join(lines) + "\r\n").encode("utf-16")


def icon(blue, green, red):
    """A 1x1 32-bit icon of one colour."""
    bitmap = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 8, 0, 0, 0, 0)
    image = bitmap + bytes([blue, green, red, 0xFF]) + b"\x00\x00\x00\x00"
    return (struct.pack("<HHH", 0, 1, 1) +
            struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, len(image), 22) + image)


BRANDS = {
    # Brand.ini, Brand.ico and a file that is only copied along; Info-ZIP zip.
    "full": ("zip", {
        "Brand.ini": brand_ini(app_title="Harbour Desk", shortcut_name="Harbour Desk Client",
                               company_name="Harbour Networks"),
        "Brand.ico": icon(0x80, 0x40, 0x00),
        "readme.txt": b"Harbour Networks brand\r\n",
    }),
    # Another brand without an icon; 7-Zip.
    "second": ("7z", {
        "Brand.ini": brand_ini(app_title="Second Title", shortcut_name="Second Desk",
                               company_name="Second Co"),
    }),
    # No Brand.ini at all; bsdtar.
    "no_ini": ("bsdtar", {
        "Brand.ico": icon(0x00, 0x80, 0x00),
        "notes.txt": b"an archive that is not a brand\r\n",
    }),
    # shortcut_name and company_name present but empty; Python's zipfile.
    "empty_names": ("python", {
        "Brand.ini": brand_ini(app_title="", shortcut_name="", company_name=""),
    }),
    # Names that would lead out of the folders they are joined to.
    "unsafe_names": ("python", {
        "Brand.ini": brand_ini(app_title="..", shortcut_name="..\\..\\Escaped",
                               company_name="C:\\Elsewhere"),
    }),
}


def pack(tool, files, target, work):
    folder = os.path.join(work, os.path.basename(target) + ".d")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    names = sorted(files)
    if os.path.exists(target):
        os.remove(target)
    commands = {
        "zip": ["zip", "-X", target] + names,
        "7z": ["7z", "a", "-tzip", "-bd", target] + names,
        "bsdtar": ["bsdtar", "--format", "zip", "-cf", target] + names,
    }
    if tool == "python":
        with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
            for name in names:
                archive.writestr(name, files[name])
    else:
        subprocess.run(commands[tool], cwd=folder, check=True, stdout=subprocess.DEVNULL)


def main():
    out, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    os.makedirs(out, exist_ok=True)
    os.makedirs(work, exist_ok=True)
    for name, (tool, files) in BRANDS.items():
        pack(tool, files, os.path.join(out, "brandtest_%s.zip" % name), work)

    # The full brand cut short: the archive does not open.
    full = open(os.path.join(out, "brandtest_full.zip"), "rb").read()
    with open(os.path.join(out, "brandtest_broken.zip"), "wb") as f:
        f.write(full[: len(full) // 2])

    # Whole, but its last entry fails its CRC: Brand.ini has been written by
    # then.
    damaged = os.path.join(out, "brandtest_damaged.zip")
    with zipfile.ZipFile(damaged, "w", zipfile.ZIP_STORED) as archive:
        archive.writestr("Brand.ini", brand_ini(app_title="Damaged"))
        archive.writestr("notes.txt", b"notes of a damaged brand\r\n" * 20)
        notes = archive.getinfo("notes.txt")
    data = bytearray(open(damaged, "rb").read())
    data[notes.header_offset + 30 + len("notes.txt") + 10] ^= 0x55
    open(damaged, "wb").write(data)

    # More than any disk here holds, by what its central records declare
    # (4 GiB for each of 4,000 entries): refused before anything is written.
    oversized = os.path.join(out, "brandtest_oversized.zip")
    with zipfile.ZipFile(oversized, "w", zipfile.ZIP_STORED) as archive:
        archive.writestr("Brand.ini", brand_ini(app_title="Oversized"))
        for i in range(4000):
            archive.writestr("part%04d.bin" % i, b"")
    data = bytearray(open(oversized, "rb").read())
    at = data.find(b"PK\x01\x02")
    while at != -1:
        if data[at + 46:at + 50] == b"part":
            struct.pack_into("<I", data, at + 24, 0xFFFFFFFE)
        at = data.find(b"PK\x01\x02", at + 4)
    open(oversized, "wb").write(data)

    with open(os.path.join(work, "stamp"), "w") as f:
        f.write("done\n")


if __name__ == "__main__":
    main()
