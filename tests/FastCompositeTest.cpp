// The fast one-to-one Composite against the faithful loop, byte for byte:
// pixels (padding included), both surfaces' cursors and the noise seed,
// over thousands of random calls on every CPU target the kernels dispatch
// to on this machine.

#include "imaging/CompositeCall.h"
#include "imaging/FastComposite.h"
#include "imaging/FastCompositeKernels.h"
#include "imaging/NoiseGenerator.h"
#include "imaging/Win.h"

#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Rng = std::mt19937;

int Uniform(Rng &rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

template <typename T>
T Pick(Rng &rng, std::initializer_list<T> values)
{
    return values.begin()[Uniform(rng, 0, int(values.size()) - 1)];
}

std::unique_ptr<TWin> RandomSurface(int width, int height, Rng &rng)
{
    auto win = std::make_unique<TWin>(width, height);
    // Flat areas and full-range noise both: some pictures test the clamp,
    // others the smooth trails.
    const bool flat = Uniform(rng, 0, 3) == 0;
    const uint8_t level = uint8_t(Uniform(rng, 0, 255));
    for (size_t i = 0; i < size_t(win->Stride) * size_t(height); ++i)
        win->Bits[i] = flat ? uint8_t(level + Uniform(rng, 0, 2)) : uint8_t(Uniform(rng, 0, 255));
    return win;
}

std::unique_ptr<TWin> CopyOf(const TWin &w)
{
    auto copy = std::make_unique<TWin>(w.width(), w.height());
    std::memcpy(copy->Bits, w.Bits, size_t(w.Stride) * size_t(w.height()));
    copy->RowCursor = w.RowCursor ? copy->Bits + (w.RowCursor - w.Bits) : nullptr;
    copy->RowStep = w.RowStep;
    return copy;
}

ptrdiff_t CursorOffset(const TWin &w) { return w.RowCursor ? w.RowCursor - w.Bits : -1; }

// What Composite hands its one-to-one path for the knob panel's kind of
// call (AlphaMode -256 or -128, clamping on, no key).
struct KnobCase {
    int32_t centerX, centerY;
    int32_t alphaMode = -256;
    int32_t brightness = 0, contrastK = 0, intensityM = 0;
    int32_t red = 0, green = 0, blue = 0;
    int32_t effect = 0, clamp = 1;
    int32_t crop[4] = {0, 0, 0, 0};

    CompositeCall Call(const TWin &source) const
    {
        CompositeCall c{centerX,    centerY,     0.0f,   1.0f,   1.0f,
                        0.0f,       0,           0,      alphaMode, brightness,
                        float(contrastK) / 512 + 1, float(intensityM) / 512,
                        red,        green,       blue,   effect, clamp,
                        crop[0],    crop[1],     crop[2], crop[3]};
        c.level = 128;
        c.fullScan = alphaMode == -256;
        c.firstB = source.Bits[0];
        c.firstG = source.Bits[1];
        c.firstR = source.Bits[2];
        return c;
    }

    std::string Describe() const
    {
        std::ostringstream s;
        s << "center " << centerX << "," << centerY << " alpha " << alphaMode << " brightness "
          << brightness << " K " << contrastK << " M " << intensityM << " tint " << red << ","
          << green << "," << blue << " effect " << effect << " clamp " << clamp << " crop "
          << crop[0] << "," << crop[1] << "," << crop[2] << "," << crop[3];
        return s.str();
    }
};

int32_t KnobValue(Rng &rng, int32_t limit)
{
    switch (Uniform(rng, 0, 5)) {
    case 0: return -limit;
    case 1: return limit;
    case 2: return 0;
    case 3: return Uniform(rng, -8, 8);
    default: return Uniform(rng, -limit, limit);
    }
}

int32_t RandomEffect(Rng &rng)
{
    if (Uniform(rng, 0, 2) == 0)
        return Uniform(rng, -128, -1);
    return Pick(rng, {-1000, -130, -129, -128, -127, -64, -1, 0, 0, 1, 1, 2, 2, 3, 4, 5, 5, 6, 7,
                      1000});
}

KnobCase RandomKnobs(Rng &rng, const TWin &source, const TWin &dest)
{
    KnobCase k;
    k.centerX = source.width() / 2;
    k.centerY = source.height() / 2;
    if (Uniform(rng, 0, 3) == 0) { // placed anywhere, partly outside
        k.centerX = Uniform(rng, -source.width(), dest.width() + source.width());
        k.centerY = Uniform(rng, -source.height(), dest.height() + source.height());
    }
    if (Uniform(rng, 0, 4) == 0)
        for (int &c : k.crop)
            c = Uniform(rng, 0, 5) == 0 ? Uniform(rng, 0, 200) : Uniform(rng, 0, 3);
    k.alphaMode = Pick(rng, {-256, -128});
    k.clamp = Pick(rng, {1, 1, 2, 1000});
    k.brightness = KnobValue(rng, 255);
    k.red = KnobValue(rng, 255);
    k.green = KnobValue(rng, 255);
    k.blue = KnobValue(rng, 255);
    k.contrastK = KnobValue(rng, 1024);
    k.intensityM = KnobValue(rng, 2048);
    k.effect = RandomEffect(rng);
    return k;
}

// Restores the default tuning however a test ends.
struct TuningGuard {
    ~TuningGuard()
    {
        fastcomposite::ResetThresholds();
        fastcomposite::SetThreads(2);
        fastcomposite::SetEnabled(true);
        hwy::SetSupportedTargetsForTest(0);
    }
};

// Runs `calls` knob calls one after the other on a faithful and a fast
// copy of `dest`, starting from the same noise seed, and compares after
// each. Returns false after the first difference.
bool CompareKnobCalls(TWin &source, const TWin &dest, const std::vector<KnobCase> &calls,
                      uint32_t seed, const std::string &context)
{
    auto faithful = CopyOf(dest);
    auto fast = CopyOf(dest);
    uint32_t faithfulSeed = seed, fastSeed = seed;
    for (size_t i = 0; i < calls.size(); ++i) {
        const CompositeCall call = calls[i].Call(source);
        const std::string what = context + " call " + std::to_string(i) + ": " +
                                 calls[i].Describe();

        NoiseGenerator::Seed = faithfulSeed;
        CompositeUntransformed(*faithful, source, call);
        faithfulSeed = NoiseGenerator::Seed;
        const ptrdiff_t faithfulSource = CursorOffset(source);
        const int32_t faithfulSourceStep = source.RowStep;

        NoiseGenerator::Seed = fastSeed;
        const bool taken = CompositeUntransformedFast(*fast, source, call);
        fastSeed = NoiseGenerator::Seed;

        EXPECT_TRUE(taken) << what;
        const size_t bytes = size_t(dest.Stride) * size_t(dest.height());
        if (std::memcmp(faithful->Bits, fast->Bits, bytes) != 0) {
            size_t at = 0;
            while (faithful->Bits[at] == fast->Bits[at])
                ++at;
            ADD_FAILURE() << what << "\nfirst differing byte " << at << " (row "
                          << at / size_t(dest.Stride) << ", byte " << at % size_t(dest.Stride)
                          << "): faithful " << int(faithful->Bits[at]) << ", fast "
                          << int(fast->Bits[at]);
            return false;
        }
        EXPECT_EQ(faithfulSeed, fastSeed) << what;
        EXPECT_EQ(CursorOffset(*faithful), CursorOffset(*fast)) << what;
        EXPECT_EQ(faithful->RowStep, fast->RowStep) << what;
        EXPECT_EQ(faithfulSource, CursorOffset(source)) << what;
        EXPECT_EQ(faithfulSourceStep, source.RowStep) << what;
        if (::testing::Test::HasFailure())
            return false;
    }
    return true;
}

class FastCompositeTargets : public ::testing::Test {
protected:
    TuningGuard guard;

    // Runs `body` once for each target, with that target selected.
    template <typename Body>
    void ForEachTarget(Body body)
    {
        const std::vector<int64_t> targets = fastcomposite::SupportedTargets();
        ASSERT_FALSE(targets.empty());
        for (int64_t target : targets) {
            hwy::SetSupportedTargetsForTest(target);
            hwy::GetChosenTarget().Update(hwy::SupportedTargets());
            ASSERT_EQ(fastcomposite::ActiveTarget(), target) << hwy::TargetName(target);
            SCOPED_TRACE(hwy::TargetName(target));
            body(std::string(hwy::TargetName(target)));
            if (HasFailure())
                return;
        }
    }
};

// Widths 1 to 200 end their rows in every tail length of every vector size
// (up to 64 pixels a block), with and without streaming stores (whose
// aligned part starts at a different pixel in every row), on one thread
// and split in two.
TEST_F(FastCompositeTargets, EveryWidthAndTailMatchesTheFaithfulLoop)
{
    ForEachTarget([&](const std::string &target) {
        Rng rng(1234);
        for (int width = 1; width <= 200; ++width) {
            const int height = Uniform(rng, 1, 5);
            auto source = RandomSurface(width, height, rng);
            auto dest = RandomSurface(width, height, rng);
            fastcomposite::SetStreamThreshold(width % 2 ? 0 : SIZE_MAX);
            fastcomposite::SetThreads(width % 3 ? 1 : 2);
            fastcomposite::SetSplitThreshold(1);
            fastcomposite::SetTrailWarmUp(width % 4 == 0 ? 0 : 5);
            std::vector<KnobCase> calls;
            for (int i = 0; i < 3; ++i) {
                KnobCase k = RandomKnobs(rng, *source, *dest);
                k.centerX = width / 2, k.centerY = height / 2;
                std::fill(std::begin(k.crop), std::end(k.crop), 0);
                calls.push_back(k);
            }
            if (!CompareKnobCalls(*source, *dest, calls, uint32_t(rng()),
                                  target + " width " + std::to_string(width)))
                return;
        }
    });
}

// Random sizes, placements, crops, knobs and effects, several calls in a
// row so that the noise sequence continues from one call to the next.
TEST_F(FastCompositeTargets, RandomCallsMatchTheFaithfulLoop)
{
    ForEachTarget([&](const std::string &target) {
        Rng rng(99);
        for (int round = 0; round < 400; ++round) {
            const int sw = Uniform(rng, 1, 150), sh = Uniform(rng, 1, 24);
            const bool sameSize = Uniform(rng, 0, 2) != 0;
            const int dw = sameSize ? sw : Uniform(rng, 1, 150);
            const int dh = sameSize ? sh : Uniform(rng, 1, 24);
            auto source = RandomSurface(sw, sh, rng);
            auto dest = RandomSurface(dw, dh, rng);
            fastcomposite::SetStreamThreshold(Uniform(rng, 0, 1) ? 0 : SIZE_MAX);
            fastcomposite::SetThreads(Uniform(rng, 1, 2));
            fastcomposite::SetSplitThreshold(Uniform(rng, 0, 1) ? 1 : 1 << 16);
            fastcomposite::SetTrailWarmUp(Pick(rng, {0, 0, 1, 3, 50, 2048}));
            std::vector<KnobCase> calls;
            const int count = Uniform(rng, 1, 4);
            for (int i = 0; i < count; ++i)
                calls.push_back(RandomKnobs(rng, *source, *dest));
            const uint32_t seed = Uniform(rng, 0, 3) == 0 ? 0u : uint32_t(rng());
            if (!CompareKnobCalls(*source, *dest, calls, seed,
                                  target + " round " + std::to_string(round)))
                return;
        }
    });
}

// Every combination of the knobs' extremes with every kind of effect.
TEST_F(FastCompositeTargets, KnobExtremesMatchTheFaithfulLoop)
{
    ForEachTarget([&](const std::string &target) {
        Rng rng(7);
        auto source = RandomSurface(67, 5, rng);
        auto dest = RandomSurface(67, 5, rng);
        for (int32_t effect : {0, 1, 2, 3, 4, 5, -1, -64, -127, -128, 6, -129}) {
            for (int32_t k : {-1024, 0, 1024})
                for (int32_t m : {-2048, 0, 2048})
                    // Brightness beyond the knob's range too: tint terms the
                    // vector kernels must saturate.
                    for (int32_t b : {-300000, -4100, -255, 0, 255, 4100, 300000})
                        for (int32_t tint : {-255, 255}) {
                            KnobCase knobs;
                            knobs.centerX = 33, knobs.centerY = 2;
                            knobs.brightness = b, knobs.contrastK = k, knobs.intensityM = m;
                            knobs.red = tint, knobs.green = -tint, knobs.blue = tint;
                            knobs.effect = effect;
                            if (!CompareKnobCalls(*source, *dest, {knobs}, 12345u, target))
                                return;
                        }
        }
    });
}

// A picture large enough for the default thresholds: streaming stores and
// the split over two threads, with noise continued across calls.
TEST_F(FastCompositeTargets, LargePictureWithDefaultTuningMatches)
{
    Rng rng(5);
    auto source = RandomSurface(2501, 2203, rng);
    auto dest = RandomSurface(2501, 2203, rng);
    fastcomposite::SetThreads(2);
    std::vector<KnobCase> calls;
    for (int32_t effect : {2, 1, 0, 3, 4, 5, -37}) {
        KnobCase k;
        k.centerX = 1250, k.centerY = 1101;
        k.brightness = 17, k.contrastK = -300, k.intensityM = 1900;
        k.red = -40, k.green = 3, k.blue = 90;
        k.effect = effect;
        calls.push_back(k);
    }
    CompareKnobCalls(*source, *dest, calls, 0u, "large");
}

// Calls outside the exact integer form go to the faithful loop untouched.
TEST(FastCompositeCoverage, CallsWithoutAnExactIntegerFormAreDeclined)
{
    Rng rng(3);
    auto source = RandomSurface(20, 6, rng);
    KnobCase knobs;
    knobs.centerX = 10, knobs.centerY = 3;
    const CompositeCall base = knobs.Call(*source);

    struct Case {
        const char *name;
        void (*change)(CompositeCall &);
    };
    const Case cases[] = {
        {"clamp 0", [](CompositeCall &c) { c.Clamp = 0; }},
        {"opacity 64", [](CompositeCall &c) { c.level = 64; }},
        {"colour key", [](CompositeCall &c) { c.keyed = true; }},
        {"contrast not a multiple of 1/512", [](CompositeCall &c) { c.Contrast = 1.3f; }},
        {"intensity not a multiple of 1/512", [](CompositeCall &c) { c.Intensity = 0.001f; }},
        {"contrast above 3", [](CompositeCall &c) { c.Contrast = 3.001953125f; }},
        {"contrast below -1", [](CompositeCall &c) { c.Contrast = -1.001953125f; }},
        {"intensity above 4", [](CompositeCall &c) { c.Intensity = 4.001953125f; }},
        {"intensity not a number", [](CompositeCall &c) { c.Intensity = std::nanf(""); }},
        {"tint term beyond 2^20", [](CompositeCall &c) { c.Brightness = (1 << 20) + 1; }},
        {"wrapping tint terms", [](CompositeCall &c) { c.RedTint = INT32_MAX; }},
    };
    for (const Case &tc : cases) {
        CompositeCall call = base;
        tc.change(call);
        auto dest = RandomSurface(20, 6, rng);
        auto before = CopyOf(*dest);
        const uint32_t seed = NoiseGenerator::Seed;
        EXPECT_FALSE(CompositeUntransformedFast(*dest, *source, call)) << tc.name;
        EXPECT_EQ(0, std::memcmp(dest->Bits, before->Bits, size_t(dest->Stride) * 6)) << tc.name;
        EXPECT_EQ(CursorOffset(*dest), CursorOffset(*before)) << tc.name;
        EXPECT_EQ(seed, NoiseGenerator::Seed) << tc.name;
    }
}

// Through Composite itself, with any arguments: choosing the fast path
// never changes a byte, a cursor or the noise sequence.
TEST(FastCompositeDispatch, CompositeDrawsTheSameWithAndWithoutTheFastPath)
{
    TuningGuard guard;
    fastcomposite::SetSplitThreshold(1);
    Rng rng(2024);
    for (int round = 0; round < 1500; ++round) {
        const int w = Uniform(rng, 1, 90), h = Uniform(rng, 1, 12);
        auto source = RandomSurface(w, h, rng);
        auto dest = RandomSurface(Uniform(rng, 0, 1) ? w : Uniform(rng, 1, 90),
                                  Uniform(rng, 0, 1) ? h : Uniform(rng, 1, 12), rng);
        const int32_t cx = Uniform(rng, 0, 2) ? w / 2 : Uniform(rng, -w, dest->width() + w);
        const int32_t cy = Uniform(rng, 0, 2) ? h / 2 : Uniform(rng, -h, dest->height() + h);
        const int32_t alpha = Pick(rng, {-256, -256, -128, -200, -129, -64, -1, 0, 1, 64, 128,
                                         129, 256, -257, 257});
        const float contrast = Uniform(rng, 0, 3) ? float(KnobValue(rng, 1024)) / 512 + 1
                                                  : float(Uniform(rng, -4000, 4000)) / 1000;
        const float intensity = Uniform(rng, 0, 3) ? float(KnobValue(rng, 2048)) / 512
                                                   : float(Uniform(rng, -5000, 5000)) / 1000;
        const float angle = Pick(rng, {0.0f, 0.0f, 0.0f, 0.5f, -0.9f});
        const float scaleX = Pick(rng, {1.0f, 1.0f, 1.0f, 1.9f, 0.3f});
        const int32_t clamp = Pick(rng, {1, 1, 1, 0, 2});
        const int32_t brightness = KnobValue(rng, 255), red = KnobValue(rng, 255),
                      green = KnobValue(rng, 255), blue = KnobValue(rng, 255);
        const int32_t effect = RandomEffect(rng);
        int32_t crop[4] = {0, 0, 0, 0};
        if (Uniform(rng, 0, 4) == 0)
            for (int &c : crop)
                c = Uniform(rng, 0, 6);
        fastcomposite::SetThreads(Uniform(rng, 1, 2));
        fastcomposite::SetStreamThreshold(Uniform(rng, 0, 1) ? 0 : SIZE_MAX);
        fastcomposite::SetTrailWarmUp(Uniform(rng, 0, 8));

        auto faithful = CopyOf(*dest);
        auto fast = CopyOf(*dest);
        const uint32_t seed = uint32_t(rng());
        const auto draw = [&](TWin &target, bool fastOn) {
            fastcomposite::SetEnabled(fastOn);
            NoiseGenerator::Seed = seed;
            target.Composite(*source, cx, cy, angle, scaleX, 1.0f, 0.0f, 0, 0, alpha, brightness,
                             contrast, intensity, red, green, blue, effect, clamp, crop[0],
                             crop[1], crop[2], crop[3]);
            return NoiseGenerator::Seed;
        };
        const uint32_t faithfulSeed = draw(*faithful, false);
        const ptrdiff_t faithfulSource = CursorOffset(*source);
        const uint32_t fastSeed = draw(*fast, true);
        const std::string what = "round " + std::to_string(round);
        ASSERT_EQ(0, std::memcmp(faithful->Bits, fast->Bits,
                                 size_t(dest->Stride) * size_t(dest->height())))
            << what;
        ASSERT_EQ(faithfulSeed, fastSeed) << what;
        ASSERT_EQ(CursorOffset(*faithful), CursorOffset(*fast)) << what;
        ASSERT_EQ(faithfulSource, CursorOffset(*source)) << what;
    }
}

// The knob panel's own call, all knobs at 0: the drawn pixels are the
// source's, the odd last column and row keep their bytes.
TEST(FastCompositeDispatch, KnobsAtZeroCopyTheSource)
{
    Rng rng(11);
    auto source = RandomSurface(101, 51, rng);
    auto dest = RandomSurface(101, 51, rng);
    auto before = CopyOf(*dest);
    dest->Composite(*source, 50, 25, 0.0f, 1.0f, 1.0f, 0.0f, 0, 0, -256, 0, 1.0f, 0.0f, 0, 0, 0,
                    0, 1, 0, 0, 0, 0);
    for (int y = 0; y < 51; ++y)
        for (int x = 0; x < 101; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const size_t at = size_t(y) * dest->Stride + 3 * x + ch;
                const TWin &expected = (x < 100 && y < 50) ? *source : *before;
                ASSERT_EQ(dest->Bits[at], expected.Bits[at]) << x << "," << y;
            }
}

} // namespace
