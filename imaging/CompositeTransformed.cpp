// Composite's transformed path: draws the source rotated, scaled, mirrored
// and with the scales drifting from row to row. It works backwards: each
// destination pixel of a region is mapped through a 16.16 fixed-point
// rotation to a point of the scaled source, and the source pixel there is
// taken (nearest pixel, by truncation). This is the reference version:
// plain code, arithmetic exactly as the original's 80-bit unit and 32-bit
// integers did it.
//
// The original trusted its callers; this one also guards every source read
// and destination write, so that any arguments at all (reversed spans,
// negative crops, pixel-less surfaces, coordinates whose products wrap)
// leave both surfaces' memory alone outside their pixels.

#include "imaging/BlendChannel.h"
#include "imaging/CompositeCall.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

namespace {

// 32-bit integer arithmetic that wraps, as the original's integers do.
int32_t Add32(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t Sub32(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
int32_t Mul32(int32_t a, int32_t b) { return int32_t(uint32_t(a) * uint32_t(b)); }
int32_t Low32(int64_t v) { return int32_t(uint32_t(uint64_t(v))); }

// A value stored into one of the path's single-precision variables.
float StoreSingle(long double v) { return static_cast<float>(v); }

// Rounds to the nearest integer, ties to even (the arithmetic unit's
// default rounding). Like TruncToInt64, NaN and values the integer cannot
// hold give 2^63, the "integer indefinite".
int64_t RoundToInt64(long double v)
{
    constexpr long double limit = 9223372036854775808.0L; // 2^63
    if (!(v > -limit && v < limit))
        return std::numeric_limits<int64_t>::min();
    return int64_t(std::nearbyint(v));
}

// Sine and cosine of Angle + 180 degrees in 16.16 fixed point.
struct Turn {
    int32_t S, C;
};

Turn TurnFor(int32_t angleCode, float angle)
{
    // The exact angles use 65535 for a magnitude of 1, never 65536.
    switch (angleCode) {
    case 0: return {0, -65535};
    case 4500: return {-46340, -46340};
    case 9000: return {-65535, 0};
    case 13500: return {-46340, 46340};
    case 18000: return {0, 65535};
    case 22500: return {46340, 46340};
    case 27000: return {65535, 0};
    case 31500: return {46340, -46340};
    default: break;
    }
    constexpr long double pi = std::numbers::pi_v<long double>;
    const float phi = StoreSingle(((long double)angle + 180) * pi / 180);
    return {Low32(TruncToInt64(std::sin((long double)phi) * 65536)),
            Low32(TruncToInt64(std::cos((long double)phi) * 65536))};
}

// The destination area that is walked: columns x0..x1, rows y0..y1.
struct Region {
    int32_t x0, x1, y0, y1;
};

int32_t BringInto(int32_t v, int32_t top) { return v < 0 ? 0 : (v >= top ? top : v); }

// A box around the picture, from the scales before any drift, cut to the
// destination. It does not follow the pivot's turn.
Region BoxRegion(const CompositeCall &c, int32_t angleCode, float scaleX, float scaleY,
                 int32_t halfW, int32_t halfH, int32_t dW, int32_t dH)
{
    const int32_t spanX = Low32(TruncToInt64((long double)scaleX * halfW));
    const int32_t spanY = Low32(TruncToInt64((long double)scaleY * halfH));
    int32_t eX, eY;
    if (angleCode == 0 || angleCode == 18000) {
        eX = Add32(spanX, 1);
        eY = Add32(spanY, 1);
    } else if (angleCode == 9000 || angleCode == 27000) {
        eX = Add32(spanY, 1);
        eY = Add32(spanX, 1);
    } else {
        // A turned picture: the larger half-extent, widened for the diagonal.
        const int32_t p = Add32(spanX, 3);
        const int32_t q = Add32(spanY, 3);
        eX = eY = Low32(TruncToInt64((long double)std::max(p, q) * 1.37L));
    }
    const int32_t left = Add32(Sub32(c.CenterX, eX), Sub32(c.PivotX, 1));
    const int32_t right = Add32(c.CenterX, Add32(eX, c.PivotX));
    const int32_t top = Add32(Sub32(c.CenterY, eY), c.PivotY);
    const int32_t bottom = Add32(c.CenterY, Add32(eY, c.PivotY));
    return {BringInto(Add32(left, c.CropLeft), dW - 1),
            BringInto(Sub32(right, c.CropRight), dW - 1),
            BringInto(Add32(top, c.CropTop), dH - 1),
            BringInto(Sub32(bottom, c.CropBottom), dH - 1)};
}

// The whole destination less the crop margins. With crops of 0 or more this
// lies inside the destination already; negative crops would reach outside
// it, so the area is cut to the destination (only ever narrowed, so that a
// reversed span stays reversed).
Region FullScanRegion(const CompositeCall &c, int32_t dW, int32_t dH)
{
    return {std::max(c.CropLeft, 0), std::min(Sub32(dW - 1, c.CropRight), dW - 1),
            std::max(c.CropTop, 0), std::min(Sub32(dH - 1, c.CropBottom), dH - 1)};
}

// Position (offset) and extent (limit) of the scaled source along one axis,
// in source-space units.
struct Axis {
    int32_t off, lim;
};

Axis AxisFor(int32_t half, int32_t pivot, int32_t size, float scale)
{
    return {Low32(TruncToInt64((long double)Sub32(half, pivot) * scale)),
            Low32(TruncToInt64((long double)size * scale))};
}

// The last sampled source position and what was found there. It spans
// rows and compares the position only.
struct Sample {
    int32_t u = -1, v = -1;
    bool keyed = false;
    int32_t B = 0, G = 0, R = 0, grey = 0;
};

} // namespace

void CompositeTransformed(TWin &dest, TWin &source, const CompositeCall &c)
{
    float angle = c.Angle;
    float scaleX = c.ScaleX;
    float scaleY = c.ScaleY;
    float drift = c.ScaleDrift;

    // A negative Clamp only chose this path; its magnitude is the flag
    // (32-bit, so the most negative value stays negative: no clamping).
    const int32_t clamp = c.Clamp < 0 ? Sub32(0, c.Clamp) : c.Clamp;

    // Mirroring: a negative scale becomes positive and the angle is
    // reflected; the walk direction then undoes the reflection of the row.
    bool mirrored = false;
    if (scaleY < 0) {
        scaleY = StoreSingle(-(long double)scaleY);
        angle = StoreSingle((long double)angle + 180);
        angle = StoreSingle(360 - (long double)angle);
        mirrored = true;
    }
    if (scaleX < 0) {
        scaleX = StoreSingle(-(long double)scaleX);
        angle = StoreSingle(360 - (long double)angle);
        mirrored = !mirrored;
    }

    // Hundredths of a degree; the remainder keeps the dividend's sign.
    const int32_t angleCode = int32_t(RoundToInt64((long double)angle * 100) % 36000);
    const Turn turn = TurnFor(angleCode, angle);

    const int32_t sW = source.width();
    const int32_t sH = source.height();
    const int32_t dW = dest.width();
    const int32_t dH = dest.height();
    const int32_t halfW = sW / 2;
    const int32_t halfH = sH / 2;

    // The walk direction; RowStep keeps it after the call. Nothing else is
    // done on a destination without pixels.
    dest.RowStep = mirrored ? -3 : 3;
    if (dest.empty() || dW <= 0 || dH <= 0)
        return;

    const Region r = c.fullScan ? FullScanRegion(c, dW, dH)
                                : BoxRegion(c, angleCode, scaleX, scaleY, halfW, halfH, dW, dH);

    // Drift: each row adds one drift before it is walked, so the scales
    // start halfW and halfH drifts back; the halfW-th and halfH-th rows
    // walked then have the scales asked for.
    if (drift != 0) {
        drift = StoreSingle((long double)drift / 50000);
        scaleX = StoreSingle((long double)scaleX - (long double)halfW * drift);
        scaleY = StoreSingle((long double)scaleY - (long double)halfH * drift);
    }
    Axis ax = AxisFor(halfW, c.PivotX, sW, scaleX);
    Axis ay = AxisFor(halfH, c.PivotY, sH, scaleY);

    const TintTerms tint = MakeTintTerms(c);
    const bool sourceHasPixels = !source.empty() && sW > 0 && sH > 0;
    Sample last;
    int64_t lastRowWritten = -1;

    // The row cursor as a byte offset from Bits. Keyed pixels before a
    // row's first drawn pixel move a cursor left over from before, which
    // may point anywhere; as a number it can move without forming a wild
    // pointer. It is handed back to RowCursor at the end.
    int64_t cursor = int64_t(uintptr_t(dest.RowCursor) - uintptr_t(dest.Bits));
    const int64_t stride = dest.Stride;
    const int64_t bytesPerPixel = dest.Header.biBitCount / 8;
    // The three bytes at `offset` if they are a pixel of the destination.
    const auto destPixel = [&](int64_t offset) -> uint8_t * {
        if (offset < 0 || stride <= 0 || offset / stride >= dH ||
            offset % stride + 3 > 3 * int64_t(dW))
            return nullptr;
        return dest.Bits + offset;
    };

    const int64_t pixelsPerRow = int64_t(r.x1) - r.x0; // reversed span: none
    for (int64_t y = r.y0; y <= r.y1; ++y) {
        if (drift != 0) {
            scaleX = StoreSingle((long double)scaleX + drift);
            ax = AxisFor(halfW, c.PivotX, sW, scaleX);
            scaleY = StoreSingle((long double)scaleY + drift);
            ay = AxisFor(halfH, c.PivotY, sH, scaleY);
        }
        const int32_t dy = Sub32(Sub32(c.CenterY, 1), int32_t(y));
        const int32_t dyS = Mul32(dy, turn.S);
        const int32_t dyC = Mul32(dy, turn.C);

        for (int64_t n = 1; n <= pixelsPerRow; ++n) {
            // A mirrored row takes the same samples, written from the right.
            const int64_t x = mirrored ? r.x1 - n + 1 : r.x0 + n - 1;
            const int32_t dx = Sub32(Sub32(Sub32(c.CenterX, 1), r.x0), int32_t(n));
            const int32_t u = Add32(Sub32(Mul32(dx, turn.C), dyS) >> 16, ax.off);
            const int32_t v = Add32(Add32(Mul32(dx, turn.S), dyC) >> 16, ay.off);
            if (u < 1 || u >= ax.lim || v < 1 || v >= ay.lim)
                continue; // outside the picture: the cursor stays

            if (u != last.u || v != last.v) {
                const int64_t column = TruncToInt64((long double)u / scaleX);
                const int64_t row = TruncToInt64((long double)v / scaleY);
                // Only arguments outside the caller's limits get here with a
                // position off the source; treat it as outside the picture.
                if (!sourceHasPixels || column < 0 || column >= sW || row < 0 || row >= sH)
                    continue;
                last.u = u;
                last.v = v;
                last.B = source.ReadPixel(int32_t(column), int32_t(row));
                last.G = source.ReadGreen();
                last.R = source.ReadRed();
                last.grey = (last.B + last.G + last.R) / 3;
                last.keyed = c.keyed && last.B == c.firstB && last.G == c.firstG &&
                             last.R == c.firstR;
            }

            if (last.keyed) {
                cursor += dest.RowStep;
                continue;
            }
            if (y != lastRowWritten) {
                cursor = y * stride + x * bytesPerPixel;
                lastRowWritten = y;
            }
            if (uint8_t *px = destPixel(cursor)) {
                px[0] = uint8_t(BlendChannel(
                    px[0], AdjustChannel(last.B, last.grey, tint.blue, c.Contrast, c.Intensity),
                    c.level, clamp));
                px[1] = uint8_t(BlendChannel(
                    px[1], AdjustChannel(last.G, last.grey, tint.green, c.Contrast, c.Intensity),
                    c.level, clamp));
                px[2] = uint8_t(BlendChannel(
                    px[2], AdjustChannel(last.R, last.grey, tint.red, c.Contrast, c.Intensity),
                    c.level, clamp));
            }
            cursor += dest.RowStep;
        }
    }
    dest.RowCursor = reinterpret_cast<uint8_t *>(uintptr_t(dest.Bits) + uint64_t(cursor));
}
