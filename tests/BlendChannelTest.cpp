// The channel blend: levels, clamping, rounding down, and the wrapping
// arithmetic with a logical shift when values leave the byte range.

#include "imaging/BlendChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

struct BlendCase {
    int32_t oldValue, newValue, level, clamp;
    int32_t result;
};

class BlendTableTest : public ::testing::TestWithParam<BlendCase> {};

TEST_P(BlendTableTest, GivesTheTabledResult)
{
    const BlendCase c = GetParam();
    EXPECT_EQ(BlendChannel(c.oldValue, c.newValue, c.level, c.clamp), c.result)
        << "old " << c.oldValue << " new " << c.newValue << " level " << c.level << " clamp "
        << c.clamp;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, BlendTableTest,
    ::testing::Values(
        // Levels 0 and 128.
        BlendCase{10, 200, 0, 1, 10}, BlendCase{10, 200, 128, 1, 200},
        // Clamping of the new value, never of the old one.
        BlendCase{10, 300, 128, 1, 255}, BlendCase{10, -5, 128, 1, 0},
        BlendCase{10, 300, 128, 0, 300}, BlendCase{300, 0, 0, 1, 300},
        BlendCase{-7, 0, 0, 1, -7},
        // Any flag of 1 or more clamps; 0 and below do not.
        BlendCase{10, 300, 128, 2, 255}, BlendCase{10, 300, 128, INT32_MAX, 255},
        BlendCase{10, 300, 128, -1, 300}, BlendCase{10, -5, 128, INT32_MIN, -5},
        BlendCase{0, 400, 64, 1, 127},
        // Levels out of range act as 128.
        BlendCase{10, 300, 200, 1, 255}, BlendCase{10, 300, -1, 1, 255},
        BlendCase{10, 300, -1, 0, 300}, BlendCase{10, 300, 129, 0, 300},
        BlendCase{10, 20, INT32_MIN, 0, 20}, BlendCase{10, 20, INT32_MAX, 1, 20},
        // Reduced fractions.
        BlendCase{100, 201, 64, 0, 150}, BlendCase{100, 200, 32, 1, 125},
        BlendCase{100, 200, 96, 1, 175}, BlendCase{100, 200, 16, 0, 112},
        BlendCase{100, 200, 127, 0, 199}, BlendCase{100, 200, 1, 0, 100},
        // Rounded down, no rounding constant.
        BlendCase{0, 255, 1, 0, 1}, BlendCase{255, 0, 127, 0, 1}, BlendCase{0, 255, 127, 0, 253},
        BlendCase{0, 3, 64, 0, 1}, BlendCase{0, 1, 127, 0, 0},
        // Wrapping sum and logical shift with clamping off.
        BlendCase{10, -20, 64, 0, 2147483643}, BlendCase{0, -2, 64, 0, 2147483647},
        BlendCase{0, -1, 1, 0, 33554431}, BlendCase{0, -128, 32, 0, 1073741792},
        BlendCase{0, 256, 64, 0, 128}, BlendCase{0, 512, 96, 0, 384}));

TEST(BlendChannelTest, InByteRangeEqualsTheUnreducedMixRoundedDown)
{
    for (int32_t level = 0; level <= 128; ++level)
        for (int32_t oldValue = 0; oldValue <= 255; ++oldValue)
            for (int32_t newValue = 0; newValue <= 255; newValue += 3) {
                const int32_t want = ((128 - level) * oldValue + level * newValue) / 128;
                const int32_t got = BlendChannel(oldValue, newValue, level, 0);
                ASSERT_EQ(got, want) << oldValue << " " << newValue << " " << level;
                ASSERT_GE(got, std::min(oldValue, newValue));
                ASSERT_LE(got, std::max(oldValue, newValue));
                // The clamp flag changes nothing for values in range.
                ASSERT_EQ(BlendChannel(oldValue, newValue, level, 1), got);
            }
}

TEST(BlendChannelTest, EqualValuesStayAtEveryLevel)
{
    for (int32_t level = 0; level <= 128; ++level) {
        EXPECT_EQ(BlendChannel(255, 255, level, 0), 255) << level;
        EXPECT_EQ(BlendChannel(0, 0, level, 0), 0) << level;
        EXPECT_EQ(BlendChannel(77, 77, level, 1), 77) << level;
    }
}

TEST(BlendChannelTest, ClampedValuesMixAsTheByteEnds)
{
    for (int32_t level = 0; level <= 128; ++level) {
        EXPECT_EQ(BlendChannel(100, 1000, level, 1), BlendChannel(100, 255, level, 0));
        EXPECT_EQ(BlendChannel(100, -1000, level, 1), BlendChannel(100, 0, level, 0));
    }
}

// Out of range with clamping off: whatever the reduced fraction, the low
// 25 bits match the unreduced mix shifted by 7, so the stored byte does not
// depend on the reduction.
TEST(BlendChannelTest, LowBitsMatchTheUnreducedWrappingMix)
{
    const int32_t values[] = {-300, -20, -2, -1, 0, 1, 255, 256, 300, 70000, -70000,
                              INT32_MAX, INT32_MIN, 123456789};
    for (int32_t level = 1; level <= 127; ++level)
        for (int32_t oldValue : values)
            for (int32_t newValue : values) {
                const uint32_t unreduced =
                    (uint32_t(128 - level) * uint32_t(oldValue) + uint32_t(level) * uint32_t(newValue)) >> 7;
                const uint32_t got = uint32_t(BlendChannel(oldValue, newValue, level, 0));
                ASSERT_EQ(got & 0x1ffffffu, unreduced & 0x1ffffffu)
                    << oldValue << " " << newValue << " " << level;
            }
}

} // namespace
