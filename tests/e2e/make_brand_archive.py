#!/usr/bin/env python3
"""Writes the brand archive of the end-to-end tests: Brand.ini and a small Brand.ico."""
import struct
import sys
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

with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    archive.writestr("Brand.ini", ini)
    archive.writestr("Brand.ico", icon)
    archive.writestr("readme.txt", "Harbour Networks brand\r\n")
