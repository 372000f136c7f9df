#include "imaging/BlendChannel.h"

#include <bit>

int32_t BlendChannel(int32_t oldValue, int32_t newValue, int32_t level, int32_t clamp)
{
    if (clamp >= 1) {
        if (newValue < 0)
            newValue = 0;
        else if (newValue > 255)
            newValue = 255;
    }
    if (uint32_t(level) >= 128)
        return newValue;
    if (level == 0)
        return oldValue;
    // level/128 in lowest terms is p/2^s; the reduced fraction decides the
    // full 32-bit result when values lie outside the byte range.
    const int zeros = std::countr_zero(uint32_t(level));
    const int s = 7 - zeros;
    const uint32_t p = uint32_t(level) >> zeros;
    const uint32_t mixed = ((uint32_t(1) << s) - p) * uint32_t(oldValue) + p * uint32_t(newValue);
    return int32_t(mixed >> s);
}
