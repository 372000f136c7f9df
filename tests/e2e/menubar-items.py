#!/usr/bin/env python3
"""Finds the items of a menu bar in a screenshot of it.

Reads ImageMagick's text pixel listing of the menu bar's strip (white
background, dark captions) from stdin and prints the x centre of each
caption, left to right: columns holding dark pixels, grouped into words
wherever a gap is wider than the gaps between letters.
"""

import re
import sys

dark = set()
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+):\s*\((\d+)", line)
    if m and int(m.group(3)) < 128:
        dark.add(int(m.group(1)))

words = []
for x in sorted(dark):
    if words and x - words[-1][1] <= 4:
        words[-1][1] = x
    else:
        words.append([x, x])
print(" ".join(str((a + b) // 2) for a, b in words))
