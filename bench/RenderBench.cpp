// Times the knob panel's render of a 6000 x 4000 picture against a plain
// memcpy of the same pixel bytes, in the same run, and prints how many
// memcpys one render costs. Nothing here judges the numbers.

#include "imaging/Win.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Slider positions of a typical adjustment: every colour knob moved, no
// per-pixel effect (SmoothFX at 0).
constexpr int kRed = 40, kGreen = -25, kBlue = 15, kBrightness = 10;
constexpr int kContrast = 128, kIntensity = 256, kSmoothFx = 0;

struct Pictures {
    std::unique_ptr<TWin> source;
    std::unique_ptr<TWin> working;
    size_t bytes = 0;
};

// A picture with smooth gradients and some grain, so that the adjusted
// values spread over the whole range and some clamp.
Pictures &Shared()
{
    static Pictures p = [] {
        Pictures made;
        made.source = std::make_unique<TWin>(kWidth, kHeight);
        made.working = std::make_unique<TWin>(kWidth, kHeight);
        made.bytes = size_t(made.source->Stride) * size_t(kHeight);
        uint32_t grain = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t *row = made.source->Bits + size_t(y) * size_t(made.source->Stride);
            for (int x = 0; x < kWidth; ++x) {
                grain = grain * 1664525u + 1013904223u;
                const int g = int(grain >> 28) - 8;
                row[3 * x + 0] = uint8_t(std::clamp(x * 255 / kWidth + g, 0, 255));
                row[3 * x + 1] = uint8_t(std::clamp(y * 255 / kHeight + g, 0, 255));
                row[3 * x + 2] = uint8_t(std::clamp((x + y) * 255 / (kWidth + kHeight) + g, 0, 255));
            }
        }
        // The working copy starts as the knob panel's does: the same picture.
        std::memcpy(made.working->Bits, made.source->Bits, made.bytes);
        return made;
    }();
    return p;
}

void KnobRender(benchmark::State &state)
{
    Pictures &p = Shared();
    TWin &source = *p.source;
    for (auto _ : state) {
        p.working->Composite(source, source.width() / 2, source.height() / 2, 0.0f, 1.0f, 1.0f,
                             0.0f, 0, 0, -256, kBrightness, float(kContrast) / 512.0f + 1.0f,
                             float(kIntensity) / 512.0f, kRed, kGreen, kBlue, kSmoothFx, 1, 0, 0,
                             0, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.bytes));
}

void Memcpy(benchmark::State &state)
{
    Pictures &p = Shared();
    for (auto _ : state) {
        std::memcpy(p.working->Bits, p.source->Bits, p.bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.bytes));
}

// Three repetitions each; the ratio is taken between the medians, so that
// one slow moment on a shared machine weighs less.
BENCHMARK(KnobRender)
    ->Name("KnobRender/6000x4000")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3);
BENCHMARK(Memcpy)
    ->Name("Memcpy/6000x4000")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3);

// Prints as usual and keeps each benchmark's time per iteration (the
// median when repetitions are asked for).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred)
                continue;
            const std::string family = run.run_name.function_name;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Iteration || median) {
                if (median || !medianSeen_[family]) {
                    milliseconds_[family] = run.GetAdjustedRealTime();
                    cpuMilliseconds_[family] = run.GetAdjustedCPUTime();
                }
                medianSeen_[family] = medianSeen_[family] || median;
            }
        }
    }

    void PrintRatio() const
    {
        const auto render = milliseconds_.find("KnobRender/6000x4000");
        const auto copy = milliseconds_.find("Memcpy/6000x4000");
        if (render == milliseconds_.end() || copy == milliseconds_.end() || copy->second <= 0) {
            std::printf("ratio: both benchmarks must run to give a ratio\n");
            return;
        }
        const double renderCpu = cpuMilliseconds_.at(render->first);
        const double copyCpu = cpuMilliseconds_.at(copy->first);
        std::printf("knob render %.2f ms, memcpy %.2f ms of %d x %d pixels: ratio %.1f\n",
                    render->second, copy->second, kWidth, kHeight, render->second / copy->second);
        // On a busy machine the wall clock includes waiting for a core.
        std::printf("by processor time: knob render %.2f ms, memcpy %.2f ms: ratio %.1f\n",
                    renderCpu, copyCpu, copyCpu > 0 ? renderCpu / copyCpu : 0.0);
    }

private:
    std::map<std::string, double> milliseconds_;
    std::map<std::string, double> cpuMilliseconds_;
    std::map<std::string, bool> medianSeen_;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter(isatty(fileno(stdout)) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio();
    benchmark::Shutdown();
    return 0;
}
