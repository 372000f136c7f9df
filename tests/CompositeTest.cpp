// Composite on its one-to-one path: the knob panel's render, the colour
// adjustment, AlphaMode decoding and the colour key, every effect with the
// previous pixel and the noise generator, crops and clipping.

#include "imaging/NoiseGenerator.h"
#include "imaging/Win.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

using namespace testing_support;

namespace {

// Every parameter after the source, neutral unless a test says otherwise.
struct Args {
    int32_t CenterX = 0, CenterY = 0;
    float Angle = 0, ScaleX = 1, ScaleY = 1, ScaleDrift = 0;
    int32_t PivotX = 0, PivotY = 0;
    int32_t AlphaMode = -256, Brightness = 0;
    float Contrast = 1, Intensity = 0;
    int32_t RedTint = 0, GreenTint = 0, BlueTint = 0;
    int32_t Effect = 0, Clamp = 1;
    int32_t CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;
};

// The knob panel's fixed arguments: centred on the source.
Args Centred(const TWin &source)
{
    Args a;
    a.CenterX = source.width() / 2;
    a.CenterY = source.height() / 2;
    return a;
}

void Compose(TWin &dest, TWin &source, const Args &a)
{
    dest.Composite(source, a.CenterX, a.CenterY, a.Angle, a.ScaleX, a.ScaleY, a.ScaleDrift,
                   a.PivotX, a.PivotY, a.AlphaMode, a.Brightness, a.Contrast, a.Intensity,
                   a.RedTint, a.GreenTint, a.BlueTint, a.Effect, a.Clamp, a.CropLeft, a.CropTop,
                   a.CropRight, a.CropBottom);
}

std::function<Bgr(int, int)> Uniform(Bgr p)
{
    return [p](int, int) { return p; };
}

// Never produced by Distinct on the small sizes used here (blue = x < 250).
constexpr Bgr kOld{251, 252, 253};

std::vector<Bgr> Row(TWin &w, int y)
{
    std::vector<Bgr> row;
    for (int x = 0; x < w.width(); ++x)
        row.push_back(GetPixel(w, x, y));
    return row;
}

std::vector<Bgr> Greys(std::initializer_list<int> values)
{
    std::vector<Bgr> row;
    for (int v : values)
        row.push_back({v, v, v});
    return row;
}

// Each test starts the program-wide noise generator afresh.
class CompositeTest : public ::testing::Test {
protected:
    void SetUp() override { NoiseGenerator::Seed = 0; }
};

// ---- the knob panel ----------------------------------------------------------

TEST_F(CompositeTest, KnobsAtZeroCopyTheSource)
{
    auto source = MakeSurface(8, 6, Distinct);
    auto dest = MakeSurface(8, 6, Uniform(kOld));
    Compose(*dest, *source, Centred(*source));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(GetPixel(*dest, x, y), Distinct(x, y)) << x << "," << y;
}

TEST_F(CompositeTest, OddSizesLeaveTheLastColumnAndRow)
{
    auto source = MakeSurface(5, 3, Distinct);
    auto dest = MakeSurface(5, 3, Uniform(kOld));
    Compose(*dest, *source, Centred(*source));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool drawn = x <= 3 && y <= 1;
            ASSERT_EQ(GetPixel(*dest, x, y), drawn ? Distinct(x, y) : kOld) << x << "," << y;
        }
}

struct Knobs {
    int red, green, blue, brightness, contrast, intensity, smoothfx;
};

class KnobRenderTest : public CompositeTest, public ::testing::WithParamInterface<Knobs> {};

// The knob panel's render, checked against the adjustment written out:
// c x (Contrast + Intensity) - g x Intensity + tint term, truncated and
// clamped. With slider values every term is exact in double precision.
TEST_P(KnobRenderTest, EachPixelIsTheAdjustedSourcePixel)
{
    const Knobs k = GetParam();
    std::mt19937 random(1234);
    auto source = MakeSurface(17, 9, [&](int, int) {
        return Bgr{int(random() % 256), int(random() % 256), int(random() % 256)};
    });
    auto dest = MakeSurface(17, 9, Uniform(kOld));

    Args a = Centred(*source);
    a.RedTint = k.red;
    a.GreenTint = k.green;
    a.BlueTint = k.blue;
    a.Brightness = k.brightness;
    a.Contrast = float(k.contrast) / 512.0f + 1.0f;
    a.Intensity = float(k.intensity) / 512.0f;
    a.Effect = k.smoothfx;
    Compose(*dest, *source, a);

    const double contrast = k.contrast / 512.0 + 1.0;
    const double intensity = k.intensity / 512.0;
    const int tint[3] = {k.brightness + 2 * k.blue - k.red - k.green,
                         k.brightness + 2 * k.green - k.red - k.blue,
                         k.brightness + 2 * k.red - k.green - k.blue};
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 17; ++x) {
            if (x == 16 || y == 8) {
                ASSERT_EQ(GetPixel(*dest, x, y), kOld);
                continue;
            }
            const Bgr s = GetPixel(*source, x, y);
            const int grey = (s.b + s.g + s.r) / 3;
            int c[3] = {s.b, s.g, s.r};
            for (int &v : c)
                v = k.smoothfx == 3 ? 255 - v : k.smoothfx == 4 ? 0 : v;
            int out[3];
            for (int i = 0; i < 3; ++i) {
                const double v = c[i] * (contrast + intensity) - grey * intensity + tint[i];
                out[i] = std::clamp(int(std::trunc(v)), 0, 255);
            }
            ASSERT_EQ(GetPixel(*dest, x, y), (Bgr{out[0], out[1], out[2]})) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Sliders, KnobRenderTest,
                         ::testing::Values(Knobs{10, -20, 30, 5, 100, -300, 0},
                                           Knobs{-255, 255, 0, -255, 1024, 2048, 0},
                                           Knobs{255, 255, 255, 255, -1024, -2048, 3},
                                           Knobs{1, 2, 3, 4, 5, 6, 4},
                                           Knobs{-7, 0, 19, 0, -512, 512, 0},
                                           Knobs{40, 0, 0, 10, 128, 256, 0},
                                           Knobs{0, 0, 0, 0, 0, 0, 0}));

// ---- the colour adjustment ------------------------------------------------

struct AdjustCase {
    const char *name;
    Bgr pixel;
    std::function<void(Args &)> set;
    Bgr want;
};

class AdjustTest : public CompositeTest, public ::testing::WithParamInterface<AdjustCase> {};

TEST_P(AdjustTest, UniformPictureComesOutAsTabled)
{
    const AdjustCase &c = GetParam();
    auto source = MakeSurface(2, 2, Uniform(c.pixel));
    auto dest = MakeSurface(2, 2, Uniform(kOld));
    Args a = Centred(*source);
    c.set(a);
    Compose(*dest, *source, a);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(GetPixel(*dest, x, y), c.want) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, AdjustTest,
    ::testing::Values(
        AdjustCase{"Intensity", {30, 60, 90}, [](Args &a) { a.Intensity = 1.0f; }, {0, 60, 120}},
        AdjustCase{"NegativeIntensityPullsToGrey", {30, 60, 90},
                   [](Args &a) { a.Intensity = -0.5f; }, {45, 60, 75}},
        AdjustCase{"RedTint", {100, 100, 100}, [](Args &a) { a.RedTint = 10; }, {90, 90, 120}},
        AdjustCase{"GreenTint", {100, 100, 100}, [](Args &a) { a.GreenTint = 10; },
                   {90, 120, 90}},
        AdjustCase{"BlueTint", {100, 100, 100}, [](Args &a) { a.BlueTint = 10; },
                   {120, 90, 90}},
        AdjustCase{"TintsAndBrightnessAdd", {100, 100, 100},
                   [](Args &a) {
                       a.RedTint = 1;
                       a.GreenTint = 2;
                       a.BlueTint = 4;
                       a.Brightness = 10;
                   },
                   {115, 109, 106}},
        AdjustCase{"Brightness", {1, 2, 3}, [](Args &a) { a.Brightness = 5; }, {6, 7, 8}},
        AdjustCase{"ContrastTruncates", {3, 3, 3}, [](Args &a) { a.Contrast = 0.5f; }, {1, 1, 1}},
        // -0.5 truncates to 0, which wraps to nothing with clamping off.
        AdjustCase{"TruncatesTowardZero", {3, 3, 3},
                   [](Args &a) {
                       a.Contrast = 0.5f;
                       a.Brightness = -2;
                       a.Clamp = 0;
                   },
                   {0, 0, 0}},
        // -1.7 truncates to -1: byte 255 unclamped, where rounding down
        // would give 254.
        AdjustCase{"NegativeTruncatesTowardZero", {10, 10, 10},
                   [](Args &a) {
                       a.Contrast = -0.17f;
                       a.Clamp = 0;
                   },
                   {255, 255, 255}},
        AdjustCase{"ContrastClamps", {100, 100, 100}, [](Args &a) { a.Contrast = 3.0f; },
                   {255, 255, 255}},
        AdjustCase{"NegativeClamps", {100, 100, 100}, [](Args &a) { a.Brightness = -120; },
                   {0, 0, 0}},
        AdjustCase{"AboveRangeWrapsUnclamped", {100, 100, 100},
                   [](Args &a) {
                       a.Brightness = 200;
                       a.Clamp = 0;
                   },
                   {44, 44, 44}},
        AdjustCase{"BelowRangeWrapsUnclamped", {100, 100, 100},
                   [](Args &a) {
                       a.Brightness = -120;
                       a.Clamp = 0;
                   },
                   {236, 236, 236}},
        AdjustCase{"NegativeContrastWithBrightness", {10, 20, 30},
                   [](Args &a) {
                       a.Contrast = -1.0f;
                       a.Brightness = 255;
                   },
                   {245, 235, 225}},
        // Blue is 1 - 2^-60: below 1 in extended precision, exactly 1 in
        // double precision.
        AdjustCase{"ExtendedPrecision", {1, 2, 3},
                   [](Args &a) { a.Intensity = std::ldexp(1.0f, -60); }, {0, 2, 3}},
        // 255 x 2^24 is 0xff000000: its low 32 bits are negative and clamp
        // to 0, while 1 x 2^24 clamps to 255.
        AdjustCase{"LowThirtyTwoBits", {255, 1, 0}, [](Args &a) { a.Contrast = 16777216.0f; },
                   {0, 255, 0}},
        // Beyond 64 bits the conversion gives 2^63, whose low 32 bits are 0.
        AdjustCase{"BeyondSixtyFourBits", {100, 100, 100}, [](Args &a) { a.Contrast = 1e30f; },
                   {0, 0, 0}},
        AdjustCase{"NotANumber", {100, 100, 100}, [](Args &a) { a.Contrast = std::nanf(""); },
                   {0, 0, 0}}),
    [](const ::testing::TestParamInfo<AdjustCase> &info) { return std::string(info.param.name); });

// ---- AlphaMode -------------------------------------------------------------

struct AlphaCase {
    int32_t alphaMode;
    int level; // 0: nothing is drawn
    bool keyed;
};

class AlphaModeTest : public CompositeTest, public ::testing::WithParamInterface<AlphaCase> {};

TEST_P(AlphaModeTest, DecodesLevelAndKey)
{
    const AlphaCase c = GetParam();
    constexpr Bgr key{10, 20, 30};
    const auto colour = [&](int x, int y) {
        if ((x == 0 && y == 0) || (x == 2 && y == 1))
            return key;
        // Near misses: one channel off the key.
        if (x == 3 && y == 0)
            return Bgr{10, 20, 31};
        if (x == 1 && y == 1)
            return Bgr{10, 21, 30};
        if (x == 3 && y == 1)
            return Bgr{11, 20, 30};
        return Bgr{200 - 40 * x, 60 * y, 10 + 50 * x};
    };
    auto source = MakeSurface(4, 2, colour);
    auto dest = MakeSurface(4, 2, Uniform({100, 100, 100}));
    Args a = Centred(*source);
    a.AlphaMode = c.alphaMode;
    Compose(*dest, *source, a);

    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const Bgr s = colour(x, y);
            Bgr want{100, 100, 100};
            if (c.level != 0 && !(c.keyed && s == key)) {
                const auto mix = [&](int n) { return ((128 - c.level) * 100 + c.level * n) / 128; };
                want = {mix(s.b), mix(s.g), mix(s.r)};
            }
            EXPECT_EQ(GetPixel(*dest, x, y), want) << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AlphaModeTest,
    ::testing::Values(AlphaCase{INT32_MIN, 0, false}, AlphaCase{-257, 0, false},
                      AlphaCase{-256, 128, false}, AlphaCase{-200, 72, false},
                      AlphaCase{-192, 64, false}, AlphaCase{-129, 1, false},
                      AlphaCase{-128, 128, false}, AlphaCase{-64, 64, false},
                      AlphaCase{-1, 1, false}, AlphaCase{0, 0, false}, AlphaCase{1, 1, true},
                      AlphaCase{64, 64, true}, AlphaCase{128, 128, true},
                      AlphaCase{129, 1, true}, AlphaCase{192, 64, true},
                      AlphaCase{256, 128, true}, AlphaCase{257, 0, false},
                      AlphaCase{INT32_MAX, 0, false}),
    [](const ::testing::TestParamInfo<AlphaCase> &info) {
        const int64_t v = info.param.alphaMode;
        return (v < 0 ? "Minus" + std::to_string(-v) : std::to_string(v));
    });

TEST_F(CompositeTest, HalfOpacityWithKeyAndClamp)
{
    // Adjusted values are clamped before the mix; pixels of the key colour,
    // the top-left one included, stay as they were.
    auto source = MakeSurface(4, 2, [](int x, int y) {
        return x == 0 || (x == 3 && y == 1) ? Bgr{50, 60, 70} : Bgr{250, 20 * x, 100};
    });
    auto dest = MakeSurface(4, 2, Uniform({9, 99, 199}));
    Args a = Centred(*source);
    a.AlphaMode = 64;
    a.Brightness = 100;
    Compose(*dest, *source, a);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool keyed = x == 0 || (x == 3 && y == 1);
            const Bgr want = keyed ? Bgr{9, 99, 199}
                                   : Bgr{(255 + 9) / 2, (20 * x + 100 + 99) / 2, (200 + 199) / 2};
            EXPECT_EQ(GetPixel(*dest, x, y), want) << x << "," << y;
        }
}

TEST_F(CompositeTest, NothingAtAllWhenScalesAndAlphaModeAreZero)
{
    // The first step returns before the source's pixel (0, 0) is read.
    auto source = MakeSurface(4, 4, Distinct);
    auto dest = MakeSurface(4, 4, Uniform(kOld));
    Args a = Centred(*source);
    a.AlphaMode = 0;
    a.ScaleX = 0.5f;
    a.ScaleY = -0.9f;
    Compose(*dest, *source, a);
    EXPECT_EQ(source->PixelCursor, nullptr);
    EXPECT_EQ(dest->RowCursor, nullptr);

    // With a scale of 1 the pixel is read before AlphaMode 0 ends the call.
    a.ScaleX = 1.0f;
    Compose(*dest, *source, a);
    EXPECT_EQ(source->PixelCursor, source->Bits);
    EXPECT_EQ(dest->RowCursor, nullptr);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(Row(*dest, y), std::vector<Bgr>(4, kOld));
}

// Values within the limits of the one-to-one path draw at scale 1.
struct PathCase {
    const char *name;
    std::function<void(Args &)> set;
};

class OneToOnePathTest : public CompositeTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(OneToOnePathTest, DrawsAtScaleOne)
{
    auto source = MakeSurface(6, 4, Distinct);
    auto dest = MakeSurface(10, 8, Uniform(kOld));
    Args a;
    a.CenterX = 5;
    a.CenterY = 4;
    GetParam().set(a);
    Compose(*dest, *source, a);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 8 && y >= 2 && y < 6;
            ASSERT_EQ(GetPixel(*dest, x, y), inside ? Distinct(x - 2, y - 2) : kOld)
                << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Limits, OneToOnePathTest,
    ::testing::Values(
        PathCase{"Neutral", [](Args &) {}},
        PathCase{"AngleAndScaleWithinLimits",
                 [](Args &a) {
                     a.Angle = 0.5f;
                     a.ScaleX = 1.9f;
                 }},
        PathCase{"NegativeAngleBelowOne", [](Args &a) { a.Angle = -0.999f; }},
        PathCase{"HalfScaleX", [](Args &a) { a.ScaleX = 0.5f; }},
        PathCase{"SmallNegativeScaleY", [](Args &a) { a.ScaleY = -0.9f; }},
        PathCase{"DriftBelowOne", [](Args &a) { a.ScaleDrift = -0.99f; }},
        PathCase{"ClampZero", [](Args &a) { a.Clamp = 0; }},
        PathCase{"ClampLarge", [](Args &a) { a.Clamp = INT32_MAX; }}),
    [](const ::testing::TestParamInfo<PathCase> &info) { return std::string(info.param.name); });

// ---- effects -----------------------------------------------------------

TEST_F(CompositeTest, NoiseGeneratorSequence)
{
    std::vector<int> values;
    for (int i = 0; i < 8; ++i)
        values.push_back(NoiseGenerator::Next());
    EXPECT_EQ(values, (std::vector<int>{0, 8, 219, 51, 69, 171, 81, 41}));
}

TEST_F(CompositeTest, NoiseStaysBelow255)
{
    for (int i = 0; i < 100000; ++i) {
        const int v = NoiseGenerator::Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 254);
    }
}

TEST_F(CompositeTest, GreyNoiseFillsAllThreeChannels)
{
    auto source = MakeSurface(4, 2, Distinct);
    auto dest = MakeSurface(4, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 1;
    Compose(*dest, *source, a);
    EXPECT_EQ(Row(*dest, 0), Greys({0, 8, 219, 51}));
    EXPECT_EQ(Row(*dest, 1), Greys({69, 171, 81, 41}));
}

TEST_F(CompositeTest, ColourNoiseDrawsBlueGreenRed)
{
    auto source = MakeSurface(4, 2, Distinct);
    auto dest = MakeSurface(4, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 2;
    Compose(*dest, *source, a);
    EXPECT_EQ(GetPixel(*dest, 0, 0), (Bgr{0, 8, 219}));
    EXPECT_EQ(GetPixel(*dest, 1, 0), (Bgr{51, 69, 171}));
    EXPECT_EQ(GetPixel(*dest, 2, 0).b, 81);
    EXPECT_EQ(GetPixel(*dest, 2, 0).g, 41);
}

TEST_F(CompositeTest, NoiseContinuesFromCallToCall)
{
    auto source = MakeSurface(2, 2, Distinct);
    auto dest = MakeSurface(2, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 1;
    Compose(*dest, *source, a);
    Compose(*dest, *source, a);
    EXPECT_EQ(Row(*dest, 0), Greys({69, 171}));
    EXPECT_EQ(Row(*dest, 1), Greys({81, 41}));
}

TEST_F(CompositeTest, KeyedPixelsDrawNoNoise)
{
    constexpr Bgr key{5, 5, 5};
    auto source = MakeSurface(4, 2, [&](int x, int y) { return y == 0 && x < 2 ? key : Distinct(x, y); });
    auto dest = MakeSurface(4, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.AlphaMode = 128;
    a.Effect = 1;
    Compose(*dest, *source, a);
    EXPECT_EQ(Row(*dest, 0), (std::vector<Bgr>{kOld, kOld, {0, 0, 0}, {8, 8, 8}}));
    EXPECT_EQ(Row(*dest, 1), Greys({219, 51, 69, 171}));
}

TEST_F(CompositeTest, NoiseIsAdjustedAfterwards)
{
    auto source = MakeSurface(2, 2, Distinct);
    auto dest = MakeSurface(2, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 1;
    a.Brightness = 10;
    Compose(*dest, *source, a);
    EXPECT_EQ(Row(*dest, 0), Greys({10, 18}));
    EXPECT_EQ(Row(*dest, 1), Greys({229, 61}));
}

struct EffectCase {
    const char *name;
    int32_t effect;
    Bgr pixel;
    std::function<void(Args &)> set;
    Bgr want;
};

class SimpleEffectTest : public CompositeTest, public ::testing::WithParamInterface<EffectCase> {};

TEST_P(SimpleEffectTest, UniformPictureComesOutAsTabled)
{
    const EffectCase &c = GetParam();
    auto source = MakeSurface(4, 2, Uniform(c.pixel));
    auto dest = MakeSurface(4, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = c.effect;
    c.set(a);
    Compose(*dest, *source, a);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(Row(*dest, y), std::vector<Bgr>(4, c.want)) << "row " << y;
}

const auto kNeutral = [](Args &) {};

INSTANTIATE_TEST_SUITE_P(
    Effects, SimpleEffectTest,
    ::testing::Values(
        EffectCase{"Invert", 3, {10, 20, 30}, kNeutral, {245, 235, 225}},
        EffectCase{"Black", 4, {10, 20, 30}, kNeutral, {0, 0, 0}},
        EffectCase{"BlackThenBrightness", 4, {10, 20, 30}, [](Args &a) { a.Brightness = 7; },
                   {7, 7, 7}},
        // The grey average is the source pixel's, before the effect: 60.
        EffectCase{"GreyIsTakenBeforeTheEffect", 3, {30, 60, 90},
                   [](Args &a) {
                       a.Intensity = 1.0f;
                       a.Clamp = 0;
                   },
                   {390 & 255, 330 & 255, 270 & 255}},
        EffectCase{"Six", 6, {10, 20, 30}, kNeutral, {10, 20, 30}},
        EffectCase{"MinusOneTwentyNine", -129, {10, 20, 30}, kNeutral, {10, 20, 30}},
        EffectCase{"Large", 1000, {10, 20, 30}, kNeutral, {10, 20, 30}},
        EffectCase{"IntMin", INT32_MIN, {10, 20, 30}, kNeutral, {10, 20, 30}},
        EffectCase{"IntMax", INT32_MAX, {10, 20, 30}, kNeutral, {10, 20, 30}}),
    [](const ::testing::TestParamInfo<EffectCase> &info) { return std::string(info.param.name); });

TEST_F(CompositeTest, NegativeTrailRunsAcrossRows)
{
    // Each row's end feeds the next row's start.
    auto source = MakeSurface(4, 4, Uniform({100, 100, 100}));
    auto dest = MakeSurface(4, 4, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 5;
    Compose(*dest, *source, a);
    EXPECT_EQ(Row(*dest, 0), Greys({127, 141, 148, 151}));
    EXPECT_EQ(Row(*dest, 1), Greys({153, 154, 154, 154}));
    EXPECT_EQ(Row(*dest, 2), Greys({154, 154, 154, 154}));
    EXPECT_EQ(Row(*dest, 3), Greys({154, 154, 154, 154}));
}

TEST_F(CompositeTest, SmearMixesWithThePreviousPixel)
{
    // The previous pixel starts as the source's (0, 0), 50 here; the crop
    // starts the drawing one column further.
    auto source = MakeSurface(6, 2, [](int x, int y) {
        static const int row[6] = {50, 0, 100, 200, 200, 7};
        const int v = y == 0 ? row[x] : 99;
        return Bgr{v, v, v};
    });
    auto dest = MakeSurface(6, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = -64;
    a.CropLeft = 1;
    a.CropBottom = 1;
    Compose(*dest, *source, a);
    std::vector<Bgr> want = Greys({0, 25, 62, 131, 165, 86});
    want[0] = kOld;
    EXPECT_EQ(Row(*dest, 0), want);
    EXPECT_EQ(Row(*dest, 1), std::vector<Bgr>(6, kOld));
}

TEST_F(CompositeTest, SmearWeighsPerChannel)
{
    // -1 keeps nearly all of the current pixel: (previous + 127 x c) >> 7.
    auto source = MakeSurface(2, 2, [](int x, int y) {
        return x == 0 && y == 0 ? Bgr{0, 128, 255} : Bgr{255, 128, 0};
    });
    auto dest = MakeSurface(2, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = -1;
    Compose(*dest, *source, a);
    EXPECT_EQ(GetPixel(*dest, 0, 0), (Bgr{0, 128, 255}));
    EXPECT_EQ(GetPixel(*dest, 1, 0), (Bgr{253, 128, 1}));
}

TEST_F(CompositeTest, FullSmearPaintsTheTopLeftColour)
{
    auto source = MakeSurface(6, 4, Distinct);
    auto dest = MakeSurface(6, 4, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = -128;
    Compose(*dest, *source, a);
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(Row(*dest, y), std::vector<Bgr>(6, Distinct(0, 0)));
}

TEST_F(CompositeTest, SmearContinuesAcrossKeyedPixels)
{
    constexpr Bgr key{10, 10, 10};
    auto source = MakeSurface(4, 2, [&](int x, int y) {
        static const int row[4] = {10, 100, 10, 200};
        return y == 0 ? Bgr{row[x], row[x], row[x]} : key;
    });
    auto dest = MakeSurface(4, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.AlphaMode = 128;
    a.Effect = -64;
    Compose(*dest, *source, a);
    EXPECT_EQ(Row(*dest, 0), (std::vector<Bgr>{kOld, {55, 55, 55}, kOld, {127, 127, 127}}));
    EXPECT_EQ(Row(*dest, 1), std::vector<Bgr>(4, kOld));
}

TEST_F(CompositeTest, PreviousPixelStartsAfreshEachCall)
{
    auto source = MakeSurface(4, 2, Distinct);
    auto first = MakeSurface(4, 2, Uniform(kOld));
    auto second = MakeSurface(4, 2, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 5;
    Compose(*first, *source, a);
    Compose(*second, *source, a);
    Compose(*second, *source, a);
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(Row(*second, y), Row(*first, y));
}

// ---- placement, crops and clipping -------------------------------------------

struct PlaceCase {
    const char *name;
    int srcW, srcH, destW, destH;
    int centerX, centerY;
    int cropL, cropT, cropR, cropB;
    // Drawn rectangle of the destination, and where the source's (0, 0)
    // lands: destination (x, y) shows source (x - left, y - top).
    int x0, y0, x1, y1;
    int left, top;
};

class PlacementTest : public CompositeTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(PlacementTest, DrawsTheClippedCroppedRectangle)
{
    const PlaceCase &c = GetParam();
    auto source = MakeSurface(c.srcW, c.srcH, Distinct);
    auto dest = MakeSurface(c.destW, c.destH, Uniform(kOld));
    Args a;
    a.CenterX = c.centerX;
    a.CenterY = c.centerY;
    a.CropLeft = c.cropL;
    a.CropTop = c.cropT;
    a.CropRight = c.cropR;
    a.CropBottom = c.cropB;
    Compose(*dest, *source, a);
    for (int y = 0; y < c.destH; ++y)
        for (int x = 0; x < c.destW; ++x) {
            const bool drawn = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
            ASSERT_EQ(GetPixel(*dest, x, y), drawn ? Distinct(x - c.left, y - c.top) : kOld)
                << "destination " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTest,
    ::testing::Values(
        PlaceCase{"CentredOnALargerDest", 4, 4, 10, 10, 5, 5, 0, 0, 0, 0, 3, 3, 7, 7, 3, 3},
        PlaceCase{"CenterXMinus10", 100, 2, 50, 2, -10, 1, 0, 0, 0, 0, 0, 0, 40, 2, -60, 0},
        PlaceCase{"ClippedRightAndBottom", 6, 4, 5, 5, 4, 4, 0, 0, 0, 0, 1, 2, 5, 5, 1, 2},
        PlaceCase{"ClippedLeftAndTop", 6, 4, 5, 5, 1, 0, 0, 0, 0, 0, 0, 0, 4, 2, -2, -2},
        PlaceCase{"SourceLargerThanDest", 20, 20, 6, 4, 3, 2, 0, 0, 0, 0, 0, 0, 6, 4, -7, -8},
        PlaceCase{"OddSourceLosesLastColumnAndRow", 5, 3, 9, 9, 4, 4, 0, 0, 0, 0, 2, 3, 6, 5, 2,
                  3},
        PlaceCase{"AllFourCrops", 8, 6, 12, 10, 6, 5, 1, 2, 3, 1, 3, 4, 7, 7, 2, 2},
        PlaceCase{"CropsAndClipping", 8, 6, 5, 4, 1, 1, 1, 1, 1, 1, 0, 0, 4, 3, -3, -2},
        PlaceCase{"CropLeftOnly", 6, 2, 6, 2, 3, 1, 2, 0, 0, 0, 2, 0, 6, 2, 0, 0},
        PlaceCase{"CropBottomOnly", 4, 6, 4, 6, 2, 3, 0, 0, 0, 4, 0, 0, 4, 2, 0, 0},
        // Crops below zero are kept to the source's own rectangle.
        PlaceCase{"NegativeCropsActAsZero", 4, 4, 10, 10, 5, 5, -3, -3, -3, -3, 3, 3, 7, 7, 3, 3},
        // Nothing left to draw.
        PlaceCase{"CropsMeet", 8, 4, 10, 10, 5, 5, 4, 0, 4, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"CropsCross", 8, 4, 10, 10, 5, 5, 6, 0, 6, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"CropsCrossVertically", 8, 4, 10, 10, 5, 5, 0, 3, 0, 3, 0, 0, 0, 0, 0, 0},
        PlaceCase{"RightOfTheDest", 4, 4, 5, 5, 7, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"BelowTheDest", 4, 4, 5, 5, 2, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"LeftOfTheDest", 4, 4, 5, 5, -2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"AboveTheDest", 4, 4, 5, 5, 2, -2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"FarAway", 4, 4, 5, 5, INT32_MAX, INT32_MIN, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"OneByOneSource", 1, 1, 5, 5, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        PlaceCase{"OnePixelHighSource", 6, 1, 8, 8, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<PlaceCase> &info) { return std::string(info.param.name); });

TEST_F(CompositeTest, CursorsStayAfterTheLastPixel)
{
    auto source = MakeSurface(6, 4, Distinct);
    auto dest = MakeSurface(10, 8, Uniform(kOld));
    Args a;
    a.CenterX = 5;
    a.CenterY = 4; // draws destination columns 2..7, rows 2..5
    Compose(*dest, *source, a);
    EXPECT_EQ(dest->RowStep, 3);
    EXPECT_EQ(dest->RowCursor, PixelAt(*dest, 8, 5));
    EXPECT_EQ(source->RowCursor, PixelAt(*source, 6, 3));
    EXPECT_EQ(source->RowStep, 3);
    EXPECT_EQ(source->PixelCursor, source->Bits);
}

TEST_F(CompositeTest, SourceIsOnlyRead)
{
    auto source = MakeSurface(5, 3, Distinct);
    auto dest = MakeSurface(5, 3, Uniform(kOld));
    Args a = Centred(*source);
    a.Effect = 3;
    a.Brightness = 40;
    Compose(*dest, *source, a);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(GetPixel(*source, x, y), Distinct(x, y));
}

TEST_F(CompositeTest, EmptySurfacesDrawNothing)
{
    auto dest = MakeSurface(4, 4, Uniform(kOld));
    for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
        TWin empty(w, h);
        Args a;
        a.CenterX = 2;
        a.CenterY = 2;
        Compose(*dest, empty, a);
        for (int y = 0; y < 4; ++y)
            EXPECT_EQ(Row(*dest, y), std::vector<Bgr>(4, kOld));
    }
    auto source = MakeSurface(4, 4, Distinct);
    TWin emptyDest(0, 0);
    Compose(emptyDest, *source, Centred(*source));
    EXPECT_EQ(emptyDest.Bits, nullptr);
}

} // namespace
