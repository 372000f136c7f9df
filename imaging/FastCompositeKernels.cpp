// Vector kernels of the fast one-to-one Composite. Highway compiles this
// file once per CPU target (AVX-512 with and without VBMI, AVX2, SSE4, SSSE3 and a portable scalar
// fallback) and the exported functions pick the best one the CPU runs.
//
// Every kernel computes exactly what the faithful loop computes; the
// reasoning that makes the integer form exact is in FastComposite.cpp.

// Zen 4 and recent Intel cores also run the AVX-512 target with VBMI.
#ifndef HWY_WANT_AVX3_DL
#define HWY_WANT_AVX3_DL 1
#endif

// The vector kernels use x86 instructions by name; elsewhere only the
// portable fallback is built.
#if !defined(__x86_64__) && !defined(__i386__) && !defined(HWY_COMPILE_ONLY_SCALAR)
#define HWY_COMPILE_ONLY_SCALAR
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/FastCompositeKernels.cpp"
#include <hwy/foreach_target.h> // IWYU pragma: keep

#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "imaging/FastCompositeKernels.h"
#include "imaging/NoiseGenerator.h"

#include <algorithm>
#include <cstring>
#include <optional>

HWY_BEFORE_NAMESPACE();
namespace fastcomposite {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

// The portable fallback for CPUs without vector units Highway targets:
// the same integer form, one channel at a time.
HWY_INLINE uint8_t AdjustOne(uint32_t c, uint32_t grey, const Adjustment &adj, int ch)
{
    const int32_t n = int32_t(c) * adj.a + int32_t(grey) * adj.negM + adj.t512[ch];
    const int32_t v = n >> 9;
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

void AdjustRows(const RowsJob &job)
{
    uint32_t seed = job.seed;
    const auto next = [&seed] {
        seed = seed * 134775813u + 1u;
        return uint32_t((uint64_t(seed) * 255u) >> 32);
    };
    for (int32_t row = 0; row < job.rows; ++row) {
        const uint8_t *s = job.src + row * job.srcStride;
        uint8_t *d = job.dst + row * job.dstStride;
        for (int32_t x = 0; x < job.width; ++x, s += 3, d += 3) {
            uint32_t B = s[0], G = s[1], R = s[2];
            const uint32_t grey = (B + G + R) / 3;
            switch (job.effect) {
            case RowEffect::None: break;
            case RowEffect::GreyNoise: B = G = R = next(); break;
            case RowEffect::ColourNoise:
                B = next();
                G = next();
                R = next();
                break;
            case RowEffect::Invert: B = 255 - B, G = 255 - G, R = 255 - R; break;
            case RowEffect::Black: B = G = R = 0; break;
            }
            d[0] = AdjustOne(B, grey, job.adj, 0);
            d[1] = AdjustOne(G, grey, job.adj, 1);
            d[2] = AdjustOne(R, grey, job.adj, 2);
        }
    }
}

void AdjustTrailRow(const TrailJob &job)
{
    for (int32_t x = 0; x < job.width; ++x) {
        const uint8_t *s = job.src + 3 * x, *e = job.effect + 3 * x;
        const uint32_t grey = (uint32_t(s[0]) + s[1] + s[2]) / 3;
        uint8_t *d = job.dst + 3 * x;
        d[0] = AdjustOne(e[0], grey, job.adj, 0);
        d[1] = AdjustOne(e[1], grey, job.adj, 1);
        d[2] = AdjustOne(e[2], grey, job.adj, 2);
    }
}

#else

using D8 = hn::ScalableTag<uint8_t>;
using D16 = hn::Repartition<int16_t, D8>;
using DU16 = hn::Repartition<uint16_t, D8>;
using D32 = hn::Repartition<int32_t, D8>;
using DU32 = hn::Repartition<uint32_t, D8>;
using V8 = hn::Vec<D8>;
using V16 = hn::Vec<D16>;
using V32 = hn::Vec<D32>;
using VU32 = hn::Vec<DU32>;

// Upper bound of the pixels in one block (one u8 vector per channel).
constexpr size_t kMaxBlock = HWY_LANES(uint8_t);

#if HWY_TARGET == HWY_AVX3_DL
// With AVX-512 VBMI a byte permute reaches across the whole vector: each
// channel vector is two permutes of the three interleaved ones, and back.
class Interleaver {
public:
    Interleaver()
    {
        alignas(64) uint8_t a[64], b[64];
        for (int ch = 0; ch < 3; ++ch) {
            // Channel byte j is interleaved byte 3j + ch: in the first two
            // vectors below 128, else in the third.
            splitMask_[ch] = 0;
            for (int j = 0; j < 64; ++j) {
                const int at = 3 * j + ch;
                a[j] = uint8_t(at < 128 ? at : 0);
                b[j] = uint8_t(at < 128 ? 0 : at - 128);
                if (at >= 128)
                    splitMask_[ch] |= __mmask64(1) << j;
            }
            split_[ch] = _mm512_load_si512(a);
            splitLast_[ch] = _mm512_load_si512(b);
        }
        for (int v = 0; v < 3; ++v) {
            // Interleaved byte 64v + j is channel (64v + j) mod 3 of pixel
            // (64v + j) div 3: blue and green from one permute, red from the
            // other.
            joinMask_[v] = 0;
            for (int j = 0; j < 64; ++j) {
                const int at = 64 * v + j, pixel = at / 3, ch = at % 3;
                a[j] = uint8_t(ch == 1 ? 64 + pixel : pixel);
                b[j] = uint8_t(pixel);
                if (ch == 2)
                    joinMask_[v] |= __mmask64(1) << j;
            }
            join_[v] = _mm512_load_si512(a);
            joinRed_[v] = _mm512_load_si512(b);
        }
    }

    void Split(const uint8_t *HWY_RESTRICT in, V8 &b, V8 &g, V8 &r) const
    {
        const __m512i x = _mm512_loadu_si512(in), y = _mm512_loadu_si512(in + 64),
                      z = _mm512_loadu_si512(in + 128);
        b = V8{Pick(x, y, z, 0)};
        g = V8{Pick(x, y, z, 1)};
        r = V8{Pick(x, y, z, 2)};
    }

    void Join(V8 b, V8 g, V8 r, uint8_t *HWY_RESTRICT out, bool stream) const
    {
        for (int v = 0; v < 3; ++v) {
            const __m512i o = _mm512_mask_permutexvar_epi8(
                _mm512_permutex2var_epi8(b.raw, join_[v], g.raw), joinMask_[v], joinRed_[v], r.raw);
            if (stream)
                _mm512_stream_si512(reinterpret_cast<__m512i *>(out + 64 * v), o);
            else
                _mm512_storeu_si512(out + 64 * v, o);
        }
    }

private:
    HWY_INLINE __m512i Pick(__m512i x, __m512i y, __m512i z, int ch) const
    {
        return _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(x, split_[ch], y),
                                            splitMask_[ch], splitLast_[ch], z);
    }

    __m512i split_[3], splitLast_[3], join_[3], joinRed_[3];
    __mmask64 splitMask_[3], joinMask_[3];
};
#else
// Between three interleaved vectors (blue, green, red, blue, ...) and one
// vector per channel, as Highway's LoadInterleaved3 and StoreInterleaved3
// do it (the three vectors' 128-bit blocks transposed, then byte shuffles
// within blocks), with the shuffle tables built once per call instead of
// once per block.
class Interleaver {
public:
    Interleaver()
    {
        const D8 d8;
        alignas(16) uint8_t t[16];
        for (int ch = 0; ch < 3; ++ch)
            for (int v = 0; v < 3; ++v) {
                // Byte j of a channel block is byte 3j + ch of the 48 bytes
                // of three transposed blocks.
                for (int j = 0; j < 16; ++j) {
                    const int at = 3 * j + ch;
                    t[j] = uint8_t(at / 16 == v ? at % 16 : 0x80);
                }
                split[ch][v] = hn::LoadDup128(d8, t);
                // Byte j of transposed block v is channel (16v + j) mod 3 of
                // pixel (16v + j) div 3.
                for (int j = 0; j < 16; ++j) {
                    const int at = 16 * v + j;
                    t[j] = uint8_t(at % 3 == ch ? at / 3 : 0x80);
                }
                join[v][ch] = hn::LoadDup128(d8, t);
            }
    }

    void Split(const uint8_t *HWY_RESTRICT in, V8 &b, V8 &g, V8 &r) const
    {
        V8 x, y, z;
        hn::detail::LoadTransposedBlocks3(D8(), in, x, y, z);
        b = Pick(x, y, z, split[0]);
        g = Pick(x, y, z, split[1]);
        r = Pick(x, y, z, split[2]);
    }

    // Streaming stores need `out` aligned to a vector.
    void Join(V8 b, V8 g, V8 r, uint8_t *HWY_RESTRICT out, bool stream) const
    {
        const D8 d8;
        if (!stream) {
            hn::detail::StoreTransposedBlocks3(Pick(b, g, r, join[0]), Pick(b, g, r, join[1]),
                                               Pick(b, g, r, join[2]), d8, out);
            return;
        }
        const size_t N = hn::Lanes(d8);
        alignas(64) uint8_t staged[3 * kMaxBlock];
        hn::detail::StoreTransposedBlocks3(Pick(b, g, r, join[0]), Pick(b, g, r, join[1]),
                                           Pick(b, g, r, join[2]), d8, staged);
        for (size_t v = 0; v < 3; ++v)
            hn::Stream(hn::Load(d8, staged + v * N), d8, out + v * N);
    }

private:
    static HWY_INLINE V8 Pick(V8 x, V8 y, V8 z, const V8 (&table)[3])
    {
        return hn::Or3(hn::TableLookupBytesOr0(x, table[0]), hn::TableLookupBytesOr0(y, table[1]),
                       hn::TableLookupBytesOr0(z, table[2]));
    }

    V8 split[3][3]; // [channel][transposed vector]
    V8 join[3][3];  // [transposed vector][channel]
};

#endif

// The adjustment's constants as vectors.
//
// The byte is clamp(t + floor(X / 512), 0, 255) with X = c*a + g*negM (see
// Adjustment). Split a = 64*aHigh + aLow and negM = 64*mHigh + mLow with the
// low parts in 0..63 (aHigh in -40..56, mHigh in -32..32): then
// X = 64*H + L with H = c*aHigh + g*mHigh and L = c*aLow + g*mLow, each an
// 8-bit-by-8-bit pair product-sum that fits 16 bits (|H| <= 22,440,
// 0 <= L <= 32,130). Writing L = 64*(L >> 6) + r with 0 <= r < 64,
// floor(X / 512) = floor((64*Y + r) / 512) = Y >> 3 with Y = H + (L >> 6),
// because r/512 < 1/8 never carries past the next multiple of 1/8. Y >> 3
// lies within +-2,868, so a tint term beyond +-4,000 gives the same clamped
// byte as +-4,000 itself, and all of it runs in 16-bit lanes.
struct Constants {
    V8 high, low; // (aHigh, mHigh) and (aLow, mLow) byte pairs
    V16 tint[3];
    Interleaver interleave;

    explicit Constants(const Adjustment &adj)
    {
        const DU16 du16;
        const D16 d16;
        const auto pair = [&](int lo, int hi) {
            return hn::BitCast(D8(), hn::Set(du16, uint16_t(uint8_t(lo) | uint8_t(hi) << 8)));
        };
        const int a = adj.a, m = adj.negM;
        const int aHigh = a >> 6, mHigh = m >> 6; // floor
        high = pair(aHigh, mHigh);
        low = pair(a - 64 * aHigh, m - 64 * mHigh);
        for (int ch = 0; ch < 3; ++ch) {
            const int32_t t = adj.t512[ch] / 512;
            tint[ch] = hn::Set(d16, int16_t(t < -4000 ? -4000 : t > 4000 ? 4000 : t));
        }
    }
};

// x86 instructions Highway does not name: the unsigned-by-signed byte pair
// product-sum and the per-128-bit-block pack with unsigned saturation, the
// exact inverse of the per-block interleaves below.
HWY_INLINE hn::Vec128<int16_t> MulPairs(hn::Vec128<uint8_t> a, hn::Vec128<uint8_t> b)
{
    return hn::Vec128<int16_t>{_mm_maddubs_epi16(a.raw, b.raw)};
}
HWY_INLINE hn::Vec128<uint8_t> PackBlocks(hn::Vec128<int16_t> lo, hn::Vec128<int16_t> hi)
{
    return hn::Vec128<uint8_t>{_mm_packus_epi16(lo.raw, hi.raw)};
}
#if HWY_TARGET <= HWY_AVX2
HWY_INLINE hn::Vec256<int16_t> MulPairs(hn::Vec256<uint8_t> a, hn::Vec256<uint8_t> b)
{
    return hn::Vec256<int16_t>{_mm256_maddubs_epi16(a.raw, b.raw)};
}
HWY_INLINE hn::Vec256<uint8_t> PackBlocks(hn::Vec256<int16_t> lo, hn::Vec256<int16_t> hi)
{
    return hn::Vec256<uint8_t>{_mm256_packus_epi16(lo.raw, hi.raw)};
}
#endif
#if HWY_TARGET <= HWY_AVX3
HWY_INLINE hn::Vec512<int16_t> MulPairs(hn::Vec512<uint8_t> a, hn::Vec512<uint8_t> b)
{
    return hn::Vec512<int16_t>{_mm512_maddubs_epi16(a.raw, b.raw)};
}
HWY_INLINE hn::Vec512<uint8_t> PackBlocks(hn::Vec512<int16_t> lo, hn::Vec512<int16_t> hi)
{
    return hn::Vec512<uint8_t>{_mm512_packus_epi16(lo.raw, hi.raw)};
}
#endif

// Zero-extends the lower and upper halves of each 128-bit block;
// PackBlocks puts them back in place.
HWY_INLINE V16 WidenLower(V8 v)
{
    return hn::BitCast(D16(), hn::ZipLower(DU16(), v, hn::Zero(D8())));
}
HWY_INLINE V16 WidenUpper(V8 v)
{
    return hn::BitCast(D16(), hn::ZipUpper(DU16(), v, hn::Zero(D8())));
}

// (b + g + r) div 3 for sums up to 765: 43691 = (2^17 + 1) / 3, and the
// error x / (3 * 2^17) stays below the 1/3 that would change the quotient.
HWY_INLINE V16 GreyHalf(V16 b, V16 g, V16 r)
{
    const DU16 du16;
    const auto sum = hn::BitCast(du16, hn::Add(hn::Add(b, g), r));
    return hn::BitCast(D16(), hn::ShiftRight<1>(hn::MulHigh(sum, hn::Set(du16, uint16_t(43691)))));
}

HWY_INLINE V8 Grey(V8 b, V8 g, V8 r)
{
    return PackBlocks(GreyHalf(WidenLower(b), WidenLower(g), WidenLower(r)),
                      GreyHalf(WidenUpper(b), WidenUpper(g), WidenUpper(r)));
}

HWY_INLINE V16 AdjustPairs(V8 pairs, const Constants &k, V16 tint)
{
    const V16 h = MulPairs(pairs, k.high);
    const V16 l = MulPairs(pairs, k.low);
    return hn::Add(hn::ShiftRight<3>(hn::Add(h, hn::ShiftRight<6>(l))), tint);
}

// One channel of a block: the stored bytes for effect values c of pixels
// whose grey averages are `grey`.
HWY_INLINE V8 AdjustBlock(V8 c, V8 grey, const Constants &k, int ch)
{
    const D8 d8;
    return PackBlocks(AdjustPairs(hn::InterleaveLower(d8, c, grey), k, k.tint[ch]),
                      AdjustPairs(hn::InterleaveUpper(d8, c, grey), k, k.tint[ch]));
}

// Noise: each lane of the seed vectors holds the generator's state for one
// draw of the block, so a whole block of draws comes out at once and the
// sequence stays the one the scalar generator produces.
struct NoiseTables {
    int draws = 1; // per pixel: 1 grey, 3 colour
    // State after k*i + ch + 1 draws from the block's start state s is
    // mul[ch][i] * s + add[ch][i].
    alignas(64) uint32_t mul[3][kMaxBlock];
    alignas(64) uint32_t add[3][kMaxBlock];
    uint32_t blockMul = 1, blockAdd = 0; // a whole block of draws

    NoiseTables(int drawsPerPixel, size_t block) : draws(drawsPerPixel)
    {
        // Pixel i goes where NoiseBlock's per-block packs put byte i: the
        // packs take four lanes from each of the four seed vectors in turn,
        // block by block.
        const size_t lanes = block / 4;
        for (int ch = 0; ch < draws; ++ch)
            for (size_t i = 0; i < block; ++i) {
                const size_t inBlock = i % 16;
                const size_t at = inBlock / 4 * lanes + i / 16 * 4 + inBlock % 4;
                const uint64_t n = uint64_t(draws) * i + ch + 1;
                add[ch][at] = NoiseGenerator::Advance(0, n);
                mul[ch][at] = NoiseGenerator::Advance(1, n) - add[ch][at];
            }
        const uint64_t n = uint64_t(draws) * block;
        blockAdd = NoiseGenerator::Advance(0, n);
        blockMul = NoiseGenerator::Advance(1, n) - blockAdd;
    }
};

// Seed vectors of one block: [channel][quarter of the block].
struct NoiseState {
    VU32 s[3][4];
};

template <int kDraws>
HWY_INLINE void StartNoise(const NoiseTables &t, uint32_t seed, NoiseState &ns)
{
    const DU32 du32;
    const size_t L = hn::Lanes(du32);
    const VU32 s = hn::Set(du32, seed);
    // Unrolled, so that the seeds stay in registers.
#pragma GCC unroll 3
    for (int ch = 0; ch < kDraws; ++ch)
#pragma GCC unroll 4
        for (size_t q = 0; q < 4; ++q)
            ns.s[ch][q] = hn::Add(hn::Mul(hn::Load(du32, t.mul[ch] + q * L), s),
                                  hn::Load(du32, t.add[ch] + q * L));
}

template <int kDraws>
HWY_INLINE void AdvanceNoise(const NoiseTables &t, NoiseState &ns)
{
    const DU32 du32;
    const VU32 m = hn::Set(du32, t.blockMul);
    const VU32 a = hn::Set(du32, t.blockAdd);
    // Unrolled, so that the seeds stay in registers.
#pragma GCC unroll 3
    for (int ch = 0; ch < kDraws; ++ch)
#pragma GCC unroll 4
        for (size_t q = 0; q < 4; ++q)
            ns.s[ch][q] = hn::Add(hn::Mul(ns.s[ch][q], m), a);
}

// (seed * 255) div 2^32 = (seed >> 24) - borrow, where seed * 255 =
// seed * 256 - seed and the borrow is 1 when (seed << 8) mod 2^32 < seed.
HWY_INLINE V32 NoiseValues(VU32 seed)
{
    const DU32 du32;
    const VU32 high = hn::ShiftRight<24>(seed);
    const VU32 low = hn::ShiftLeft<8>(seed);
    return hn::BitCast(D32(), hn::Add(high, hn::VecFromMask(du32, hn::Lt(low, seed))));
}

// The draws of one channel of a block, as bytes in pixel order.
HWY_INLINE V8 NoiseBlock(VU32 s0, VU32 s1, VU32 s2, VU32 s3)
{
    const D16 d16;
    return PackBlocks(hn::ReorderDemote2To(d16, NoiseValues(s0), NoiseValues(s1)),
                      hn::ReorderDemote2To(d16, NoiseValues(s2), NoiseValues(s3)));
}

// Computes one block of pixels from `in` (3 * block bytes, interleaved).
template <RowEffect E>
HWY_INLINE void ComputeBlock(const uint8_t *HWY_RESTRICT in, const Constants &k, NoiseState &ns,
                             V8 &outB, V8 &outG, V8 &outR)
{
    const D8 d8;
    V8 b, g, r;
    k.interleave.Split(in, b, g, r);
    const V8 grey = Grey(b, g, r);

    if constexpr (E == RowEffect::Invert) {
        const V8 max = hn::Set(d8, uint8_t(255));
        b = hn::Xor(b, max), g = hn::Xor(g, max), r = hn::Xor(r, max);
    } else if constexpr (E == RowEffect::Black) {
        b = g = r = hn::Zero(d8);
    } else if constexpr (E == RowEffect::GreyNoise) {
        b = g = r = NoiseBlock(ns.s[0][0], ns.s[0][1], ns.s[0][2], ns.s[0][3]);
    } else if constexpr (E == RowEffect::ColourNoise) {
        b = NoiseBlock(ns.s[0][0], ns.s[0][1], ns.s[0][2], ns.s[0][3]);
        g = NoiseBlock(ns.s[1][0], ns.s[1][1], ns.s[1][2], ns.s[1][3]);
        r = NoiseBlock(ns.s[2][0], ns.s[2][1], ns.s[2][2], ns.s[2][3]);
    }

    outB = AdjustBlock(b, grey, k, 0);
    outG = AdjustBlock(g, grey, k, 1);
    outR = AdjustBlock(r, grey, k, 2);
}

// Writes a whole block; streaming stores need `out` aligned to a vector.
HWY_INLINE void StoreBlock(V8 b, V8 g, V8 r, const Constants &k, uint8_t *HWY_RESTRICT out,
                           bool stream)
{
    k.interleave.Join(b, g, r, out, stream);
}

// Pixels before `dst` reaches a vector boundary; 3 is odd, so every
// boundary is a pixel boundary after fewer than a block of pixels.
HWY_INLINE size_t HeadPixels(const uint8_t *dst, size_t N)
{
    size_t head = 0;
    while ((reinterpret_cast<uintptr_t>(dst) + 3 * head) % N != 0)
        ++head;
    return head;
}

template <RowEffect E>
void AdjustRowsT(const RowsJob &job)
{
    const D8 d8;
    const size_t N = hn::Lanes(d8);
    const Constants k(job.adj);
    constexpr int draws = E == RowEffect::ColourNoise ? 3 : E == RowEffect::GreyNoise ? 1 : 0;
    constexpr bool noisy = draws != 0;
    std::optional<NoiseTables> tables; // for the noise effects only
    if constexpr (noisy)
        tables.emplace(draws, N);
    NoiseState ns;
    uint32_t seed = job.seed;
    const size_t width = size_t(job.width);

    // Fewer than a block of pixels, through a buffer of a whole block.
    const auto partial = [&](const uint8_t *src, uint8_t *dst, size_t count) {
        alignas(64) uint8_t in[3 * kMaxBlock] = {};
        std::memcpy(in, src, 3 * count);
        if constexpr (noisy)
            StartNoise<draws>(*tables, seed, ns);
        V8 b, g, r;
        ComputeBlock<E>(in, k, ns, b, g, r);
        alignas(64) uint8_t out[3 * kMaxBlock];
        StoreBlock(b, g, r, k, out, false);
        std::memcpy(dst, out, 3 * count);
        if constexpr (noisy)
            seed = NoiseGenerator::Advance(seed, uint64_t(draws) * count);
    };

    for (int32_t row = 0; row < job.rows; ++row) {
        const uint8_t *src = job.src + row * job.srcStride;
        uint8_t *dst = job.dst + row * job.dstStride;
        size_t x = 0;
        if (job.stream) {
            const size_t head = std::min(HeadPixels(dst, N), width);
            if (head != 0)
                partial(src, dst, head);
            x = head;
        }
        const size_t blocks = (width - x) / N;
        if (blocks != 0) {
            if constexpr (noisy)
                StartNoise<draws>(*tables, seed, ns);
            for (size_t i = 0; i < blocks; ++i, x += N) {
                V8 b, g, r;
                ComputeBlock<E>(src + 3 * x, k, ns, b, g, r);
                StoreBlock(b, g, r, k, dst + 3 * x, job.stream);
                if constexpr (noisy)
                    AdvanceNoise<draws>(*tables, ns);
            }
            if constexpr (noisy)
                seed = NoiseGenerator::Advance(seed, uint64_t(draws) * N * blocks);
        }
        if (x < width)
            partial(src + 3 * x, dst + 3 * x, width - x);
    }
    if (job.stream)
        hwy::FlushStream();
}

void AdjustRows(const RowsJob &job)
{
    switch (job.effect) {
    case RowEffect::None: return AdjustRowsT<RowEffect::None>(job);
    case RowEffect::GreyNoise: return AdjustRowsT<RowEffect::GreyNoise>(job);
    case RowEffect::ColourNoise: return AdjustRowsT<RowEffect::ColourNoise>(job);
    case RowEffect::Invert: return AdjustRowsT<RowEffect::Invert>(job);
    case RowEffect::Black: return AdjustRowsT<RowEffect::Black>(job);
    }
}

HWY_INLINE void TrailBlock(const uint8_t *HWY_RESTRICT src, const uint8_t *HWY_RESTRICT effect,
                           const Constants &k, V8 &outB, V8 &outG, V8 &outR)
{
    const D8 d8;
    V8 b, g, r;
    k.interleave.Split(src, b, g, r);
    const V8 grey = Grey(b, g, r);
    k.interleave.Split(effect, b, g, r);
    outB = AdjustBlock(b, grey, k, 0);
    outG = AdjustBlock(g, grey, k, 1);
    outR = AdjustBlock(r, grey, k, 2);
}

void AdjustTrailRow(const TrailJob &job)
{
    const D8 d8;
    const size_t N = hn::Lanes(d8);
    const Constants k(job.adj);
    const size_t width = size_t(job.width);

    const auto partial = [&](size_t x, size_t count) {
        alignas(64) uint8_t src[3 * kMaxBlock] = {}, effect[3 * kMaxBlock] = {};
        std::memcpy(src, job.src + 3 * x, 3 * count);
        std::memcpy(effect, job.effect + 3 * x, 3 * count);
        V8 b, g, r;
        TrailBlock(src, effect, k, b, g, r);
        alignas(64) uint8_t out[3 * kMaxBlock];
        StoreBlock(b, g, r, k, out, false);
        std::memcpy(job.dst + 3 * x, out, 3 * count);
    };

    size_t x = 0;
    if (job.stream) {
        x = std::min(HeadPixels(job.dst, N), width);
        if (x != 0)
            partial(0, x);
    }
    for (; x + N <= width; x += N) {
        V8 b, g, r;
        TrailBlock(job.src + 3 * x, job.effect + 3 * x, k, b, g, r);
        StoreBlock(b, g, r, k, job.dst + 3 * x, job.stream);
    }
    if (x < width)
        partial(x, width - x);
    // The caller fences the streaming stores once, after the last row.
}

#endif // HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

int64_t ActiveTarget() { return HWY_TARGET; }

} // namespace HWY_NAMESPACE
} // namespace fastcomposite
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fastcomposite {

HWY_EXPORT(AdjustRows);
HWY_EXPORT(AdjustTrailRow);
HWY_EXPORT(ActiveTarget);

void AdjustRows(const RowsJob &job)
{
    HWY_DYNAMIC_DISPATCH(AdjustRows)(job);
}

void AdjustTrailRow(const TrailJob &job)
{
    HWY_DYNAMIC_DISPATCH(AdjustTrailRow)(job);
}

int64_t ActiveTarget()
{
    return HWY_DYNAMIC_DISPATCH(ActiveTarget)();
}

std::vector<int64_t> SupportedTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

} // namespace fastcomposite
#endif
