#!/usr/bin/env python3
"""Writes the brand-sized extraction archive: 1,000 deflated entries of 50 KiB
(about 50 MB unpacked) in 10 folders, text-like data that differs per entry."""
import random
import sys
import zipfile

rng = random.Random(11)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(2000)]
pool = b" ".join(rng.choice(words) for _ in range(400000))
size = 50 * 1024
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as archive:
    for n in range(1000):
        start = rng.randrange(0, len(pool) - size)
        archive.writestr(f"brand{n % 10}/asset{n:04}.dat", b"%06d" % n + pool[start + 6:start + size])
