#pragma once
#include <cstdint>

// The program-wide noise generator of the noise effects. Its seed starts at
// 0 with the program and is never taken from the clock, so every run sees
// the same sequence (0, 8, 219, 51, 69, ...), continued from call to call.
namespace NoiseGenerator {

inline uint32_t Seed = 0;

// Advances the seed and yields a value from 0 to 254.
inline int32_t Next()
{
    Seed = Seed * 134775813u + 1u;
    return int32_t((uint64_t(Seed) * 255u) >> 32);
}

} // namespace NoiseGenerator
