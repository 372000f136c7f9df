// Calls Composite with arbitrary arguments on small surfaces and checks that
// it ends, stays inside both surfaces' pixels (the sanitizers watch the
// memory; a guard pattern in each row's padding catches writes past a row's
// last pixel), and leaves the source untouched.
//
// Input layout (little-endian), shorter inputs read as zeros:
//   0  4 bytes: destination width, height, source width, height (each mod 17)
//   4  1 byte:  pixel mode; odd: two colours chosen by the bits of the pixel
//               data, so that colour keys meet many pixels
//   5  84 bytes: the 21 arguments in Composite's order, int32 or float bits
//  89  the destination's pixel data, then the source's
//
// Arguments pass through unchanged, except that coordinates and scaled
// sizes are folded into the range that callers keep to (below 16384), so
// the 32-bit products of the transformed path cannot wrap.

#include "imaging/Win.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr int kSides = 17;
constexpr int32_t kCoordinateLimit = 16384;

class Input {
public:
    Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= uint32_t(byte()) << (8 * i);
        return v;
    }
    int32_t i32() { return int32_t(u32()); }
    float f32()
    {
        const uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};

int32_t Coordinate(int32_t v)
{
    return v % kCoordinateLimit;
}

// A scale whose picture stays below the coordinate limit; non-finite ones
// become 0, which Composite must survive as well.
float Scale(float s, int side)
{
    if (!std::isfinite(s))
        return 0.0f;
    const float limit = float(kCoordinateLimit / 4) / float(side > 0 ? side : 1);
    return std::fmod(s, limit);
}

// Drift moves both scales by up to drift / 50000 a row.
float Drift(float d)
{
    if (!std::isfinite(d))
        return 0.0f;
    return std::fmod(d, 1.0e6f);
}

void Fill(TWin &win, Input &in, bool twoColours)
{
    if (win.empty())
        return;
    for (int y = 0; y < win.height(); ++y) {
        uint8_t *row = win.Bits + intptr_t(y) * win.Stride;
        for (int x = 0; x < win.width(); ++x) {
            if (twoColours) {
                const uint8_t v = (in.byte() & 1) ? 0xFF : 0x10;
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = v;
            } else {
                row[3 * x] = in.byte();
                row[3 * x + 1] = in.byte();
                row[3 * x + 2] = in.byte();
            }
        }
        std::memset(row + 3 * win.width(), kGuard, size_t(win.Stride - 3 * win.width()));
    }
}

std::vector<uint8_t> Bytes(const TWin &win)
{
    if (win.empty())
        return {};
    return std::vector<uint8_t>(win.Bits, win.Bits + size_t(win.Stride) * size_t(win.height()));
}

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz_composite: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in(data, size);
    const int dw = in.byte() % kSides, dh = in.byte() % kSides;
    const int sw = in.byte() % kSides, sh = in.byte() % kSides;
    const bool twoColours = in.byte() & 1;
    const int side = sw > sh ? sw : sh;

    const int32_t centerX = Coordinate(in.i32()), centerY = Coordinate(in.i32());
    const float angle = in.f32();
    const float scaleX = Scale(in.f32(), side), scaleY = Scale(in.f32(), side);
    const float drift = Drift(in.f32());
    const int32_t pivotX = Coordinate(in.i32()), pivotY = Coordinate(in.i32());
    const int32_t alphaMode = in.i32(), brightness = in.i32();
    const float contrast = in.f32(), intensity = in.f32();
    const int32_t red = in.i32(), green = in.i32(), blue = in.i32();
    const int32_t effect = in.i32(), clamp = in.i32();
    const int32_t cropL = Coordinate(in.i32()), cropT = Coordinate(in.i32());
    const int32_t cropR = Coordinate(in.i32()), cropB = Coordinate(in.i32());

    TWin dest(dw, dh), source(sw, sh);
    Fill(dest, in, twoColours);
    Fill(source, in, twoColours);
    const std::vector<uint8_t> sourceBefore = Bytes(source);

    dest.Composite(source, centerX, centerY, angle, scaleX, scaleY, drift, pivotX, pivotY,
                   alphaMode, brightness, contrast, intensity, red, green, blue, effect, clamp,
                   cropL, cropT, cropR, cropB);

    if (Bytes(source) != sourceBefore)
        Fail("the source was changed");
    for (int y = 0; !dest.empty() && y < dest.height(); ++y) {
        const uint8_t *row = dest.Bits + intptr_t(y) * dest.Stride;
        for (int x = 3 * dest.width(); x < dest.Stride; ++x)
            if (row[x] != kGuard)
                Fail("a write landed in a row's padding");
    }
    return 0;
}
