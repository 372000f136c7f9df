#!/usr/bin/env python3
"""Draws resources/sample.bmp: an outdoor portrait made from noise and shapes.

The picture holds the three kinds of colour the knobs matter most on (sky,
foliage and skin), so a change in tint, brightness or contrast is easy to
judge by eye. Only plain float arithmetic and sqrt are used, and the random
numbers come from a seeded generator, so every run and every machine writes
the same bytes.

Usage: make-sample-picture.py [OUTPUT]   (default: resources/sample.bmp)
"""

import math
import os
import random
import struct
import sys

# 1498 * 3 = 4494 bytes a row, so each row carries 2 bytes of padding: a
# reader that forgets the 4-byte row alignment shows a sheared picture.
WIDTH = 1498
HEIGHT = 1000
SEED = 20240611


def clamp01(t):
    return 0.0 if t < 0.0 else 1.0 if t > 1.0 else t


def smoothstep(e0, e1, t):
    t = clamp01((t - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t,
            a[1] + (b[1] - a[1]) * t,
            a[2] + (b[2] - a[2]) * t)


def scale(c, k):
    return (c[0] * k, c[1] * k, c[2] * k)


class ValueNoise:
    """Smoothly interpolated lattice noise in [0, 1], one row at a time.

    Lattice rows are widened to full width once and cached, so each output
    row is a single blend of two lists rather than per-pixel lattice work.
    """

    def __init__(self, rng, cell_x, cell_y):
        self.cell_x = cell_x
        self.cell_y = cell_y
        nx = int(WIDTH / cell_x) + 2
        ny = int(HEIGHT / cell_y) + 2
        self.lattice = [[rng.random() for _ in range(nx)] for _ in range(ny)]
        # Offsets of each column inside its lattice cell, shared by all rows.
        self.cols = []
        for x in range(WIDTH):
            f = x / cell_x
            i = int(f)
            t = f - i
            self.cols.append((i, t * t * (3.0 - 2.0 * t)))
        self.wide = {}

    def _wide_row(self, j):
        row = self.wide.get(j)
        if row is None:
            lat = self.lattice[j]
            row = [lat[i] + (lat[i + 1] - lat[i]) * t for i, t in self.cols]
            self.wide[j] = row
            self.wide.pop(j - 2, None)  # rows are asked for top to bottom
        return row

    def row(self, y):
        f = y / self.cell_y
        j = int(f)
        t = f - j
        t = t * t * (3.0 - 2.0 * t)
        a = self._wide_row(j)
        b = self._wide_row(j + 1)
        return [p + (q - p) * t for p, q in zip(a, b)]


class Fractal:
    """Several octaves of value noise summed and normalised back to [0, 1]."""

    def __init__(self, rng, cell_x, cell_y, octaves, gain=0.5):
        self.layers = []
        amp = 1.0
        for _ in range(octaves):
            self.layers.append((ValueNoise(rng, cell_x, cell_y), amp))
            cell_x = max(cell_x / 2.0, 1.0)
            cell_y = max(cell_y / 2.0, 1.0)
            amp *= gain
        self.total = sum(a for _, a in self.layers)

    def row(self, y):
        out = [0.0] * WIDTH
        for noise, amp in self.layers:
            k = amp / self.total
            out = [o + v * k for o, v in zip(out, noise.row(y))]
        return out


# --- scene layout (pixels) -------------------------------------------------

HORIZON = 0.60 * HEIGHT  # where distant hills meet the meadow
GROUND = 0.66 * HEIGHT   # foot of the tree line

SKY_TOP = (46.0, 96.0, 178.0)
SKY_LOW = (178.0, 206.0, 230.0)
CLOUD_LIT = (250.0, 250.0, 252.0)
CLOUD_SHADE = (168.0, 178.0, 198.0)
HILL = (112.0, 138.0, 142.0)
LEAF_DARK = (22.0, 52.0, 20.0)
LEAF_LIT = (96.0, 146.0, 52.0)
GRASS_FAR = (128.0, 156.0, 72.0)
GRASS_NEAR = (58.0, 118.0, 30.0)
GRASS_TIP = (176.0, 190.0, 92.0)
BARK = (66.0, 46.0, 32.0)

SKIN_LIT = (240.0, 196.0, 164.0)
SKIN_MID = (206.0, 146.0, 112.0)
SKIN_SHADOW = (120.0, 72.0, 54.0)
BLUSH = (214.0, 112.0, 108.0)
LIPS = (170.0, 84.0, 82.0)
HAIR = (52.0, 34.0, 24.0)
HAIR_SHINE = (128.0, 92.0, 62.0)
SHIRT = (40.0, 92.0, 140.0)
SHIRT_SHADE = (16.0, 38.0, 66.0)

# Light from the upper left, slightly towards the viewer.
_L = (-0.45, -0.55, 0.70)
_n = math.sqrt(_L[0] * _L[0] + _L[1] * _L[1] + _L[2] * _L[2])
LIGHT = (_L[0] / _n, _L[1] / _n, _L[2] / _n)

# The person: head and shoulders on the right third, framed against the sky.
HEAD_CX, HEAD_CY = 0.66 * WIDTH, 0.40 * HEIGHT
HEAD_RX, HEAD_RY = 112.0, 146.0
NECK_Y0 = HEAD_CY + 0.70 * HEAD_RY
SHOULDER_Y = HEAD_CY + 1.38 * HEAD_RY
TORSO_HALF = 240.0
NECK_HALF = 0.50 * HEAD_RX

BIG_CX, BIG_CY = 190.0, 300.0  # crown of the large tree on the left
TREE_FOOT = GROUND + 62.0


def ellipse_edge(x, y, cx, cy, rx, ry):
    """Coverage of an ellipse with a soft, roughly one-pixel edge."""
    dx = (x - cx) / rx
    dy = (y - cy) / ry
    d = math.sqrt(dx * dx + dy * dy)
    return clamp01((1.0 - d) * min(rx, ry) + 0.5)


def make_trees(rng):
    """Crowns along the back of the meadow plus one large tree on the left."""
    crowns = []
    x = -40.0
    while x < WIDTH + 40:
        r = rng.uniform(38.0, 80.0)
        crowns.append((x, GROUND - r * rng.uniform(0.6, 1.1), r))
        x += r * rng.uniform(0.7, 1.2)
    big = []
    while len(big) < 16:
        # Blob centres scattered inside an ellipse (rejection keeps it to
        # plain arithmetic).
        u = rng.uniform(-1.0, 1.0)
        w = rng.uniform(-1.0, 1.0)
        if u * u + w * w <= 1.0:
            big.append((BIG_CX + u * 190.0, BIG_CY + w * 110.0,
                        rng.uniform(70.0, 115.0)))
    return crowns, big


def canopy_top(crowns):
    """Top of the back tree line for every column."""
    top = [GROUND] * WIDTH
    for cx, cy, r in crowns:
        for x in range(max(0, int(cx - r)), min(WIDTH, int(cx + r) + 1)):
            h = r * r - (x - cx) * (x - cx)
            if h > 0:
                t = cy - math.sqrt(h)
                if t < top[x]:
                    top[x] = t
    return top


def hills_line(rng):
    n = ValueNoise(rng, 260.0, 1.0)
    m = ValueNoise(rng, 70.0, 1.0)
    a = n.row(0)
    b = m.row(0)
    return [HORIZON - 60.0 - 70.0 * a[x] - 14.0 * b[x] for x in range(WIDTH)]


def head_colour(x, y, hair_n):
    """Skin, features and hair of the head, or None outside it."""
    dx = (x - HEAD_CX) / HEAD_RX
    dy = (y - HEAD_CY) / HEAD_RY
    # Narrow the jaw so the head is egg-shaped rather than a plain ellipse.
    if dy > 0:
        dx *= 1.0 + 0.28 * dy * dy
    r2 = dx * dx + dy * dy
    cover = clamp01((1.0 - math.sqrt(r2)) * HEAD_RX + 0.5)

    # Hair: a cap a little larger than the skull, above a curved hairline.
    hx = (x - HEAD_CX) / (HEAD_RX * 1.12)
    hy = (y - (HEAD_CY - 0.06 * HEAD_RY)) / (HEAD_RY * 1.06)
    hair_cover = clamp01((1.0 - math.sqrt(hx * hx + hy * hy)) * HEAD_RX + 0.5)
    # Parted a little to one side.
    hairline = -0.50 + 0.55 * hx * hx + 0.10 * hx + 0.06 * (hair_n - 0.5)
    if abs(hx) > 0.78:
        hairline = 0.25  # falls down over the temples to the ears
    hair = hair_cover * smoothstep(hairline + 0.02, hairline - 0.02, dy)

    if cover <= 0.0 and hair <= 0.0:
        return None, 0.0

    nz2 = 1.0 - min(r2, 0.999)
    nz = math.sqrt(nz2)
    ndx = dx
    ndy = dy * 0.9
    lam = clamp01(ndx * LIGHT[0] + ndy * LIGHT[1] + nz * LIGHT[2])
    # Three-tone skin ramp: deep warm shadow, mid tone, lit highlight.
    if lam < 0.55:
        skin = mix(SKIN_SHADOW, SKIN_MID, smoothstep(0.0, 0.55, lam))
    else:
        skin = mix(SKIN_MID, SKIN_LIT, smoothstep(0.55, 1.0, lam))

    # Cheeks.
    for sx in (-0.48, 0.48):
        bx = (dx - sx) / 0.22
        by = (dy - 0.18) / 0.15
        b = 1.0 - (bx * bx + by * by)
        if b > 0:
            skin = mix(skin, BLUSH, 0.35 * b * b)

    # Eye sockets a touch darker, then the eyes themselves.
    for ex in (-0.36, 0.36):
        sx = (dx - ex) / 0.24
        sy = (dy + 0.02) / 0.13
        s = 1.0 - (sx * sx + sy * sy)
        if s > 0:
            skin = scale(skin, 1.0 - 0.12 * s)
        ox = (dx - ex) / 0.15
        oy = (dy + 0.02) / 0.055
        o = ox * ox + oy * oy
        if o < 1.0:
            eye = (236.0, 232.0, 226.0)
            ix = (dx - ex - 0.01) / 0.065
            iy = (dy + 0.02) / 0.065
            i = ix * ix + iy * iy
            if i < 1.0:
                eye = (70.0, 50.0, 34.0) if i > 0.25 else (14.0, 10.0, 8.0)
                gx = dx - ex + 0.025
                gy = dy + 0.04
                if gx * gx + gy * gy < 0.0003:
                    eye = (250.0, 250.0, 250.0)
            skin = mix(skin, eye, smoothstep(1.0, 0.7, o))
        # Brows.
        bx = (dx - ex) / 0.2
        by = dy + 0.15 + 0.05 * (1.0 - bx * bx)
        if abs(bx) < 1.0 and abs(by) < 0.022:
            skin = mix(skin, HAIR, 0.85 * smoothstep(0.022, 0.008, abs(by)))

    # Nose: a soft shadow down its lit-away side and under the tip.
    if -0.02 < dy < 0.30:
        k = smoothstep(0.05, 0.0, abs(dx - 0.07)) * smoothstep(0.0, 0.28, dy)
        skin = scale(skin, 1.0 - 0.18 * k)
    nx_ = (dx - 0.01) / 0.12
    ny_ = (dy - 0.33) / 0.04
    nb = nx_ * nx_ + ny_ * ny_
    if nb < 1.0:
        skin = scale(skin, 1.0 - 0.22 * (1.0 - nb))

    # Mouth: a gently smiling pair of lips.
    mx = dx / 0.27
    if abs(mx) < 1.0:
        # Corners turn up: image y grows downwards.
        mid = 0.50 + 0.03 * (1.0 - mx * mx)
        half = 0.058 * math.sqrt(1.0 - mx * mx)
        m = abs(dy - mid)
        if m < half:
            lip = LIPS if dy > mid else scale(LIPS, 0.82)
            skin = mix(skin, lip, smoothstep(half, half * 0.5, m))
        if abs(dy - mid) < 0.007:
            skin = scale(skin, 0.7)

    # Hair takes the same light as the face, with a soft sheen along it.
    hair_lit = clamp01(0.35 + 0.65 * lam) * (0.7 + 0.6 * hair_n)
    hair_col = mix(HAIR, HAIR_SHINE, clamp01(hair_lit - 0.45))
    col = mix(skin, hair_col, hair)
    return col, max(cover, hair)


def shirt_half_width(y):
    """Half width of the shirt at row y: sloping shoulders, then the chest."""
    top = SHOULDER_Y - 50.0
    if y < top:
        return -1.0
    t = (y - top) / 130.0
    if t < 1.0:
        # Shoulders curve from the neck out and down to the upper arms.
        s = 1.0 - (1.0 - t) * (1.0 - t)
        return NECK_HALF + 14.0 + (TORSO_HALF - NECK_HALF - 14.0) * s
    return TORSO_HALF + 0.08 * (y - top - 130.0)


def person_body(x, y):
    """Ears, neck and shirt: (colour, coverage), or (None, 0) outside them."""
    d = abs(x - HEAD_CX)
    u = (x - HEAD_CX) / TORSO_HALF
    col, cover = None, 0.0
    # Ears, behind the head edge.
    for sx in (-1.0, 1.0):
        c = ellipse_edge(x, y, HEAD_CX + sx * HEAD_RX * 0.98, HEAD_CY + 8.0,
                         20.0, 36.0)
        if c > 0.0:
            return scale(SKIN_MID, 0.72 if sx > 0 else 0.95), c
    # Neck and the skin inside the collar, shaded away from the light and
    # beneath the jaw.
    if NECK_Y0 < y < SHOULDER_Y + 90.0:
        half = NECK_HALF + max(0.0, y - SHOULDER_Y + 20.0) * 0.6
        if d < half + 1.0:
            t = (x - HEAD_CX) / NECK_HALF
            col = mix(SKIN_MID, SKIN_SHADOW, clamp01(0.40 + 0.35 * t))
            under = smoothstep(NECK_Y0 + 80.0, NECK_Y0 + 15.0, y)
            col = mix(col, SKIN_SHADOW, 0.6 * under)
            cover = clamp01(half - d + 0.5)
    # Shirt, with a V neck opening.
    half = shirt_half_width(y)
    if half > 0.0 and d < half + 1.0:
        shirt = clamp01(half - d + 0.5)
        vee = NECK_HALF + 10.0 - 0.62 * (y - SHOULDER_Y + 50.0)
        shirt *= clamp01(d - vee + 0.5)
        if shirt > 0.0:
            light = clamp01(0.85 - 0.55 * u - 0.2 * (y - SHOULDER_Y) / 300.0)
            # Folds: a slow ripple in the cloth across the chest.
            fold = smoothstep(0.0, 1.0, abs(((x - HEAD_CX) / 90.0 + y / 400.0) % 2.0 - 1.0))
            light = clamp01(light - 0.10 * fold)
            cloth = mix(SHIRT_SHADE, SHIRT, light)
            col = cloth if col is None else mix(col, cloth, shirt)
            cover = max(cover, shirt)
    return col, cover


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources",
        "sample.bmp")
    rng = random.Random(SEED)

    clouds = Fractal(rng, 300.0, 110.0, 5)
    leaves = Fractal(rng, 24.0, 24.0, 3, gain=0.6)
    fine_leaves = Fractal(rng, 6.0, 6.0, 2, gain=0.6)
    blades = Fractal(rng, 3.0, 40.0, 3, gain=0.6)
    patches = Fractal(rng, 180.0, 60.0, 3)
    hair_noise = ValueNoise(rng, 3.0, 60.0)

    crowns, big = make_trees(rng)
    top = canopy_top(crowns)
    hills = hills_line(rng)
    trunk_x0, trunk_x1 = 172.0, 214.0

    row_bytes = WIDTH * 3
    pad = (4 - row_bytes % 4) % 4
    rows = []
    jitter = rng.random

    for y in range(HEIGHT):
        cn = clouds.row(y)
        ln = leaves.row(y)
        fn = fine_leaves.row(y)
        bn = blades.row(y)
        pn = patches.row(y)
        hn = hair_noise.row(y)
        v = y / HEIGHT
        sky_base = mix(SKY_TOP, SKY_LOW, smoothstep(0.0, HORIZON / HEIGHT, v))
        cloud_fade = smoothstep(0.56, 0.18, v)
        grass_depth = smoothstep(GROUND, HEIGHT, y)
        grass_base = mix(GRASS_FAR, GRASS_NEAR, grass_depth)
        line = bytearray()
        for x in range(WIDTH):
            # Sky with clouds: dense cores lit white, thin edges take on the
            # sky's colour, and the undersides fall into grey shade.
            if y < GROUND:
                c = smoothstep(0.50, 0.72, cn[x]) * cloud_fade
                col = sky_base
                if c > 0.0:
                    lit = smoothstep(0.50, 0.85, cn[x])
                    cloud = mix(CLOUD_SHADE, CLOUD_LIT, lit)
                    col = mix(col, cloud, c)
                if y > hills[x]:
                    haze = smoothstep(hills[x], HORIZON, y)
                    hill = mix(HILL, (84.0, 112.0, 96.0), haze)
                    hill = scale(hill, 0.92 + 0.16 * ln[x])
                    col = mix(col, hill, clamp01(y - hills[x]))
            else:
                # Grass: vertical blade streaks, broad patches of tone, and a
                # little per-pixel grain.
                b = bn[x]
                col = mix(grass_base, GRASS_TIP,
                          0.45 * smoothstep(0.55, 0.9, b) * (1.0 - grass_depth * 0.5))
                col = scale(col, 0.62 + 0.55 * pn[x] + 0.35 * (b - 0.5)
                            + 0.08 * (jitter() - 0.5))

            # Back tree line.
            if top[x] < y < GROUND + 12.0:
                depth = (y - top[x]) / 90.0
                leaf = ln[x]
                light = clamp01(1.1 * leaf - 0.35 * depth + 0.15)
                tree = mix(LEAF_DARK, LEAF_LIT, light * 0.8)
                tree = mix(tree, HILL, 0.18)  # a little air in front of it
                edge = clamp01(y - top[x])
                if y > GROUND:
                    edge *= smoothstep(GROUND + 12.0, GROUND, y)
                col = mix(col, tree, edge)

            # The big tree on the left: its shadow on the grass, the trunk
            # standing in the grass (blade tips hide its foot), then a ragged
            # crown.
            if y > GROUND and x < 420:
                sx = (x - 205.0) / 190.0
                sy = (y - TREE_FOOT) / 22.0
                s2 = sx * sx + sy * sy
                if s2 < 1.0:
                    col = scale(col, 1.0 - 0.45 * (1.0 - s2))
            foot = TREE_FOOT - 14.0 * bn[x]
            if trunk_x0 - 30 < x < trunk_x1 + 30 and 300 < y < foot:
                spread = smoothstep(TREE_FOOT - 40.0, TREE_FOOT, y) * 14.0
                if trunk_x0 - spread < x < trunk_x1 + spread:
                    t = (x - trunk_x0 + spread) / (trunk_x1 - trunk_x0 + 2 * spread)
                    bark = scale(BARK, 0.55 + 0.9 * t * (1.0 - t) * 2.0 * (0.8 + 0.4 * bn[x]))
                    col = bark
            if x < 440 and y < 520:
                best = 9.0
                for cx, cy, r in big:
                    ddx = (x - cx) / r
                    ddy = (y - cy) / r
                    d = ddx * ddx + ddy * ddy
                    if d < best:
                        best = d
                ragged = 1.0 + 0.45 * (ln[x] - 0.5)
                if best < ragged:
                    # Shade the crown as one rounded mass so the blobs it is
                    # built from leave no seams; the leaf noise breaks it up.
                    gx = (x - BIG_CX) / 300.0
                    gy = (y - BIG_CY) / 220.0
                    gz = math.sqrt(max(0.0, 1.0 - min(gx * gx + gy * gy, 1.0)))
                    lam = clamp01(gx * LIGHT[0] + gy * LIGHT[1] + gz * LIGHT[2])
                    light = clamp01(0.15 + 0.7 * lam + 0.9 * (ln[x] - 0.5)
                                    + 0.5 * (fn[x] - 0.5))
                    tree = mix(LEAF_DARK, LEAF_LIT, light)
                    col = mix(col, tree, clamp01((ragged - best) * 40.0))

            # The person.
            if abs(x - HEAD_CX) < TORSO_HALF + 200 and y > HEAD_CY - HEAD_RY * 1.2:
                body, cover = person_body(x, y)
                if body is not None:
                    col = mix(col, body, cover)
                if abs(x - HEAD_CX) < HEAD_RX * 1.2 and y < HEAD_CY + HEAD_RY * 1.1:
                    head, cover = head_colour(x, y, hn[x])
                    if head is not None:
                        col = mix(col, head, cover)

            r, g, b = col
            # BMP stores blue, green, red.
            line.append(255 if b >= 254.5 else 0 if b < 0 else int(b + 0.5))
            line.append(255 if g >= 254.5 else 0 if g < 0 else int(g + 0.5))
            line.append(255 if r >= 254.5 else 0 if r < 0 else int(r + 0.5))
        line.extend(b"\0" * pad)
        rows.append(bytes(line))

    image = b"".join(reversed(rows))  # BMP rows run bottom to top
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(image), 0, 0,
                              header_size)
    # 2835 pixels per metre is 72 dpi.
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0,
                              len(image), 2835, 2835, 0, 0)
    os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
    with open(out_path, "wb") as f:
        f.write(file_header + info_header + image)


if __name__ == "__main__":
    main()
