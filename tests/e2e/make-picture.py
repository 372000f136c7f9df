#!/usr/bin/env python3
"""Writes a 24-bit BMP of the given size whose pixels all differ from their
neighbours, so that any shift or colour change shows in a comparison.

Usage: make-picture.py OUTPUT WIDTH HEIGHT SEED
"""

import struct
import sys

out, w, h, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
stride = (w * 3 + 3) & ~3
rows = []
for y in range(h - 1, -1, -1):  # rows bottom-up
    row = bytearray()
    for x in range(w):
        row += bytes(((seed * 37 + x * 5 + y) % 256,
                      (seed * 11 + y * 7 + x // 3) % 256,
                      (seed * 53 + x * y) % 256))
    row += b"\0" * (stride - 3 * w)
    rows.append(bytes(row))
data = b"".join(rows)
with open(out, "wb") as f:
    f.write(struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 0, 0, 0, 0))
    f.write(data)
