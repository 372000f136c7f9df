#!/usr/bin/env python3
"""Writes the seed inputs of the Composite fuzzer (fuzz/FuzzComposite.cpp).

Each seed is one call: four surface sides, a pixel mode, the 21 arguments
in Composite's order, then pixel bytes. The seeds walk both drawing paths:
the knob panel's call with every effect, opacity levels, colour keys, the
full-scan flag, crops, and the transformed path's angles, mirrors, scales,
drift and pivots, plus arguments nobody should pass (NaN, infinities,
extreme integers, negative crops).

Usage: make-composite-seeds.py OUTDIR
"""

import math
import os
import struct
import sys

# Composite's arguments in order, with the knob panel's values.
KNOB = dict(cx=None, cy=None, angle=0.0, sx=1.0, sy=1.0, drift=0.0, px=0, py=0,
            alpha=-256, bright=0, contrast=1.0, intensity=0.0, red=0, green=0, blue=0,
            effect=0, clamp=1, cl=0, ct=0, cr=0, cb=0)
ORDER = [("cx", "i"), ("cy", "i"), ("angle", "f"), ("sx", "f"), ("sy", "f"), ("drift", "f"),
         ("px", "i"), ("py", "i"), ("alpha", "i"), ("bright", "i"), ("contrast", "f"),
         ("intensity", "f"), ("red", "i"), ("green", "i"), ("blue", "i"), ("effect", "i"),
         ("clamp", "i"), ("cl", "i"), ("ct", "i"), ("cr", "i"), ("cb", "i")]


def seed(dest=(8, 6), source=(8, 6), two_colours=False, **args):
    a = dict(KNOB)
    a["cx"] = source[0] // 2
    a["cy"] = source[1] // 2
    a.update(args)
    out = bytes((dest[0], dest[1], source[0], source[1], 1 if two_colours else 0))
    for name, kind in ORDER:
        v = a[name]
        out += struct.pack("<f", v) if kind == "f" else struct.pack("<i", v)
    n = dest[0] * dest[1] * 3 + source[0] * source[1] * 3
    out += bytes((i * 37 + 11) & 255 for i in range(n))
    return out


def seeds():
    s = {}
    for effect in (-129, -128, -64, -1, 0, 1, 2, 3, 4, 5, 6):
        s["knob-effect-%d" % effect] = seed(effect=effect)
    s["knob-adjusted"] = seed(red=40, green=-30, blue=7, bright=10, contrast=1.25, intensity=0.5)
    s["knob-odd-size"] = seed(dest=(5, 3), source=(5, 3))
    s["knob-1x1"] = seed(dest=(1, 1), source=(1, 1))
    s["empty-source"] = seed(source=(0, 0))
    s["empty-dest"] = seed(dest=(0, 0))
    for alpha in (-257, -129, -128, -64, -1, 1, 64, 128, 129, 200, 256, 257):
        s["alpha-%d" % alpha] = seed(alpha=alpha, two_colours=True)
    s["no-clamp"] = seed(clamp=0, bright=300, contrast=3.0)
    s["crops"] = seed(dest=(12, 10), source=(10, 8), cl=1, ct=2, cr=3, cb=1)
    s["crops-negative"] = seed(cl=-5, ct=-5, cr=-5, cb=-5)
    s["crops-past-picture"] = seed(cl=100, ct=100, cr=100, cb=100)
    s["centre-outside"] = seed(cx=-10, cy=-3)
    s["centre-far"] = seed(cx=16000, cy=-16000)
    for angle in (0.0, 1.0, 30.0, 45.0, 90.0, 135.0, 180.0, 225.0, 270.0, 315.0, -90.0, 405.0, 1e9):
        s["angle-%g" % angle] = seed(dest=(10, 10), source=(4, 4), cx=5, cy=5, angle=angle)
    for sx, sy in ((-1.0, 1.0), (1.0, -1.0), (-1.0, -1.0), (2.0, 2.0), (0.5, 3.0), (0.0, 0.0),
                   (-0.5, 0.5), (12.0, 0.25)):
        s["scale-%g-%g" % (sx, sy)] = seed(dest=(12, 12), source=(4, 4), cx=6, cy=6, sx=sx, sy=sy)
    s["drift"] = seed(dest=(12, 12), source=(6, 6), cx=6, cy=6, drift=5000.0)
    s["drift-negative"] = seed(dest=(12, 12), source=(6, 6), cx=6, cy=6, drift=-20000.0, angle=20.0)
    s["pivot"] = seed(dest=(10, 10), source=(4, 4), cx=5, cy=5, px=1)
    s["pivot-far"] = seed(dest=(10, 10), source=(4, 4), cx=5, cy=5, px=-9000, py=9000, angle=10.0)
    s["clamp-negative"] = seed(clamp=-1)
    s["full-scan-rotated"] = seed(dest=(10, 10), source=(4, 4), cx=5, cy=5, alpha=-256, angle=45.0)
    s["full-scan-keyed-mirrored"] = seed(dest=(10, 10), source=(4, 4), cx=5, cy=5, alpha=200,
                                         sx=-2.0, two_colours=True)
    s["full-scan-crops"] = seed(dest=(10, 10), source=(4, 4), alpha=-200, angle=90.0,
                                cl=2, ct=3, cr=4, cb=1)
    s["reversed-span"] = seed(dest=(10, 10), source=(4, 4), alpha=-256, angle=45.0, cl=8, cr=8)
    s["nan-contrast"] = seed(contrast=math.nan, intensity=math.inf)
    s["nan-angle"] = seed(angle=math.nan, sx=2.0)
    s["huge-integers"] = seed(bright=2 ** 31 - 1, red=-2 ** 31, green=2 ** 31 - 1, blue=-1,
                              effect=-2 ** 31, clamp=2 ** 31 - 1)
    return s


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, data in seeds().items():
        with open(os.path.join(sys.argv[1], name), "wb") as fh:
            fh.write(data)


if __name__ == "__main__":
    main()
