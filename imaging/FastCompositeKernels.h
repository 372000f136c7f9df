#pragma once
// The vector kernels of the fast one-to-one Composite, compiled once for
// every CPU target and chosen at run time for the CPU in use.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fastcomposite {

// Per-pixel effects the row kernel computes itself; the trail effects are
// prepared by a scalar loop and handed over as planes.
enum class RowEffect : int32_t { None, GreyNoise, ColourNoise, Invert, Black };

// The exact integer colour adjustment: for a channel value c (after the
// effect) of a pixel with grey g, the stored byte is
// clamp((c*a + g*negM + t512) >> 9, 0, 255), with a = 512*(Contrast +
// Intensity), negM = -512*Intensity and t512 = 512 * the channel's tint term.
struct Adjustment {
    int16_t a = 512;
    int16_t negM = 0;
    int32_t t512[3] = {0, 0, 0}; // blue, green, red
};

// `rows` rows of `width` pixels, interleaved blue, green, red.
struct RowsJob {
    const uint8_t *src = nullptr;
    ptrdiff_t srcStride = 0;
    uint8_t *dst = nullptr;
    ptrdiff_t dstStride = 0;
    int32_t width = 0;
    int32_t rows = 0;
    RowEffect effect = RowEffect::None;
    uint32_t seed = 0; // noise seed before the first pixel
    bool stream = false; // bypass the cache for the destination
    Adjustment adj;
};

// One row of the trail effects: the effect values, computed by the caller,
// replace the source's colours, while the grey averages still come from
// the source row. Both rows interleaved blue, green, red.
struct TrailJob {
    const uint8_t *src = nullptr;
    const uint8_t *effect = nullptr;
    uint8_t *dst = nullptr;
    int32_t width = 0;
    bool stream = false;
    Adjustment adj;
};

void AdjustRows(const RowsJob &job);
// With `stream`, the caller ends the rows with hwy::FlushStream().
void AdjustTrailRow(const TrailJob &job);

// The targets compiled in that this CPU runs, best first; for tests, which
// select each in turn with hwy::SetSupportedTargetsForTest.
std::vector<int64_t> SupportedTargets();
// The target the kernels run on now.
int64_t ActiveTarget();

} // namespace fastcomposite
