#include "imaging/FastComposite.h"

#include "imaging/FastCompositeKernels.h"
#include "imaging/NoiseGenerator.h"

#include <hwy/cache_control.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Why the integer form is exact.
//
// The fast path takes only calls at opacity level 128 without a colour key
// and with clamping on, whose Contrast and Intensity are P/512 and M/512 for
// integers P in -512..1536 and M in -2048..2048 (the knob panel's ranges:
// Contrast = K/512 + 1 with K in -1024..1024, Intensity = M/512) and whose
// tint terms t lie within +-2^20. Then, for a channel value c after the
// effect (0 to 255 for every effect) and the pixel's grey g (0 to 255):
//
// 1. The faithful value is c * P/512 + t - (g - c) * M/512 in 80-bit
//    extended precision. Every operand and partial result is a multiple of
//    2^-9 below 2^31 in magnitude (|c*P| <= 391,680, |(g-c)*M| <= 522,240,
//    512*|t| <= 2^29), so it has at most 40 significant bits, fits the 64-bit
//    mantissa, and every step is exact: the value is N/512 exactly, with the
//    integer N = c*(P + M) - g*M + 512*t, |N| < 2^30.
// 2. Truncation toward zero gives trunc(N/512), below 2^31 in magnitude, so
//    its low 32 bits are itself; the blend at level 128 with clamping stores
//    clamp(trunc(N/512), 0, 255).
// 3. For N >= 0, trunc(N/512) = N >> 9 (arithmetic shift). For N < 0 the
//    truncation gives 0 or less and the shift -1 or less; both clamp to 0.
//    So the stored byte is clamp(N >> 9, 0, 255) for every N.
// 4. The kernels form c*(P + M) + g*(-M) as one product-sum of 16-bit pairs
//    (|P + M| <= 3584 and |M| <= 2048 fit 16 bits, the 32-bit sum is exact),
//    add 512*t, shift by 9 and saturate to 16 and then 8 bits; saturating to
//    16 bits first moves no value across 0 or 255, so that is the clamp.
//
// The grey average, the effects and the noise generator are computed as
// the faithful loop computes them; see the kernels.

namespace {

std::atomic<bool> g_enabled{true};
std::atomic<int> g_threads{std::thread::hardware_concurrency() >= 2 ? 2 : 1};

constexpr int32_t kMaxTint = 1 << 20;

bool ExactIntegerForm(const CompositeCall &c, fastcomposite::Adjustment &adj)
{
    if (c.keyed || c.level != 128 || c.Clamp < 1)
        return false;
    // float to double and the product with a power of two are exact.
    const double p = double(c.Contrast) * 512.0;
    const double m = double(c.Intensity) * 512.0;
    if (!(p >= -512.0 && p <= 1536.0 && m >= -2048.0 && m <= 2048.0))
        return false; // also NaN
    if (p != std::floor(p) || m != std::floor(m))
        return false;
    const TintTerms tint = MakeTintTerms(c);
    const int32_t terms[3] = {tint.blue, tint.green, tint.red};
    for (int ch = 0; ch < 3; ++ch) {
        if (terms[ch] < -kMaxTint || terms[ch] > kMaxTint)
            return false;
        adj.t512[ch] = terms[ch] * 512;
    }
    adj.a = int16_t(int32_t(p) + int32_t(m));
    adj.negM = int16_t(-int32_t(m));
    return true;
}

// Effects that depend on nothing but the pixel itself (and the noise
// sequence); the trail effects chain every pixel to the one before.
bool RowEffectOf(int32_t effect, fastcomposite::RowEffect &e)
{
    using fastcomposite::RowEffect;
    switch (effect) {
    case 1: e = RowEffect::GreyNoise; return true;
    case 2: e = RowEffect::ColourNoise; return true;
    case 3: e = RowEffect::Invert; return true;
    case 4: e = RowEffect::Black; return true;
    case 5: return false;
    default:
        if (effect >= -128 && effect <= -1)
            return false;
        e = RowEffect::None;
        return true;
    }
}

int DrawsPerPixel(fastcomposite::RowEffect e)
{
    using fastcomposite::RowEffect;
    return e == RowEffect::GreyNoise ? 1 : e == RowEffect::ColourNoise ? 3 : 0;
}

// Pictures whose written bytes would not stay in the cache anyway are
// written past it, which saves reading the destination in first.
size_t DefaultStreamThreshold()
{
    const long l3 = sysconf(_SC_LEVEL3_CACHE_SIZE);
    return l3 > 0 ? size_t(l3) / 2 : size_t(8) << 20;
}

// Below this many pixels the hand-over to the helper would cost more than
// it saves.
constexpr int64_t kDefaultSplitPixels = int64_t(1) << 16;

std::atomic<size_t> g_streamThreshold{DefaultStreamThreshold()};
std::atomic<int64_t> g_splitPixels{kDefaultSplitPixels};

// One long-lived helper thread that runs one job at a time while the
// caller does its own share.
class HelperThread {
public:
    ~HelperThread()
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    void Start(std::function<void()> job)
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable())
            thread_ = std::thread([this] { Loop(); });
        job_ = std::move(job);
        busy_ = true;
        wake_.notify_all();
    }

    void Wait()
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return !busy_; });
    }

private:
    void Loop()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return job_ || quit_; });
            if (!job_)
                return;
            std::function<void()> job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            job();
            lock.lock();
            busy_ = false;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::function<void()> job_;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};

HelperThread &Helper()
{
    static HelperThread helper;
    return helper;
}

// Only one render at a time may hand work to the helper.
std::mutex g_helperInUse;

// The previous pixel of the trail effects, carried from pixel to pixel
// along the whole picture. Each step depends on the one before, so the
// loop's speed is the latency of one step: with SSE2 the three channels
// share one register (16-bit lanes: (128 - k) * old + k * new stays below
// 2^15), one multiply, add and shift a pixel.
#if defined(__SSE2__)
// A pixel's three bytes in the low lanes. Within a row four bytes are read
// at once; the row's last pixel reads three, never past the source.
inline __m128i Pixel4(const uint8_t *s)
{
    uint32_t w;
    std::memcpy(&w, s, 4);
    return _mm_cvtsi32_si128(int32_t(w & 0xFFFFFFu));
}

inline __m128i Pixel3(const uint8_t *s)
{
    uint32_t w = 0;
    std::memcpy(&w, s, 3);
    return _mm_cvtsi32_si128(int32_t(w));
}

// Writes four bytes; the fourth is overwritten by the next pixel.
inline void Store4(uint8_t *out, __m128i v)
{
    const uint32_t w = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    std::memcpy(out, &w, 4);
}

// ((255 - c) + previous) div 2 for each channel.
inline __m128i NegativeTrailStep(__m128i p, __m128i pixel)
{
    // 255 - c as c xor 255, which the compiler cannot move onto the chain.
    const __m128i c = _mm_unpacklo_epi8(pixel, _mm_setzero_si128());
    return _mm_srli_epi16(_mm_add_epi16(_mm_xor_si128(c, _mm_set1_epi16(255)), p), 1);
}

// (keep * previous + k * c) div 128 for each channel, keep = 128 - k.
inline __m128i SmearStep(__m128i p, __m128i pixel, __m128i keep, __m128i k)
{
    const __m128i c = _mm_unpacklo_epi8(pixel, _mm_setzero_si128());
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(p, keep), _mm_mullo_epi16(c, k)), 7);
}

// Kept out of line: inlined into the caller, the register allocator spills
// the chain to memory and doubles its latency.
// The row loops stay out of line: inlined into the caller, the register
// allocator keeps the chain in memory, which doubles its latency.
[[gnu::noinline]] __m128i NegativeTrailRow(__m128i p, const uint8_t *s, uint8_t *out,
                                           int32_t width)
{
    const uint8_t *const last = s + 3 * ptrdiff_t(width - 1);
    for (; s < last; s += 3, out += 3) {
        p = NegativeTrailStep(p, Pixel4(s));
        Store4(out, p);
    }
    p = NegativeTrailStep(p, Pixel3(s));
    Store4(out, p);
    return p;
}

[[gnu::noinline]] __m128i SmearRow(__m128i p, const uint8_t *s, uint8_t *out, int32_t width,
                                   uint32_t keep, uint32_t k)
{
    const __m128i keepV = _mm_set1_epi16(int16_t(keep)), kV = _mm_set1_epi16(int16_t(k));
    const uint8_t *const last = s + 3 * ptrdiff_t(width - 1);
    for (; s < last; s += 3, out += 3) {
        p = SmearStep(p, Pixel4(s), keepV, kV);
        Store4(out, p);
    }
    p = SmearStep(p, Pixel3(s), keepV, kV);
    Store4(out, p);
    return p;
}
#endif

// The previous pixel of the trail effects, carried from pixel to pixel
// along the whole picture. Each step depends on the one before, so the
// loop's speed is the latency of one step: with SSE2 the three channels
// share one register (16-bit lanes: (128 - k) * old + k * new stays below
// 2^15), one multiply, add and shift a pixel.
class TrailState {
public:
    TrailState(int32_t b, int32_t g, int32_t r)
    {
#if defined(__SSE2__)
        prev_ = _mm_setr_epi16(int16_t(b), int16_t(g), int16_t(r), 0, 0, 0, 0, 0);
#else
        prev_[0] = uint32_t(b), prev_[1] = uint32_t(g), prev_[2] = uint32_t(r);
#endif
    }

    // Writes the effect values of a row of at least one pixel into `out`
    // (one spare byte).
    void NegativeTrail(const uint8_t *s, uint8_t *out, int32_t width)
    {
#if defined(__SSE2__)
        prev_ = NegativeTrailRow(prev_, s, out, width);
#else
        for (int32_t x = 0; x < width; ++x, s += 3, out += 3)
            for (int ch = 0; ch < 3; ++ch)
                out[ch] = uint8_t(prev_[ch] = ((255 - s[ch]) + prev_[ch]) >> 1);
#endif
    }

    void Smear(const uint8_t *s, uint8_t *out, int32_t width, uint32_t keep, uint32_t k)
    {
#if defined(__SSE2__)
        prev_ = SmearRow(prev_, s, out, width, keep, k);
#else
        for (int32_t x = 0; x < width; ++x, s += 3, out += 3)
            for (int ch = 0; ch < 3; ++ch)
                out[ch] = uint8_t(prev_[ch] = (keep * prev_[ch] + k * s[ch]) >> 7);
#endif
    }

private:
#if defined(__SSE2__)
    __m128i prev_;
#else
    uint32_t prev_[3];
#endif
};

// The trail effects: a tight scalar loop carries the previous pixel along
// the whole picture and leaves each row's effect values in a buffer, which
// the vector kernel then adjusts with the grey averages of the source row.
void TrailRows(const CompositeCall &c, const fastcomposite::Adjustment &adj,
               const uint8_t *src, ptrdiff_t srcStride, uint8_t *dst, ptrdiff_t dstStride,
               int32_t width, int32_t rows, bool stream)
{
    // One spare byte: the loop stores four bytes a pixel.
    std::vector<uint8_t> effect(size_t(width) * 3 + 1);
    const bool negativeTrail = c.Effect == 5;
    // For values 0..255 the blend at level k is ((128 - k) * old + k * new)
    // div 128, level 0 (Effect -128) included.
    const uint32_t k = negativeTrail ? 0 : uint32_t(c.Effect + 128);
    const uint32_t keep = 128 - k;

    fastcomposite::TrailJob job;
    job.effect = effect.data();
    job.width = width;
    job.stream = stream;
    job.adj = adj;
    TrailState state(c.firstB, c.firstG, c.firstR);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t *s = src + y * srcStride;
        if (negativeTrail)
            state.NegativeTrail(s, effect.data(), width);
        else
            state.Smear(s, effect.data(), width, keep, k);
        job.src = src + y * srcStride;
        job.dst = dst + y * dstStride;
        fastcomposite::AdjustTrailRow(job);
    }
    if (stream)
        hwy::FlushStream();
}

} // namespace

namespace fastcomposite {

void SetEnabled(bool on) { g_enabled = on; }
bool Enabled() { return g_enabled; }
void SetThreads(int threads) { g_threads = threads >= 2 ? 2 : 1; }
int Threads() { return g_threads; }
void SetStreamThreshold(size_t bytes) { g_streamThreshold = bytes; }
void SetSplitThreshold(int64_t pixels) { g_splitPixels = pixels; }
void ResetThresholds()
{
    g_streamThreshold = DefaultStreamThreshold();
    g_splitPixels = kDefaultSplitPixels;
}

} // namespace fastcomposite

bool CompositeUntransformedFast(TWin &dest, TWin &source, const CompositeCall &c)
{
    fastcomposite::Adjustment adj;
    if (!g_enabled || !ExactIntegerForm(c, adj))
        return false;

    Area a;
    if (!UntransformedArea(dest, source, c, a) || a.y0 >= a.y1)
        return true; // nothing drawn, no cursor moved
    const int32_t width = a.x1 > a.x0 ? a.x1 - a.x0 : 0;
    const int32_t rows = a.y1 - a.y0;
    const ptrdiff_t srcStride = source.Stride, dstStride = dest.Stride;
    const uint8_t *src = source.Bits + a.sy0 * srcStride + 3 * ptrdiff_t(a.sx0);
    uint8_t *dst = dest.Bits + a.y0 * dstStride + 3 * ptrdiff_t(a.x0);
    const bool stream = size_t(width) * 3 * size_t(rows) > g_streamThreshold;

    fastcomposite::RowEffect effect{};
    if (width == 0) {
        // Nothing drawn, but the rows were still visited.
    } else if (!RowEffectOf(c.Effect, effect)) {
        TrailRows(c, adj, src, srcStride, dst, dstStride, width, rows, stream);
    } else {
        const int draws = DrawsPerPixel(effect);
        fastcomposite::RowsJob job;
        job.src = src, job.srcStride = srcStride;
        job.dst = dst, job.dstStride = dstStride;
        job.width = width, job.rows = rows;
        job.effect = effect;
        job.seed = NoiseGenerator::Seed;
        job.stream = stream;
        job.adj = adj;

        // The rows split at any point: every row depends only on its own
        // pixels and on where the noise sequence stands, which the helper
        // jumps to.
        std::unique_lock helperLock(g_helperInUse, std::defer_lock);
        if (g_threads >= 2 && rows >= 2 && int64_t(width) * rows >= g_splitPixels &&
            helperLock.try_lock()) {
            const int32_t top = rows / 2;
            fastcomposite::RowsJob bottom = job;
            bottom.src += top * srcStride;
            bottom.dst += top * dstStride;
            bottom.rows = rows - top;
            bottom.seed = NoiseGenerator::Advance(job.seed, uint64_t(draws) * width * top);
            job.rows = top;
            Helper().Start([bottom] { fastcomposite::AdjustRows(bottom); });
            fastcomposite::AdjustRows(job);
            Helper().Wait();
        } else {
            fastcomposite::AdjustRows(job);
        }
        NoiseGenerator::Seed =
            NoiseGenerator::Advance(NoiseGenerator::Seed, uint64_t(draws) * width * rows);
    }

    // The cursors end where the faithful loop leaves them: after the last
    // pixel of the last row, with step 3.
    const int32_t lastRow = a.y1 - 1;
    dest.SeekRow(a.x0, lastRow, 3);
    source.SeekRow(a.sx0, a.sy0 + (lastRow - a.y0), 3);
    dest.RowCursor += 3 * ptrdiff_t(width);
    source.RowCursor += 3 * ptrdiff_t(width);
    return true;
}
