#pragma once
// What Composite's common steps hand to its two drawing paths: the
// arguments as given and the values decoded from them for one call.

#include "imaging/Win.h"

#include <cstdint>
#include <limits>

struct CompositeCall {
    // Arguments, in Composite's order.
    int32_t CenterX, CenterY;
    float Angle, ScaleX, ScaleY, ScaleDrift;
    int32_t PivotX, PivotY;
    int32_t AlphaMode, Brightness;
    float Contrast, Intensity;
    int32_t RedTint, GreenTint, BlueTint;
    int32_t Effect, Clamp;
    int32_t CropLeft, CropTop, CropRight, CropBottom;

    // Decoded from AlphaMode.
    int32_t level = 128;  // opacity, 1..128
    bool keyed = false;   // pixels of the key colour are skipped
    bool fullScan = false;
    // The source's pixel (0, 0): the key colour, and the first "previous"
    // pixel of the trail effects.
    int32_t firstB = 0, firstG = 0, firstR = 0;
};

// Converts to a 64-bit integer by dropping the fraction. Values the integer
// cannot hold (and NaN) give the x87's "integer indefinite", 2^63, as the
// original arithmetic unit does, instead of undefined behaviour.
inline int64_t TruncToInt64(long double v)
{
    constexpr long double limit = 9223372036854775808.0L; // 2^63
    if (!(v > -limit && v < limit))
        return std::numeric_limits<int64_t>::min();
    return int64_t(v);
}

// The tint terms of blue, green and red.
struct TintTerms {
    int32_t blue, green, red;
};

inline TintTerms MakeTintTerms(const CompositeCall &c)
{
    // 32-bit sums that wrap, as integers in the original arithmetic do.
    const auto term = [&](int32_t own, int32_t otherA, int32_t otherB) {
        return int32_t(uint32_t(c.Brightness) + 2u * uint32_t(own) - uint32_t(otherA) -
                       uint32_t(otherB));
    };
    return {term(c.BlueTint, c.RedTint, c.GreenTint), term(c.GreenTint, c.RedTint, c.BlueTint),
            term(c.RedTint, c.GreenTint, c.BlueTint)};
}

// One channel's adjusted value: c x Contrast + t - (g - c) x Intensity in
// 80-bit extended precision, truncated, low 32 bits.
inline int32_t AdjustChannel(int32_t c, int32_t g, int32_t tint, float contrast, float intensity)
{
    const long double v = (long double)c * (long double)contrast + (long double)tint -
                          (long double)(g - c) * (long double)intensity;
    return int32_t(uint32_t(uint64_t(TruncToInt64(v))));
}

// The drawing area of the one-to-one path, in destination pixels, and the
// source pixel that lands on its top-left corner.
struct Area {
    int32_t x0, y0, x1, y1;
    int32_t sx0, sy0;
};

// Clips the placed, cropped source to the destination. False when nothing
// of it lands there.
bool UntransformedArea(const TWin &dest, const TWin &source, const CompositeCall &c, Area &a);

// The faithful drawing paths; Composite chooses between them.
void CompositeUntransformed(TWin &dest, TWin &source, const CompositeCall &call);
void CompositeTransformed(TWin &dest, TWin &source, const CompositeCall &call);
