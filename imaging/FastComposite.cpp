#include "imaging/FastComposite.h"

#include "imaging/FastCompositeKernels.h"
#include "imaging/NoiseGenerator.h"

#include <hwy/cache_control.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
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
// 4. The portable kernel computes N in 32-bit integers and clamps N >> 9.
//    The vector kernels reach the same floor(N / 512) in 16-bit lanes from
//    two 8-bit pair product-sums; that step is proven beside them (the
//    Constants of FastCompositeKernels.cpp), and their saturating packs are
//    the clamp.
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

// Pixels of the row above over which the second trail chain finds its
// start: enough for every smear level to forget its first guess.
constexpr int32_t kDefaultTrailWarmUp = 2048;
std::atomic<int32_t> g_trailWarmUp{kDefaultTrailWarmUp};

// One long-lived helper thread that takes one job at a time. Nobody waits
// for the helper itself: a render waits only for the work the helper has
// actually taken on, so a helper that the system does not schedule soon
// costs nothing but its share.
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

    // Hands `job` to the helper; false when it is still busy with another.
    bool Offer(std::function<void()> job)
    {
        std::lock_guard lock(mutex_);
        if (busy_)
            return false;
        if (!thread_.joinable())
            thread_ = std::thread([this] { Loop(); });
        job_ = std::move(job);
        busy_ = true;
        wake_.notify_all();
        return true;
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
            job = nullptr;
            lock.lock();
            busy_ = false;
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
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

// Rows cut into chunks that the caller and the helper take in turn until
// none is left. Every row depends only on its own pixels and on where the
// noise sequence stands, which each chunk jumps to, so the result does not
// depend on who draws which chunk. Shared with the helper by ownership: a
// helper that starts late finds nothing left and touches no pixel.
class SplitRender {
public:
    SplitRender(const fastcomposite::RowsJob &job, int draws, int chunks)
        : job_(job), draws_(draws), chunks_(chunks)
    {
    }

    void Work()
    {
        for (int i; (i = next_.fetch_add(1)) < chunks_;) {
            fastcomposite::RowsJob part = job_;
            const int32_t first = int32_t(int64_t(job_.rows) * i / chunks_);
            const int32_t end = int32_t(int64_t(job_.rows) * (i + 1) / chunks_);
            part.src += first * job_.srcStride;
            part.dst += first * job_.dstStride;
            part.rows = end - first;
            part.seed = NoiseGenerator::Advance(job_.seed, uint64_t(draws_) * job_.width * first);
            fastcomposite::AdjustRows(part);
            if (finished_.fetch_add(1) + 1 == chunks_) {
                std::lock_guard lock(mutex_);
                done_.notify_all();
            }
        }
    }

    void WaitForAll()
    {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return finished_.load() == chunks_; });
    }

private:
    const fastcomposite::RowsJob job_;
    const int draws_, chunks_;
    std::atomic<int> next_{0}, finished_{0};
    std::mutex mutex_;
    std::condition_variable done_;
};

constexpr int kChunks = 16;

// The previous pixel of the trail effects, carried from pixel to pixel
// along the whole picture. Each step depends on the one before, so the
// loop's speed is the latency of one step: with SSE2 the three channels
// share one register (16-bit lanes: (128 - k) * old + k * new stays below
// 2^15), one multiply, add and shift a pixel.
// The trail effects carry the previous pixel from pixel to pixel along the
// whole picture, so each step waits for the one before: the speed is the
// latency of one step. A step keeps the three channels in one register
// (16-bit lanes: (128 - k) * old + k * new stays below 2^15): one multiply,
// add and shift for the smear, an add and a shift for the negative trail.
//
// Two chains run side by side in the same register to halve that: the top
// half of the rows from the true start, the bottom half from a guess (the
// chain run over the end of the row above it). Each chain is deterministic,
// so the bottom half is right from the first row at whose start the guess
// chain's state equals the true one. Afterwards the true chain runs on from
// the middle, redrawing rows, until it meets a row start where the states
// agree; usually that is the very first, since both chains forget their
// start within a few dozen pixels.
#if defined(__SSE2__)

// The first chain in lanes 0 to 2, the second in lanes 4 to 6.
using Chains = __m128i;

// The row's last pixel: three bytes, never past the source.
inline uint32_t Pixel3(const uint8_t *s)
{
    uint32_t w = 0;
    std::memcpy(&w, s, 3);
    return w;
}

inline Chains Widen(uint32_t first, uint32_t second)
{
    const __m128i bytes = _mm_cvtsi64_si128(int64_t(uint64_t(first) | uint64_t(second) << 32));
    return _mm_unpacklo_epi8(bytes, _mm_setzero_si128());
}

// Both chains' three bytes: the first in bits 0 to 23, the second in 32 to 55.
inline uint64_t Narrow(Chains p)
{
    return uint64_t(_mm_cvtsi128_si64(_mm_packus_epi16(p, p))) & 0x00FFFFFF00FFFFFFull;
}

struct NegativeTrailStep {
    // ((255 - c) + previous) div 2; 255 - c as c xor 255, which the
    // compiler cannot move onto the chain.
    Chains operator()(Chains p, Chains c) const
    {
        return _mm_srli_epi16(_mm_add_epi16(_mm_xor_si128(c, _mm_set1_epi16(255)), p), 1);
    }
};

struct SmearStep {
    __m128i keep, k; // (128 - k) and k in every lane

    // ((128 - k) * previous + k * c) div 128, which for values 0..255 is the
    // blend at level k, level 0 (Effect -128) included.
    Chains operator()(Chains p, Chains c) const
    {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(p, keep), _mm_mullo_epi16(c, k)), 7);
    }
};

// The row loops stay out of line: inlined into the caller, the register
// allocator keeps the chain in memory, which doubles its latency. Between
// rows a chain's state is its three bytes (Narrow), which Widen restores.

// Four bytes at `s` in the low lane: a pixel and the next one's first
// byte, which rides along in a lane that nothing reads.
inline __m128i Load4(const uint8_t *s)
{
    int32_t w;
    std::memcpy(&w, s, 4);
    return _mm_cvtsi32_si128(w);
}

inline void Store4(uint8_t *out, __m128i v)
{
    const int32_t w = _mm_cvtsi128_si32(v);
    std::memcpy(out, &w, 4);
}

// Two pixels' bytes, widened to the lanes of two chains.
inline Chains Pair(__m128i first, __m128i second)
{
    return _mm_unpacklo_epi8(_mm_unpacklo_epi32(first, second), _mm_setzero_si128());
}

// One chain along a row of at least one pixel.
template <class Step>
[[gnu::noinline]] uint32_t ChainRow(Step step, uint32_t state, const uint8_t *s, uint8_t *out,
                                    int32_t width)
{
    Chains p = Widen(state, 0);
    const ptrdiff_t last = 3 * ptrdiff_t(width - 1);
    for (ptrdiff_t i = 0; i < last; i += 3) {
        p = step(p, Pair(Load4(s + i), _mm_setzero_si128()));
        Store4(out + i, _mm_packus_epi16(p, p));
    }
    p = step(p, Widen(Pixel3(s + last), 0));
    Store4(out + last, _mm_packus_epi16(p, p));
    return uint32_t(Narrow(p));
}

constexpr int kChains = 4;

// Four chains along four rows of the same width, two to a register.
template <class Step>
[[gnu::noinline]] void ChainRows(Step step, uint32_t (&state)[kChains],
                                 const uint8_t *const (&rows)[kChains],
                                 uint8_t *const (&outs)[kChains], int32_t width)
{
    Chains p01 = Widen(state[0], state[1]), p23 = Widen(state[2], state[3]);
    const uint8_t *const s0 = rows[0], *const s1 = rows[1], *const s2 = rows[2],
                         *const s3 = rows[3];
    uint8_t *const o0 = outs[0], *const o1 = outs[1], *const o2 = outs[2], *const o3 = outs[3];
    const ptrdiff_t last = 3 * ptrdiff_t(width - 1);
    const auto store = [&](ptrdiff_t i, __m128i both) { // bytes of the four chains in turn
        Store4(o0 + i, both);
        Store4(o1 + i, _mm_srli_si128(both, 4));
        Store4(o2 + i, _mm_srli_si128(both, 8));
        Store4(o3 + i, _mm_srli_si128(both, 12));
    };
    for (ptrdiff_t i = 0; i < last; i += 3) {
        p01 = step(p01, Pair(Load4(s0 + i), Load4(s1 + i)));
        p23 = step(p23, Pair(Load4(s2 + i), Load4(s3 + i)));
        store(i, _mm_packus_epi16(p01, p23));
    }
    p01 = step(p01, Widen(Pixel3(s0 + last), Pixel3(s1 + last)));
    p23 = step(p23, Widen(Pixel3(s2 + last), Pixel3(s3 + last)));
    store(last, _mm_packus_epi16(p01, p23));
    const uint64_t a = Narrow(p01), b = Narrow(p23);
    state[0] = uint32_t(a), state[1] = uint32_t(a >> 32);
    state[2] = uint32_t(b), state[3] = uint32_t(b >> 32);
}

template <class Step>
void TrailRowsWith(Step step, const CompositeCall &c, const fastcomposite::Adjustment &adj,
                   const uint8_t *src, ptrdiff_t srcStride, uint8_t *dst, ptrdiff_t dstStride,
                   int32_t width, int32_t rows, bool stream)
{
    // One spare byte each: the loops store four bytes a pixel.
    const size_t rowBytes = size_t(width) * 3 + 1;
    std::vector<uint8_t> buffers(kChains * rowBytes);
    uint8_t *const outs[kChains] = {buffers.data(), buffers.data() + rowBytes,
                                    buffers.data() + 2 * rowBytes, buffers.data() + 3 * rowBytes};
    fastcomposite::TrailJob job;
    job.width = width;
    job.stream = stream;
    job.adj = adj;
    const auto adjust = [&](int32_t y, const uint8_t *effect) {
        job.src = src + y * srcStride;
        job.effect = effect;
        job.dst = dst + y * dstStride;
        fastcomposite::AdjustTrailRow(job);
    };
    const auto row = [&](int32_t y) { return src + y * srcStride; };

    uint32_t truth = uint32_t(c.firstB) | uint32_t(c.firstG) << 8 | uint32_t(c.firstR) << 16;
    if (rows < kChains || int64_t(width) * rows < g_splitPixels) {
        for (int32_t y = 0; y < rows; ++y) {
            truth = ChainRow(step, truth, row(y), outs[0], width);
            adjust(y, outs[0]);
        }
        return;
    }

    // Segment i of the rows starts at row first[i]. The chains of all but
    // the first start from a guess: the chain over the end of the row above,
    // started from its first pixel's own colour.
    int32_t first[kChains + 1];
    for (int i = 0; i <= kChains; ++i)
        first[i] = int32_t(int64_t(rows) * i / kChains);
    const int32_t warm = std::min(width, std::max<int32_t>(0, g_trailWarmUp));
    uint32_t state[kChains] = {truth, 0, 0, 0};
    for (int i = 1; i < kChains; ++i)
        if (warm != 0) {
            const uint8_t *from = row(first[i] - 1) + 3 * ptrdiff_t(width - warm);
            state[i] = ChainRow(step, Pixel3(from), from, outs[i], warm);
        }

    // Each chain's state at the start of each row of its segment.
    std::vector<uint32_t> starts(static_cast<size_t>(rows));
    const int32_t shortest = rows / kChains;
    for (int32_t t = 0; t < shortest; ++t) {
        const uint8_t *const in[kChains] = {row(first[0] + t), row(first[1] + t),
                                            row(first[2] + t), row(first[3] + t)};
        for (int i = 0; i < kChains; ++i)
            starts[size_t(first[i] + t)] = state[i];
        ChainRows(step, state, in, outs, width);
        for (int i = 0; i < kChains; ++i)
            adjust(first[i] + t, outs[i]);
    }
    for (int i = 0; i < kChains; ++i) // longer segments have one more row
        for (int32_t y = first[i] + shortest; y < first[i + 1]; ++y) {
            starts[size_t(y)] = state[i];
            state[i] = ChainRow(step, state[i], row(y), outs[i], width);
            adjust(y, outs[i]);
        }

    // The true chain, segment by segment: it runs on, redrawing rows, until
    // it meets the segment's own chain at a row start; from there on that
    // chain was right, and its end state is the true one.
    truth = state[0];
    for (int i = 1; i < kChains; ++i) {
        int32_t y = first[i];
        for (; y < first[i + 1] && truth != starts[size_t(y)]; ++y) {
            truth = ChainRow(step, truth, row(y), outs[0], width);
            adjust(y, outs[0]);
        }
        if (y < first[i + 1])
            truth = state[i];
    }
}

#endif

// Runs the effect chain over the rows and adjusts them through the vector
// kernel, with the grey averages of the source rows.
void TrailRows(const CompositeCall &c, const fastcomposite::Adjustment &adj,
               const uint8_t *src, ptrdiff_t srcStride, uint8_t *dst, ptrdiff_t dstStride,
               int32_t width, int32_t rows, bool stream)
{
    const bool negativeTrail = c.Effect == 5;
    const uint32_t k = negativeTrail ? 0 : uint32_t(c.Effect + 128);
#if defined(__SSE2__)
    if (negativeTrail)
        TrailRowsWith(NegativeTrailStep{}, c, adj, src, srcStride, dst, dstStride, width, rows,
                      stream);
    else
        TrailRowsWith(SmearStep{_mm_set1_epi16(int16_t(128 - k)), _mm_set1_epi16(int16_t(k))}, c,
                      adj, src, srcStride, dst, dstStride, width, rows, stream);
#else
    std::vector<uint8_t> effect(size_t(width) * 3);
    uint32_t prev[3] = {uint32_t(c.firstB), uint32_t(c.firstG), uint32_t(c.firstR)};
    fastcomposite::TrailJob job;
    job.effect = effect.data();
    job.width = width;
    job.stream = stream;
    job.adj = adj;
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t *s = src + y * srcStride;
        for (int32_t x = 0; x < width; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const uint32_t v = s[3 * x + ch];
                prev[ch] = negativeTrail ? ((255 - v) + prev[ch]) >> 1
                                         : ((128 - k) * prev[ch] + k * v) >> 7;
                effect[3 * size_t(x) + ch] = uint8_t(prev[ch]);
            }
        job.src = s;
        job.dst = dst + y * dstStride;
        fastcomposite::AdjustTrailRow(job);
    }
#endif
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
void SetTrailWarmUp(int32_t pixels) { g_trailWarmUp = pixels; }
void ResetThresholds()
{
    g_streamThreshold = DefaultStreamThreshold();
    g_splitPixels = kDefaultSplitPixels;
    g_trailWarmUp = kDefaultTrailWarmUp;
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

        if (g_threads >= 2 && rows >= 2 && int64_t(width) * rows >= g_splitPixels) {
            const auto split = std::make_shared<SplitRender>(job, draws, std::min(rows, kChunks));
            Helper().Offer([split] { split->Work(); });
            split->Work();
            split->WaitForAll();
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
