#!/usr/bin/env python3
"""Writes a set of small BMP files covering the format's variants, good and broken.

Good files: palettes of 1, 4 and 8 bits (full and short tables), RLE8 and
RLE4 with every escape (end of line, end of picture, delta, absolute runs
of odd and even length), 16- and 32-bit pictures plain and with bit
fields, 24-bit top-down and bottom-up, the OS/2 header, V4 and V5 headers,
pixel data after a gap. Broken files: cut short at every structure, wrong
signature, impossible header values, run-length data that runs off the
picture or the file, huge announced sizes.

Every file goes into OUTDIR together with MANIFEST, one line a file:
    NAME<TAB>EXPECT
where EXPECT is
    ok        the picture must be read, upright, with its true colours
    empty     a zero-length file: an empty picture, no error
    either    damaged data some readers take and some refuse; either is
              fine as long as nothing crashes or hangs
    nothing   no pixels announced: refused, or read as an empty picture
    or the start of the one message that must refuse the file.

The same files seed the load fuzzer and feed the reader's comparison
against an independent decoder. Only the standard library is used and the
output is the same on every run.

Usage: make-bmp-variants.py OUTDIR
"""

import os
import struct
import sys

W, H = 13, 7  # odd, so every depth pads its rows

NOT_VALID = "Bitmap image is not valid"
READ_ERROR = "Stream read error"
TOO_LARGE = "Bitmap image is too large"


def colour(x, y):
    """The true-colour test picture: every channel varies across it."""
    return ((x * 19 + y * 7) & 255, (x * 5 + y * 41 + 30) & 255, (255 - x * 17 - y * 3) & 255)


def palette(n):
    """n distinct (r, g, b) colours."""
    return [((i * 97 + 13) & 255, (i * 53 + 200) & 255, (i * 31 + 77) & 255) for i in range(n)]


def index(x, y, n):
    return (x + 3 * y) % n


def file_header(total, offset):
    return struct.pack("<2sIHHI", b"BM", total, 0, 0, offset)


def info_header(size, w, h, bpp, comp=0, image_size=0, used=0, masks=None, cstype=0):
    """A Windows information header of 40, 52, 56, 108 or 124 bytes."""
    b = struct.pack("<IiiHHIIiiII", size, w, h, 1, bpp, comp, image_size, 2835, 2835, used, 0)
    if size > 40:
        m = list(masks or (0, 0, 0, 0)) + [0] * 4
        b += struct.pack("<IIII", *m[:4])
        if size >= 108:
            b += struct.pack("<I", cstype) + b"\0" * 36 + b"\0" * 12
        if size >= 124:
            b += struct.pack("<IIII", 4, 0, 0, 0)  # intent, no profile
        b = b[:size] if size in (52, 56) else b
    return b


def pal_bytes(cols, quad=True):
    return b"".join(bytes((b, g, r, 0) if quad else (b, g, r)) for r, g, b in cols)


def stride(w, bpp):
    return ((w * bpp + 31) // 32) * 4


def pack_rows(rows_bits, bpp, w):
    """rows_bits: list of rows (top first) of integers per pixel, bottom-up out."""
    out = b""
    for row in rows_bits:
        if bpp >= 8:
            raw = b"".join(v.to_bytes(bpp // 8, "little") for v in row)
        else:
            acc, nbits, raw = 0, 0, bytearray()
            for v in row:
                acc = (acc << bpp) | v
                nbits += bpp
                if nbits == 8:
                    raw.append(acc)
                    acc, nbits = 0, 0
            if nbits:
                raw.append(acc << (8 - nbits))
            raw = bytes(raw)
        out_row = raw + b"\0" * (stride(w, bpp) - len(raw))
        out = out_row + out  # bottom row first
    return out


def bmp(header, table, data, gap=b""):
    offset = 14 + len(header) + len(table) + len(gap)
    return file_header(offset + len(data), offset) + header + table + gap + data


def rgb_rows(w, h, fn):
    return [[fn(*colour(x, y)) for x in range(w)] for y in range(h)]


def indexed_file(bpp, n_used=0, os2=False, w=W, h=H):
    n = n_used or (1 << bpp)
    cols = palette(n)
    rows = [[index(x, y, n) for x in range(w)] for y in range(h)]
    data = pack_rows(rows, bpp, w)
    if os2:
        header = struct.pack("<IHHHH", 12, w, h, 1, bpp)
        return bmp(header, pal_bytes(cols, quad=False), data)
    header = info_header(40, w, h, bpp, 0, len(data), n_used)
    return bmp(header, pal_bytes(cols), data)


def rgb24(w=W, h=H, top_down=False, size=40, gap=b"", os2=False):
    rows = rgb_rows(w, h, lambda r, g, b: b | g << 8 | r << 16)
    if top_down:
        data = b"".join(reversed([pack_rows([row], 24, w) for row in rows]))
    else:
        data = pack_rows(rows, 24, w)
    if os2:
        header = struct.pack("<IHHHH", 12, w, h, 1, 24)
    else:
        header = info_header(size, w, -h if top_down else h, 24, 0, len(data),
                             cstype=0x73524742 if size >= 108 else 0)
    return bmp(header, b"", data, gap)


def fields(masks, bpp, size=40, comp=3, w=W, h=H, top_down=False):
    """A bit-field picture; masks are (r, g, b[, a])."""
    def enc(r, g, b):
        v = 0
        for c, m in zip((r, g, b), masks[:3]):
            if m:
                shift = (m & -m).bit_length() - 1
                width = bin(m).count("1")
                v |= ((c >> (8 - width)) if width < 8 else c << (width - 8)) << shift
        if len(masks) > 3 and masks[3]:
            v |= masks[3]  # opaque
        return v
    rows = rgb_rows(w, h, enc)
    data = pack_rows(rows, bpp, w)
    if top_down:
        data = b"".join(reversed([pack_rows([row], bpp, w) for row in rows]))
    m4 = list(masks) + [0] * (4 - len(masks))
    if size == 40:
        header = info_header(40, w, -h if top_down else h, bpp, comp, len(data))
        table = struct.pack("<III", *m4[:3]) if comp == 3 else struct.pack("<IIII", *m4)
    else:
        header = info_header(size, w, -h if top_down else h, bpp, comp, len(data),
                             masks=m4, cstype=0x73524742 if size >= 108 else 0)
        table = b""
    return bmp(header, table, data)


# --- run-length encoding ----------------------------------------------------

def rle8_stream(rows, use_delta=True):
    """RLE8 of `rows` (top row first), bottom-up, with every escape."""
    out = bytearray()
    h = len(rows)
    for i, row in enumerate(reversed(rows)):
        y_from_bottom = i
        x = 0
        w = len(row)
        while x < w:
            # Encoded run when the next pixels repeat.
            run = 1
            while x + run < w and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 2:
                out += bytes((run, row[x]))
                x += run
                continue
            # Absolute run of unequal pixels (at least 3), padded to a word.
            n = 0
            while x + n < w and n < 255 and (x + n + 1 >= w or row[x + n + 1] != row[x + n]):
                n += 1
            if n >= 3:
                out += bytes((0, n)) + bytes(row[x:x + n])
                if n % 2:
                    out += b"\0"
                x += n
            else:
                out += bytes((1, row[x]))
                x += 1
        if y_from_bottom == h - 1:
            out += b"\0\1"  # end of picture
        else:
            out += b"\0\0"  # end of line
    return bytes(out)


def rle4_stream(rows):
    """RLE4 of `rows`: runs alternate two indices, absolute runs pack nibbles."""
    out = bytearray()
    h = len(rows)
    for i, row in enumerate(reversed(rows)):
        x, w = 0, len(row)
        while x < w:
            # Encoded run: the pattern a, b, a, b ... over as many pixels as match.
            a = row[x]
            b = row[x + 1] if x + 1 < w else a
            run = 0
            while x + run < w and run < 255 and row[x + run] == (a if run % 2 == 0 else b):
                run += 1
            if run >= 4 or x + run == w:
                out += bytes((run, a << 4 | b))
                x += run
                continue
            n = min(w - x, 7 if (w - x) > 7 else w - x)
            if n < 3:
                out += bytes((n, a << 4 | b))
                x += n
                continue
            nib = row[x:x + n] + [0]
            packed = bytes((nib[k] << 4 | nib[k + 1]) for k in range(0, n, 2))
            out += bytes((0, n)) + packed
            if len(packed) % 2:
                out += b"\0"
            x += n
        out += b"\0\1" if i == h - 1 else b"\0\0"
    return bytes(out)


def rle_file(bpp, stream, n=None, w=W, h=H, top_down=False):
    n = n or (1 << bpp)
    header = info_header(40, w, -h if top_down else h, bpp, 1 if bpp == 8 else 2, len(stream), n)
    return bmp(header, pal_bytes(palette(n)), stream)


def rle_rows(n, w=W, h=H):
    """Indices with runs, alternations and unequal stretches."""
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            if x < 4:
                row.append((y + 1) % n)          # a run
            elif x < 9:
                row.append((x * 5 + y) % n)      # unequal pixels: absolute mode
            else:
                row.append((x + y) % 2 * 3 % n)  # alternation
        rows.append(row)
    return rows


def rle8_with_delta():
    """RLE8 that skips pixels with a delta inside a row and across rows; the
    rows after it are filled, so the picture ends where it should."""
    s = bytearray()
    # Bottom row: 3 pixels, then 4 to the right and 2 rows up, then 6 more.
    s += bytes((3, 5)) + bytes((0, 2, 4, 2)) + bytes((6, 6)) + b"\0\0"
    for i in range(H - 3):
        s += bytes((W, i + 1)) + b"\0\0"
    s += b"\0\1"
    return rle_file(8, bytes(s), 8)


def rle4_with_delta():
    s = bytearray()
    # 5 alternating pixels, 2 right and 1 up, an odd absolute run, one pixel.
    s += bytes((5, 0x12)) + bytes((0, 2, 2, 1)) + bytes((0, 5, 0x34, 0x56, 0x70, 0))
    s += bytes((1, 0xF0)) + b"\0\0"
    for i in range(H - 2):
        s += bytes((W, i << 4 | (i + 3))) + b"\0\0"
    s += b"\0\1"
    return rle_file(4, bytes(s), 16)


def good_files():
    f = {}
    f["pal1-bottomup"] = indexed_file(1)
    f["pal1-width1"] = indexed_file(1, w=1, h=3)
    f["pal1-width33"] = indexed_file(1, w=33, h=2)
    f["pal4-full"] = indexed_file(4)
    f["pal4-short-table"] = indexed_file(4, n_used=5)
    f["pal8-full"] = indexed_file(8)
    f["pal8-short-table"] = indexed_file(8, n_used=20)
    f["pal8-os2"] = indexed_file(8, os2=True)
    f["pal4-os2"] = indexed_file(4, os2=True)
    f["pal1-os2"] = indexed_file(1, os2=True)
    f["rgb24-bottomup"] = rgb24()
    f["rgb24-topdown"] = rgb24(top_down=True)
    f["rgb24-1x1"] = rgb24(1, 1)
    f["rgb24-4x1"] = rgb24(4, 1)
    f["rgb24-gap-before-data"] = rgb24(gap=b"\xAA" * 10)
    f["rgb24-os2"] = rgb24(os2=True)
    f["rgb24-v4"] = rgb24(size=108)
    f["rgb24-v5"] = rgb24(size=124)
    f["rgb24-v5-topdown"] = rgb24(size=124, top_down=True)
    f["rgb16-555"] = bmp(info_header(40, W, H, 16, 0),
                         b"", pack_rows(rgb_rows(W, H, lambda r, g, b: (r >> 3) << 10 | (g >> 3) << 5 | b >> 3), 16, W))
    f["rgb32-plain"] = bmp(info_header(40, W, H, 32, 0),
                           b"", pack_rows(rgb_rows(W, H, lambda r, g, b: b | g << 8 | r << 16), 32, W))
    f["bf16-565"] = fields((0xF800, 0x07E0, 0x001F), 16)
    f["bf16-555"] = fields((0x7C00, 0x03E0, 0x001F), 16)
    f["bf16-565-topdown"] = fields((0xF800, 0x07E0, 0x001F), 16, top_down=True)
    f["bf32-rgb"] = fields((0x00FF0000, 0x0000FF00, 0x000000FF), 32)
    f["bf32-bgr"] = fields((0x000000FF, 0x0000FF00, 0x00FF0000), 32)
    f["bf32-high-bytes"] = fields((0xFF000000, 0x00FF0000, 0x0000FF00), 32)
    f["bf16-v4"] = fields((0xF800, 0x07E0, 0x001F, 0), 16, size=108)
    f["bf32-v4-alpha"] = fields((0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000), 32, size=108)
    f["bf32-v5-alpha"] = fields((0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000), 32, size=124)
    f["bf32-v5-bgr"] = fields((0x000000FF, 0x0000FF00, 0x00FF0000, 0), 32, size=124)
    f["bf16-v3-alpha-masks"] = fields((0x0F00, 0x00F0, 0x000F, 0xF000), 16, size=56)
    f["bf32-v2"] = fields((0x000000FF, 0x0000FF00, 0x00FF0000), 32, size=52)
    f["rgb24-v3"] = rgb24(size=56)
    rows8 = rle_rows(256)
    f["rle8-runs-absolute-eol-eob"] = rle_file(8, rle8_stream(rows8))
    f["rle8-delta"] = rle8_with_delta()
    f["rle8-short-table"] = rle_file(8, rle8_stream(rle_rows(12)), n=12)
    f["rle4-runs-absolute-eol-eob"] = rle_file(4, rle4_stream(rle_rows(16)))
    f["rle4-delta"] = rle4_with_delta()
    return f


def replace(b, at, fmt, value):
    return b[:at] + struct.pack(fmt, value) + b[at + struct.calcsize(fmt):]


def broken_files(good):
    f = {}
    base = good["rgb24-bottomup"]
    pal8 = good["pal8-full"]
    rle8 = good["rle8-runs-absolute-eol-eob"]
    rle4 = good["rle4-runs-absolute-eol-eob"]
    f["empty"] = (b"", "empty")
    f["one-byte"] = (b"B", READ_ERROR)
    f["file-header-only"] = (base[:14], READ_ERROR)
    f["cut-in-info-header"] = (base[:30], READ_ERROR)
    f["cut-after-info-header"] = (base[:54], READ_ERROR)
    f["cut-in-pixels"] = (base[:54 + len(base[54:]) // 2], READ_ERROR)
    f["cut-one-byte-short"] = (base[:-1], READ_ERROR)
    f["cut-in-palette"] = (pal8[:54 + 300], READ_ERROR)
    f["cut-in-os2-palette"] = (good["pal8-os2"][:26 + 100], READ_ERROR)
    f["cut-in-bitfield-masks"] = (good["bf32-rgb"][:60], READ_ERROR)
    f["png-renamed"] = (b"\x89PNG\r\n\x1a\n" + b"\0\0\0\rIHDR" + b"\0" * 60, NOT_VALID)
    f["text-file"] = (b"hello, this is not a picture at all\n" * 3, NOT_VALID)
    f["bm-then-garbage"] = (b"BM" + bytes(range(256)) * 2, NOT_VALID)
    f["header-size-41"] = (replace(base, 14, "<I", 41), NOT_VALID)
    f["header-size-0"] = (replace(base, 14, "<I", 0), NOT_VALID)
    f["header-size-huge"] = (replace(base, 14, "<I", 0xFFFFFF00), NOT_VALID)
    f["width-0"] = (replace(base, 18, "<i", 0), "nothing")
    f["width-negative"] = (replace(base, 18, "<i", -13), NOT_VALID)
    f["height-0"] = (replace(base, 22, "<i", 0), "nothing")
    f["no-pixels-at-all"] = (replace(replace(base, 18, "<i", 0), 22, "<i", 0)[:54], "nothing")
    f["height-int-min"] = (replace(base, 22, "<i", -2 ** 31), TOO_LARGE)
    f["planes-2"] = (replace(base, 26, "<H", 2), NOT_VALID)
    f["bpp-0"] = (replace(base, 28, "<H", 0), NOT_VALID)
    f["bpp-7"] = (replace(base, 28, "<H", 7), NOT_VALID)
    f["bpp-64"] = (replace(base, 28, "<H", 64), NOT_VALID)
    f["compression-jpeg"] = (replace(base, 30, "<I", 4), NOT_VALID)
    f["compression-png"] = (replace(base, 30, "<I", 5), NOT_VALID)
    f["compression-unknown"] = (replace(base, 30, "<I", 77), NOT_VALID)
    f["rle8-on-24-bit"] = (replace(base, 30, "<I", 1), NOT_VALID)
    f["rle4-on-8-bit"] = (replace(pal8, 30, "<I", 2), NOT_VALID)
    f["bitfields-on-8-bit"] = (replace(pal8, 30, "<I", 3), NOT_VALID)
    f["offset-0"] = (replace(base, 10, "<I", 0), READ_ERROR)
    f["offset-past-end"] = (replace(base, 10, "<I", len(base) + 10), READ_ERROR)
    f["offset-huge"] = (replace(base, 10, "<I", 0xFFFFFFF0), READ_ERROR)
    f["offset-leaves-too-few-rows"] = (replace(base, 10, "<I", 54 + 40), READ_ERROR)
    f["width-too-large"] = (replace(base, 18, "<i", (1 << 17) + 1), TOO_LARGE)
    f["height-too-large"] = (replace(base, 22, "<i", -((1 << 17) + 1)), TOO_LARGE)
    f["pixels-too-many"] = (replace(replace(base, 18, "<i", 100000), 22, "<i", 100000), TOO_LARGE)
    f["width-int-max"] = (replace(base, 18, "<i", 2 ** 31 - 1), TOO_LARGE)
    f["rle8-huge-announced"] = (replace(replace(rle8, 18, "<i", 1 << 17), 22, "<i", 1 << 17), TOO_LARGE)
    f["os2-huge-announced"] = (replace(replace(good["rgb24-os2"], 18, "<H", 65535), 20, "<H", 65535), TOO_LARGE)
    f["colours-used-huge"] = (replace(pal8, 46, "<I", 0xFFFFFFFF), "either")
    f["bitfields-zero-masks"] = (replace(replace(replace(good["bf32-rgb"], 54, "<I", 0), 58, "<I", 0), 62, "<I", 0), "either")
    f["bitfields-overlapping"] = (replace(good["bf32-rgb"], 58, "<I", 0x00FFFF00), "either")
    f["bitfields-all-ones"] = (replace(replace(replace(good["bf16-565"], 54, "<I", 0xFFFFFFFF), 58, "<I", 0xFFFFFFFF), 62, "<I", 0xFFFFFFFF), "either")
    # Run-length data that misbehaves.
    hdr8 = rle8[:54 + 1024]
    hdr4 = rle4[:54 + 64]
    f["rle8-no-end-marker"] = (hdr8 + bytes((W, 7)) * 3, "either")
    f["rle8-cut-in-absolute-run"] = (hdr8 + bytes((0, 200, 1, 2, 3)), "either")
    f["rle8-run-past-row"] = (hdr8 + bytes((255, 9)) * 10 + b"\0\1", "either")
    f["rle8-delta-past-picture"] = (hdr8 + bytes((0, 2, 255, 255, 5, 5)) + b"\0\1", "either")
    f["rle8-delta-cut"] = (hdr8 + bytes((0, 2, 3)), "either")
    f["rle8-too-many-lines"] = (hdr8 + b"\0\0" * (H + 20) + bytes((4, 4)) + b"\0\1", "either")
    f["rle8-absolute-past-row"] = (hdr8 + bytes((0, 200)) + bytes(range(200)) + b"\0\1", "either")
    f["rle8-index-past-table"] = (replace(rle_file(8, rle8_stream(rle_rows(256)), n=12), 46, "<I", 12), "either")
    f["rle8-top-down"] = (replace(rle8, 22, "<i", -H), "either")
    f["rle8-early-end"] = (hdr8 + bytes((W, 5)) + b"\0\0" + bytes((W, 6)) + b"\0\1", "either")
    f["rle4-early-end"] = (hdr4 + bytes((W, 0x56)) + b"\0\1", "either")
    f["rle8-only-escape"] = (hdr8 + b"\0", "either")
    f["rle8-no-data"] = (hdr8, "either")
    f["rle4-run-past-row"] = (hdr4 + bytes((255, 0x12)) * 10 + b"\0\1", "either")
    f["rle4-absolute-past-row"] = (hdr4 + bytes((0, 255)) + bytes(128) + b"\0\1", "either")
    f["rle4-delta-past-picture"] = (hdr4 + bytes((0, 2, 200, 200)) + b"\0\1", "either")
    f["rle4-cut-in-absolute-run"] = (hdr4 + bytes((0, 9, 0x12)), "either")
    f["rle4-no-end-marker"] = (hdr4 + bytes((3, 0x45)), "either")
    f["pal8-index-past-short-table"] = (replace(pal8, 46, "<I", 4), "either")
    f["pal1-colours-used-0-short-file"] = (good["pal1-bottomup"][:54 + 4], READ_ERROR)
    return f


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    good = good_files()
    lines = []
    for name, data in sorted(good.items()):
        with open(os.path.join(out, "ok-" + name + ".bmp"), "wb") as fh:
            fh.write(data)
        lines.append("ok-%s.bmp\tok" % name)
    for name, (data, expect) in sorted(broken_files(good).items()):
        with open(os.path.join(out, "bad-" + name + ".bmp"), "wb") as fh:
            fh.write(data)
        lines.append("bad-%s.bmp\t%s" % (name, expect))
    with open(os.path.join(out, "MANIFEST"), "w") as fh:
        fh.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
