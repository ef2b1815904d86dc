#!/usr/bin/env python3
"""Writes the benchmark archive: 200 files of 64 KiB in 10 folders, deflated."""
import random
import sys
import zipfile

rng = random.Random(7)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(500)]
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for n in range(200):
        text = b" ".join(rng.choice(words) for _ in range(12000))[:65536]
        archive.writestr(f"folder{n % 10}/file{n:03}.txt", text)
