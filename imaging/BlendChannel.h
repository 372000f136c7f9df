#pragma once
#include <cstdint>

// Mixes `newValue` over `oldValue` at `level` 128ths (0 keeps the old value,
// 128 takes the new one; levels outside 0..128 act as 128). A clamp flag of
// 1 or more first clamps the new value to 0..255. Mixes are rounded down,
// in wrapping unsigned arithmetic with a logical shift.
int32_t BlendChannel(int32_t oldValue, int32_t newValue, int32_t level, int32_t clamp);
