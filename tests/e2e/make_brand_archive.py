#!/usr/bin/env python3
"""Writes the brand archives of the end-to-end tests: Brand.ini, a small
Brand.ico and a readme, packed by Python's zipfile into the archive named on
the command line, and beside it as <name>_dot_bsdtar.zip and <name>_dot_zip.zip
by bsdtar and Info-ZIP zip, each given "." as the source."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

ini = (
    "[BRANDING]\r\n"
    "app_title=Harbour Desk\r\n"
    "shortcut_name=Harbour Desk Client\r\n"
    "company_name=Harbour Networks\r\n"
).encode("utf-16")

# A 1x1 32-bit icon.
bitmap = struct.pack("<IiiHHIIiiII", 40, 1, 2, 1, 32, 0, 8, 0, 0, 0, 0)
pixels = b"\x00\x80\xff\xff" + b"\x00\x00\x00\x00"
image = bitmap + pixels
icon = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 1, 1, 0, 0, 1, 32, len(image), 22) + image

files = {"Brand.ini": ini, "Brand.ico": icon, "readme.txt": b"Harbour Networks brand\r\n"}
target = os.path.abspath(sys.argv[1])
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for name, data in files.items():
        archive.writestr(name, data)

work = tempfile.mkdtemp()
try:
    for name, data in files.items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(data)
    for tool, command in [("bsdtar", ["bsdtar", "--format", "zip", "-cf"]),
                          ("zip", ["zip", "-q", "-r", "-X"])]:
        dot = target[:-len(".zip")] + "_dot_%s.zip" % tool
        if os.path.exists(dot):
            os.remove(dot)
        subprocess.run(command + [dot, "."], cwd=work, check=True)
finally:
    shutil.rmtree(work)
