#!/usr/bin/env python3
"""Draws the pictures of the help and about windows into resources/pictures/.

  avenue.bmp  150 x 112  an avenue under orange and yellow autumn trees
  banner.bmp  478 x 128  the Orvantis banner: a yellow weightlifter on a blue
                         gradient, the family name, the credits, the web address
  tv.ico       64 x 64   the product icon, a television set: one image of 24-bit
                         colour with a transparency mask (see ico())

Everything is drawn here from shapes and seeded noise, supersampled and
averaged down. Only the banner's lettering comes from elsewhere: ImageMagick
sets it in DejaVu Sans (fonts-dejavu-core). The random numbers come from
seeded generators, so every run writes the same bytes.

Usage: make-pictures.py [OUTPUT_DIR]   (default: resources/pictures)
"""

import math
import os
import random
import struct
import subprocess
import sys

FONT_DIR = "/usr/share/fonts/truetype/dejavu"


# --- A supersampled canvas -------------------------------------------------

class Canvas:
    """RGB floats (0..255) at `ss` samples a pixel side, with coverage.

    Shapes are given in output pixel coordinates; a sample (i, j) stands for
    the point ((i + 0.5) / ss, (j + 0.5) / ss). `cover` counts how much of
    each sample is painted, for pictures with a transparency mask.
    """

    def __init__(self, width, height, ss, color=(0, 0, 0)):
        self.width, self.height, self.ss = width, height, ss
        self.w, self.h = width * ss, height * ss
        self.px = [list(color) for _ in range(self.w * self.h)]
        self.cover = [0.0] * (self.w * self.h)

    def _rows(self, y0, y1):
        j0 = max(0, int(math.floor(y0 * self.ss)))
        j1 = min(self.h - 1, int(math.ceil(y1 * self.ss)))
        return range(j0, j1 + 1)

    def _cols(self, x0, x1):
        i0 = max(0, int(math.floor(x0 * self.ss)))
        i1 = min(self.w - 1, int(math.ceil(x1 * self.ss)))
        return range(i0, i1 + 1)

    def blend(self, k, color, alpha):
        p = self.px[k]
        p[0] += (color[0] - p[0]) * alpha
        p[1] += (color[1] - p[1]) * alpha
        p[2] += (color[2] - p[2]) * alpha
        self.cover[k] += (1.0 - self.cover[k]) * alpha

    def shade(self, fn, box=None):
        """Paints fn(x, y) -> (color, alpha) over the box (default all)."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        inv = 1.0 / self.ss
        for j in self._rows(y0, y1):
            y = (j + 0.5) * inv
            for i in self._cols(x0, x1):
                x = (i + 0.5) * inv
                r = fn(x, y)
                if r is not None and r[1] > 0:
                    self.blend(j * self.w + i, r[0], r[1])

    def region(self, inside, box, color, alpha=1.0):
        """Paints `color` wherever inside(x, y) holds within the box."""
        self.shade(lambda x, y: (color, alpha) if inside(x, y) else None, box)

    def ellipse(self, cx, cy, rx, ry, color, alpha=1.0):
        if rx <= 0 or ry <= 0:
            return
        self.region(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0,
                    (cx - rx, cy - ry, cx + rx, cy + ry), color, alpha)

    def polygon(self, pts, color, alpha=1.0):
        xs = [p[0] for p in pts]
        ys = [p[1] for p in pts]

        def inside(x, y):
            c = False
            n = len(pts)
            for a in range(n):
                (xa, ya), (xb, yb) = pts[a], pts[(a + 1) % n]
                if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                    c = not c
            return c

        self.region(inside, (min(xs), min(ys), max(xs), max(ys)), color, alpha)

    def stroke(self, x0, y0, x1, y1, width, color, alpha=1.0):
        """A segment with round ends."""
        r = width / 2.0
        dx, dy = x1 - x0, y1 - y0
        ll = dx * dx + dy * dy

        def inside(x, y):
            t = 0.0 if ll == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / ll))
            ex, ey = x - (x0 + t * dx), y - (y0 + t * dy)
            return ex * ex + ey * ey <= r * r

        self.region(inside, (min(x0, x1) - r, min(y0, y1) - r, max(x0, x1) + r, max(y0, y1) + r),
                    color, alpha)

    def rounded(self, x0, y0, x1, y1, rad, color, alpha=1.0):
        def inside(x, y):
            cx = min(max(x, x0 + rad), x1 - rad)
            cy = min(max(y, y0 + rad), y1 - rad)
            return (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad

        self.region(inside, (x0, y0, x1, y1), color, alpha)

    def pixels(self):
        """Averages the samples down: rows of (r, g, b) and a coverage list."""
        ss, out, cov = self.ss, [], []
        n = ss * ss
        for y in range(self.height):
            row, crow = [], []
            for x in range(self.width):
                r = g = b = c = 0.0
                for j in range(y * ss, y * ss + ss):
                    base = j * self.w + x * ss
                    for k in range(base, base + ss):
                        p = self.px[k]
                        r += p[0]
                        g += p[1]
                        b += p[2]
                        c += self.cover[k]
                row.append((r / n, g / n, b / n))
                crow.append(c / n)
            out.append(row)
            cov.append(crow)
        return out, cov


class ValueNoise:
    """Smooth lattice noise in [0, 1] with a period of `cell` pixels."""

    def __init__(self, seed, cell, size=64):
        rng = random.Random(seed)
        self.cell, self.size = cell, size
        self.grid = [rng.random() for _ in range(size * size)]

    def __call__(self, x, y):
        x, y = x / self.cell, y / self.cell
        xi, yi = int(math.floor(x)), int(math.floor(y))
        fx, fy = x - xi, y - yi
        fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        s, g = self.size, self.grid

        def at(i, j):
            return g[(j % s) * s + (i % s)]

        a = at(xi, yi) + (at(xi + 1, yi) - at(xi, yi)) * fx
        b = at(xi, yi + 1) + (at(xi + 1, yi + 1) - at(xi, yi + 1)) * fx
        return a + (b - a) * fy


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t, a[2] + (b[2] - a[2]) * t)


def scale(c, k):
    return (c[0] * k, c[1] * k, c[2] * k)


def to_bytes(rows):
    return [[tuple(max(0, min(255, int(round(v)))) for v in p) for p in row] for row in rows]


# --- Files ----------------------------------------------------------------

def bmp24(rows):
    """A 24-bit uncompressed BMP: 14 + 40 bytes of headers, rows bottom-up."""
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        for r, g, b in row:
            data += bytes((b, g, r))
        data += bytes(stride - w * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def ico(rows, opaque):
    """An icon file of one image with its AND mask (1 = transparent).

    The colour is stored with a fourth byte that repeats the mask (0 clear,
    255 solid): Qt's icon reader takes transparency from that byte and
    ignores the AND mask of 24- and 32-bit images; other readers use the
    AND mask.
    """
    h, w = len(rows), len(rows[0])
    xor = bytearray()
    for y in reversed(range(h)):
        for x in range(w):
            r, g, b = rows[y][x] if opaque[y][x] else (0, 0, 0)
            xor += bytes((b, g, r, 255 if opaque[y][x] else 0))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(h)):
        line = bytearray(mask_stride)
        for x in range(w):
            if not opaque[y][x]:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    head = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return head + entry + image


def ppm(rows):
    h, w = len(rows), len(rows[0])
    return b"P6\n%d %d\n255\n" % (w, h) + bytes(v for row in rows for p in row for v in p)


def read_ppm(data):
    parts = data.split(maxsplit=4)
    if parts[0] != b"P6" or parts[3] != b"255":
        raise ValueError("unexpected output from ImageMagick")
    w, h, body = int(parts[1]), int(parts[2]), parts[4]
    if len(body) != w * h * 3:
        raise ValueError("unexpected output size from ImageMagick")
    return [[tuple(body[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


# --- The avenue -----------------------------------------------------------

AUTUMN = [(235, 120, 20), (250, 160, 30), (250, 200, 50), (225, 90, 25),
          (200, 60, 20), (245, 185, 70), (180, 150, 40), (255, 215, 90)]


def avenue():
    W, H, SS = 150, 112, 4
    c = Canvas(W, H, SS)
    vx, vy = 80.0, 50.0            # vanishing point
    f, cam = 55.0, 1.1             # focal length, eye height
    haze = (238, 226, 200)
    rng = random.Random(1979)
    grain = ValueNoise(11, 1.3)
    mottle = ValueNoise(12, 6.0)

    def at_depth(z):
        return f / z

    # Sky, brightest at the end of the avenue.
    def sky(x, y):
        d = math.hypot((x - vx) / 60.0, (y - vy) / 45.0)
        return mix(haze, (150, 190, 230), d * 1.4), 1.0
    c.shade(sky, (0, 0, W, vy + 1))

    # Ground: leaf-covered verges, then the road.
    def ground(x, y):
        depth = max(0.0, (y - vy) / (H - vy))
        leaf = mix((120, 70, 25), (205, 130, 40), mottle(x * 2, y * 3))
        leaf = mix(leaf, (95, 110, 40), 0.3 * grain(x * 3, y * 3))
        away = math.hypot((x - vx) / 40.0, depth * 5.0)
        return mix(haze, scale(leaf, 0.8), min(1.0, away)), 1.0
    c.shade(ground, (0, vy, W, H))

    def road(x, y):
        z = cam * f / max(0.01, y - vy)
        half = 0.9 * f / z
        if abs(x - vx) > half:
            return None
        depth = max(0.0, (y - vy) / (H - vy))
        tone = 90 + 25 * mottle(x * 1.5, y * 4) + 18 * grain(x * 4, y * 4)
        col = (tone * 1.02, tone * 0.97, tone * 0.92)
        # Dappled light across the road.
        col = scale(col, 0.75 + 0.5 * mottle(x * 0.7 + 40, z * 8.0))
        return mix(haze, col, min(1.0, depth * 2.5)), 1.0
    c.shade(road, (0, vy, W, H))

    # Fallen leaves, thickest along the edges of the road.
    for _ in range(900):
        y = vy + 2 + (H - vy) * rng.random() ** 0.7
        z = cam * f / (y - vy)
        half = 0.9 * f / z
        side = rng.choice((-1, 1))
        x = vx + side * half * (1.0 - abs(rng.gauss(0, 0.35)))
        s = 0.25 + 0.9 * (y - vy) / (H - vy)
        col = rng.choice(AUTUMN)
        c.ellipse(x, y, s * 0.9, s * 0.5, mix(haze, col, (y - vy) / 25.0), 0.9)

    # Woods beyond the avenue, lost in the haze toward its end.
    woods = ValueNoise(13, 3.0)

    def beyond(x, y):
        top = vy - 26 + 9 * woods(x * 0.9, 5.0)
        if y < top:
            return None
        leaf = mix((80, 40, 20), (200, 120, 35), woods(x * 3.1, y * 3.1))
        leaf = scale(leaf, 0.75 + 0.3 * woods(x * 0.7 + 20, y * 0.7))
        near = min(1.0, abs(x - vx) / 45.0 + 0.1)
        return mix(haze, leaf, 0.85 * near), 1.0
    c.shade(beyond, (0, vy - 45, W, vy + 1))

    # Trees from far to near: trunk, limbs, then the crown.
    depths = [0.75 * 1.32 ** k for k in range(13)]
    for z in reversed(depths):
        k = at_depth(z)
        fade = min(1.0, 0.25 + 2.2 / z ** 1.1)
        for side in (-1, 1):
            wx = side * (1.35 + 0.1 * rng.random())
            tx = vx + wx * k
            base = vy + cam * k
            top = vy - 2.6 * k
            tw = 0.11 * k
            bark = mix(haze, (70, 52, 40), fade)
            lit = mix(haze, (120, 95, 70), fade)
            c.polygon([(tx - tw, base), (tx + tw, base), (tx + tw * 0.6, top), (tx - tw * 0.6, top)],
                      bark)
            c.polygon([(tx - tw * 0.2 * side, base), (tx + tw * side, base),
                       (tx + tw * 0.6 * side, top), (tx + tw * 0.1 * side, top)], lit, 0.6)
            # Limbs reaching up and over the road.
            for _ in range(3):
                h0 = vy - (0.4 + 0.8 * rng.random()) * k
                c.stroke(tx, h0, tx - side * (0.4 + 0.6 * rng.random()) * k,
                         h0 - (0.5 + 0.7 * rng.random()) * k, max(0.4, tw * 0.7), bark)
            # The crown: clusters of leaves, sunlit above and shaded below,
            # reaching in over the road.
            crown_y = vy - 2.1 * k
            n = int(150 + 900 / z)
            for _ in range(n):
                a = rng.uniform(0, 2 * math.pi)
                rr = rng.random() ** 0.6
                cx = tx - side * 0.55 * k + math.cos(a) * rr * 1.5 * k
                cy = crown_y + math.sin(a) * rr * 1.15 * k
                light = max(0.0, min(1.0, 0.6 - (cy - crown_y) / (2.3 * k)
                                     + 0.25 * rng.random()))
                col = scale(rng.choice(AUTUMN), 0.55 + 0.6 * light)
                if rng.random() < 0.06:
                    col = (110, 120, 40)    # a few leaves still green
                r = max(0.35, (0.03 + 0.06 * rng.random()) * k)
                c.ellipse(cx, cy, r, r * 0.8, mix(haze, col, fade), 0.85)

    # A warm haze where the avenue disappears.
    c.shade(lambda x, y: (haze, max(0.0, 0.55 - math.hypot(x - vx, (y - vy) * 1.6) / 22.0)),
            (vx - 25, vy - 16, vx + 25, vy + 16))

    rows, _ = c.pixels()
    # Film grain and a soft vignette, as in a photograph.
    out = []
    for y, row in enumerate(rows):
        line = []
        for x, p in enumerate(row):
            v = 1.0 - 0.25 * (((x - 75) / 75.0) ** 2 + ((y - 56) / 56.0) ** 2) ** 1.5
            n = (rng.random() - 0.5) * 10
            line.append(tuple(ch * v + n for ch in p))
        out.append(line)
    return to_bytes(out)


# --- The banner -------------------------------------------------------------

YELLOW = (255, 206, 20)


def weightlifter(c, ox, oy, s, color, alpha=1.0):
    """A lifter holding a barbell above the head; (ox, oy) the top-left."""
    def p(x, y):
        return (ox + x * s, oy + y * s)

    def seg(a, b, w):
        (x0, y0), (x1, y1) = p(*a), p(*b)
        c.stroke(x0, y0, x1, y1, w * s, color, alpha)

    # Barbell: the bar, then two plates on each end.
    seg((2, 14), (98, 14), 3)
    for x, w, h in ((8, 5, 26), (15, 4, 20), (87, 4, 20), (92, 5, 26)):
        x0, y0 = p(x - w / 2, 14 - h / 2)
        x1, y1 = p(x + w / 2, 14 + h / 2)
        c.rounded(x0, y0, x1, y1, 1.2 * s, color, alpha)
    # Arms straight up to the bar, shoulders wide.
    seg((40, 40), (30, 15), 6)
    seg((60, 40), (70, 15), 6)
    # Head, torso, hips.
    hx, hy = p(50, 30)
    c.ellipse(hx, hy, 7.5 * s, 8.5 * s, color, alpha)
    c.polygon([p(38, 38), p(62, 38), p(58, 66), p(42, 66)], color, alpha)
    c.rounded(*p(37, 36), *p(63, 46), 4 * s, color, alpha)
    # Legs apart and bent a little.
    seg((44, 64), (34, 82), 8)
    seg((34, 82), (30, 100), 7)
    seg((56, 64), (66, 82), 8)
    seg((66, 82), (70, 100), 7)
    seg((24, 101), (33, 101), 4)
    seg((67, 101), (76, 101), 4)


def banner(tmpdir_unused=None):
    W, H, SS = 478, 128, 3
    c = Canvas(W, H, SS)
    sheen = ValueNoise(21, 40.0)

    def gradient(x, y):
        t = x / W
        col = mix((6, 20, 80), (30, 80, 185), t * 1.2)
        col = mix(col, (70, 130, 225), max(0.0, 1.0 - abs(y - 30 - x * 0.12) / 70.0) * 0.35)
        col = scale(col, 0.9 + 0.15 * sheen(x, y) - 0.15 * (y / H) ** 2)
        return col, 1.0
    c.shade(gradient)

    # The logo in a dark disc, its figure casting a soft shadow.
    c.ellipse(70, 64, 58, 58, (4, 14, 55), 0.55)
    c.ellipse(70, 64, 55, 55, (12, 40, 120), 0.6)
    for d, a in ((3.0, 0.18), (2.0, 0.22), (1.0, 0.3)):
        weightlifter(c, 20 + d, 10 + d, 1.0, (0, 5, 30), a)
    weightlifter(c, 20, 10, 1.0, YELLOW)
    # A little light on the top of the plates and the head.
    c.ellipse(68, 34, 3, 2.2, (255, 245, 170), 0.7)

    rows, _ = c.pixels()
    base = ppm(to_bytes(rows))

    # The lettering, set by ImageMagick over the drawing.
    bold = os.path.join(FONT_DIR, "DejaVuSans-Bold.ttf")
    regular = os.path.join(FONT_DIR, "DejaVuSans.ttf")
    args = ["convert", "ppm:-", "-antialias",
            "-font", bold, "-pointsize", "50",
            "-fill", "#001040", "-annotate", "+152+64", "Orvantis",
            "-fill", "#ffffff", "-annotate", "+150+62", "Orvantis",
            "-font", regular, "-pointsize", "12",
            "-fill", "#d8e4ff", "-annotate", "+153+86", "Lumivane is made by the Orvantis team.",
            "-annotate", "+153+102", "Programming, pictures and sounds by Orvantis.",
            "-font", bold, "-pointsize", "14",
            "-fill", "#ffd21a", "-annotate", "+153+120", "www.orvantis.example",
            "-depth", "8", "ppm:-"]
    env = dict(os.environ, MAGICK_THREAD_LIMIT="1")
    done = subprocess.run(args, input=base, stdout=subprocess.PIPE, check=True, env=env)
    return read_ppm(done.stdout)


# --- The television icon ------------------------------------------------------

def television():
    S, SS = 64, 4
    c = Canvas(S, S, SS)
    dark = (30, 24, 20)
    # Rabbit-ear antenna.
    c.stroke(32, 17, 17, 3, 1.6, (70, 70, 75))
    c.stroke(32, 17, 47, 2, 1.6, (70, 70, 75))
    c.ellipse(17, 3, 2, 2, (200, 200, 210))
    c.ellipse(47, 2, 2, 2, (200, 200, 210))
    c.ellipse(32, 17, 5, 3, (60, 55, 50))
    # Feet.
    c.polygon([(11, 54), (17, 54), (15, 62), (11, 62)], dark)
    c.polygon([(47, 54), (53, 54), (53, 62), (49, 62)], dark)
    # The wooden cabinet with a lighter top edge.
    c.rounded(2, 16, 62, 58, 6, dark)
    wood = ValueNoise(31, 2.5)

    def cabinet(x, y):
        grain = wood(x * 0.3, y * 4.0)
        col = mix((120, 62, 28), (175, 105, 50), grain)
        return scale(col, 1.15 - 0.35 * (y - 17) / 40.0), 1.0
    c.shade(lambda x, y: cabinet(x, y) if (
        (x - min(max(x, 9.5), 54.5)) ** 2 + (y - min(max(y, 24), 50.5)) ** 2 <= 5.5 ** 2) else None,
        (3, 17, 61, 57))
    # Screen: a dark bezel and curved glass with a glow.
    c.rounded(6, 21, 45, 53, 6, (25, 25, 28))

    def glass(x, y):
        d = math.hypot((x - 25) / 19.0, (y - 37) / 15.0)
        return mix((120, 175, 200), (20, 45, 70), d), 1.0
    c.shade(lambda x, y: glass(x, y) if (
        (x - min(max(x, 13), 38)) ** 2 + (y - min(max(y, 28), 46)) ** 2 <= 4.5 ** 2) else None,
        (8, 23, 43, 51))
    c.ellipse(18, 29, 6, 3, (255, 255, 255), 0.35)
    # Controls: two knobs and a speaker grille.
    c.rounded(47, 22, 58, 53, 2, (90, 50, 22))
    for ky in (28, 37):
        c.ellipse(52.5, ky, 3.4, 3.4, (20, 20, 20))
        c.ellipse(52.5, ky, 2.6, 2.6, (200, 195, 185))
        c.stroke(52.5, ky, 52.5, ky - 2.2, 0.9, (40, 40, 40))
    for gy in (43, 45.5, 48, 50.5):
        c.stroke(49.5, gy, 55.5, gy, 1.0, (45, 25, 12))

    rows, cover = c.pixels()
    opaque = [[cv >= 0.5 for cv in crow] for crow in cover]
    # Edge pixels get the shape's own colour, not the black it was drawn on.
    fixed = []
    for row, crow in zip(rows, cover):
        fixed.append([tuple(ch / cv if cv > 0 else 0 for ch in p) for p, cv in zip(row, crow)])
    return to_bytes(fixed), opaque


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources", "pictures")
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "avenue.bmp"), bmp24(avenue()))
    write(os.path.join(out, "banner.bmp"), bmp24(banner()))
    rows, opaque = television()
    write(os.path.join(out, "tv.ico"), ico(rows, opaque))


if __name__ == "__main__":
    main()
