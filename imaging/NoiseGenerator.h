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

namespace NoiseGenerator {

// The seed `draws` steps after `seed`, in O(log draws): n steps of
// s -> a*s + c compose to s -> A*s + C, and two such maps compose to another.
// Lets a render start any part of the picture where the sequence would be.
inline uint32_t Advance(uint32_t seed, uint64_t draws)
{
    uint32_t mul = 1, add = 0;                   // the composed map so far
    uint32_t stepMul = 134775813u, stepAdd = 1u; // 2^i single steps
    while (draws != 0) {
        if (draws & 1) {
            mul *= stepMul;
            add = add * stepMul + stepAdd;
        }
        stepAdd = stepAdd * stepMul + stepAdd;
        stepMul *= stepMul;
        draws >>= 1;
    }
    return seed * mul + add;
}

} // namespace NoiseGenerator
