// The knob render against the peers a user would otherwise pick: memcpy of
// the same bytes, OpenCV's cv::transform with a 3 x 4 matrix, and the
// effect-free render for each effect. Prints one table of medians and
// ratios taken in one run, the rounds of all variants interleaved so that
// the machine's drift hits them alike.
//
//   lumivane-fast-bench [--rounds N] [--renders-only | --files-only]
//                                            the table
//   lumivane-fast-bench --benchmark_...      the same variants as Google
//                                            Benchmark cases

#include "imaging/FastComposite.h"
#include "imaging/FastCompositeKernels.h"
#include "imaging/Win.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#ifdef LUMIVANE_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <fcntl.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

// Knob positions away from 0, as the knob panel passes them.
constexpr int32_t kRed = 12, kGreen = -20, kBlue = 31, kBrightness = 17;
constexpr int32_t kContrastK = 200, kIntensityM = 300;

struct Picture {
    int width, height;
    std::unique_ptr<TWin> source, working;
    std::unique_ptr<TWin> copy; // memcpy's destination, memory of the same kind

    Picture(int w, int h) : width(w), height(h)
    {
        source = std::make_unique<TWin>(w, h);
        working = std::make_unique<TWin>(w, h);
        const size_t bytes = Bytes();
        // A photograph-like picture: smooth gradients with some grain.
        std::mt19937 rng(1);
        for (int y = 0; y < h; ++y) {
            uint8_t *row = source->Bits + size_t(y) * source->Stride;
            for (int x = 0; x < w; ++x) {
                const int grain = int(rng() % 17) - 8;
                row[3 * x] = uint8_t(std::clamp(x * 255 / w + grain, 0, 255));
                row[3 * x + 1] = uint8_t(std::clamp(y * 255 / h + grain, 0, 255));
                row[3 * x + 2] = uint8_t(std::clamp((x + y) * 255 / (w + h) + grain, 0, 255));
            }
        }
        std::memset(working->Bits, 0x55, bytes);
        copy = std::make_unique<TWin>(w, h);
        std::memset(copy->Bits, 0xAA, bytes);
    }

    size_t Bytes() const { return size_t(source->Stride) * size_t(height); }

    void Render(int32_t effect, int threads)
    {
        fastcomposite::SetThreads(threads);
        working->Composite(*source, width / 2, height / 2, 0.0f, 1.0f, 1.0f, 0.0f, 0, 0, -256,
                           kBrightness, float(kContrastK) / 512 + 1, float(kIntensityM) / 512,
                           kRed, kGreen, kBlue, effect, 1, 0, 0, 0, 0);
        benchmark::ClobberMemory();
    }

    void Memcpy()
    {
        std::memcpy(copy->Bits, source->Bits, Bytes());
        benchmark::ClobberMemory();
    }

    void MemcpyTwoThreads()
    {
        const size_t half = Bytes() / 2;
        std::thread helper([&] { std::memcpy(copy->Bits + half, source->Bits + half, Bytes() - half); });
        std::memcpy(copy->Bits, source->Bits, half);
        helper.join();
        benchmark::ClobberMemory();
    }

#ifdef LUMIVANE_HAVE_OPENCV
    // The channel mix the knobs amount to, in floating point: each channel
    // c*(Contrast + Intensity) - grey*Intensity + tint term.
    void Transform()
    {
        const float contrast = float(kContrastK) / 512 + 1, intensity = float(kIntensityM) / 512;
        const float tint[3] = {float(kBrightness + 2 * kBlue - kRed - kGreen),
                               float(kBrightness + 2 * kGreen - kRed - kBlue),
                               float(kBrightness + 2 * kRed - kGreen - kBlue)};
        cv::Matx34f m;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m(i, j) = (i == j ? contrast + intensity : 0.0f) - intensity / 3;
            m(i, 3) = tint[i];
        }
        const cv::Mat src(height, width, CV_8UC3, source->Bits, size_t(source->Stride));
        cv::Mat dst(height, width, CV_8UC3, working->Bits, size_t(working->Stride));
        cv::transform(src, dst, m);
        benchmark::ClobberMemory();
    }
#endif
};

struct Variant {
    std::string name;
    std::function<void()> run;
    std::vector<double> ms;

    double Min() const { return ms.empty() ? 0.0 : *std::min_element(ms.begin(), ms.end()); }

    double Median() const
    {
        std::vector<double> v = ms;
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2]
                                              : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
};

std::vector<Variant> VariantsFor(Picture &p)
{
    std::vector<Variant> v;
    v.push_back({"memcpy, 1 thread", [&p] { p.Memcpy(); }, {}});
    v.push_back({"memcpy, 2 threads", [&p] { p.MemcpyTwoThreads(); }, {}});
    v.push_back({"knob render, 1 thread", [&p] { p.Render(0, 1); }, {}});
    v.push_back({"knob render, 2 threads", [&p] { p.Render(0, 2); }, {}});
#ifdef LUMIVANE_HAVE_OPENCV
    v.push_back({"cv::transform 3x4, 1 thread", [&p] { p.Transform(); }, {}});
#endif
    const struct {
        int32_t effect;
        const char *name;
    } effects[] = {{1, "grey noise"}, {2, "colour noise"}, {3, "invert"}, {4, "black"},
                   {5, "negative trail"}, {-64, "smear -64"}, {-1, "smear -1"}};
    for (const auto &e : effects)
        v.push_back({"effect " + std::to_string(e.effect) + " " + e.name + ", 1 thread",
                     [&p, effect = e.effect] { p.Render(effect, 1); }, {}});
    return v;
}

double TimeMs(const std::function<void()> &run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(end - start).count();
}

std::string CpuLine()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("model name", 0) == 0)
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

const Variant *Find(const std::vector<Variant> &v, const std::string &name)
{
    for (const Variant &x : v)
        if (x.name == name)
            return &x;
    return nullptr;
}

void PrintTable(int rounds)
{
    std::printf("CPU: %s, %u hardware threads; kernels on %s\n", CpuLine().c_str(),
                std::thread::hardware_concurrency(),
                hwy::TargetName(fastcomposite::ActiveTarget()));
    std::printf("median (and fastest) of %d interleaved rounds after 2 warm-up rounds; ratios "
                "of medians\n\n",
                rounds);
    std::printf("%-11s %-34s %10s %8s  %-22s %7s  %-8s %s\n", "picture", "variant", "median ms",
                "min ms", "ratio against", "ratio", "target", "holds");

    for (const auto &[w, h] : {std::pair{6000, 4000}, std::pair{1920, 1080}}) {
        Picture p(w, h);
        std::vector<Variant> variants = VariantsFor(p);
        for (int round = 0; round < rounds + 2; ++round)
            for (Variant &v : variants) {
                const double ms = TimeMs(v.run);
                if (round >= 2)
                    v.ms.push_back(ms);
            }

        const std::string size = std::to_string(w) + "x" + std::to_string(h);
        const Variant *memcpy1 = Find(variants, "memcpy, 1 thread");
        const Variant *render1 = Find(variants, "knob render, 1 thread");
        const Variant *transform = Find(variants, "cv::transform 3x4, 1 thread");
        for (const Variant &v : variants) {
            const Variant *base = nullptr;
            double limit = 0;
            if (v.name == "knob render, 1 thread")
                base = memcpy1, limit = 1.15;
            else if (v.name == "knob render, 2 threads")
                base = memcpy1, limit = 0.80;
            else if (v.name == "memcpy, 2 threads")
                base = memcpy1;
            else if (v.name == "cv::transform 3x4, 1 thread")
                base = memcpy1;
            else if (v.name.rfind("effect ", 0) == 0)
                base = render1,
                limit = v.name.find("trail") != std::string::npos ||
                                v.name.find("smear") != std::string::npos
                            ? 4.0
                            : 1.5;
            std::printf("%-11s %-34s %10.3f %8.3f", size.c_str(), v.name.c_str(), v.Median(),
                        v.Min());
            if (base) {
                const double ratio = v.Median() / base->Median();
                std::printf("  %-22s %7.3f", base->name.c_str(), ratio);
                if (limit > 0)
                    std::printf("  <= %-5.2f %s", limit, ratio <= limit ? "yes" : "NO");
            }
            std::printf("\n");
        }
        if (transform) {
            const double ratio = render1->Median() / transform->Median();
            std::printf("%-11s %-34s %10s %8s  %-22s %7.3f  <= %-5.2f %s\n", size.c_str(),
                        "knob render, 1 thread", "", "", "cv::transform, 1 thread", ratio, 0.85,
                        ratio <= 0.85 ? "yes" : "NO");
        }
        std::printf("\n");
    }
}

// Loading and saving a 24-megapixel file against a plain read and write
// of the same bytes, and the whole renderer process against cp and
// ImageMagick. Files live in the system's temporary folder, so the page
// cache serves the reads as it serves cp's.
struct Files {
    std::string dir, in, out, plain;
    std::unique_ptr<TWin> picture;
    std::vector<char> bytes;

    Files()
    {
        char pattern[] = "/tmp/lumivane-bench-XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/tmp";
        in = dir + "/in.bmp", out = dir + "/out.bmp", plain = dir + "/plain.bmp";
        Picture p(6000, 4000);
        p.source->SaveBitmapFile(in);
        std::ifstream f(in, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(f), {});
    }

    ~Files()
    {
        for (const std::string &f : {in, out, plain})
            std::remove(f.c_str());
        rmdir(dir.c_str());
    }

    // Into fresh memory, as a load reads into a fresh surface.
    void PlainRead()
    {
        const int fd = open(in.c_str(), O_RDONLY);
        std::unique_ptr<char[]> buffer(new char[bytes.size()]);
        size_t got = 0;
        for (ssize_t n; got < bytes.size() &&
                        (n = read(fd, buffer.get() + got, bytes.size() - got)) > 0;)
            got += size_t(n);
        close(fd);
        benchmark::DoNotOptimize(buffer.get());
    }

    void PlainWrite(bool sync)
    {
        const int fd = open(plain.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        size_t put = 0;
        for (ssize_t n; put < bytes.size() &&
                        (n = write(fd, bytes.data() + put, bytes.size() - put)) > 0;)
            put += size_t(n);
        if (sync)
            fsync(fd);
        close(fd);
    }

    void Load() { TWin::LoadBitmapFile(picture, in); }
    void Save()
    {
        if (!picture)
            Load();
        picture->SaveBitmapFile(out);
    }
};

std::string Quote(const std::string &s) { return "'" + s + "'"; }

void Run(const std::string &command)
{
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        std::fprintf(stderr, "failed: %s\n", command.c_str());
}

void PrintFileTable(int rounds)
{
    Files files;
    const std::string size = "6000x4000";
    std::vector<Variant> v;
    v.push_back({"plain read of the file", [&] { files.PlainRead(); }, {}});
    v.push_back({"load (TWin::LoadBitmapFile)", [&] { files.Load(); }, {}});
    v.push_back({"plain write of the bytes", [&] { files.PlainWrite(false); }, {}});
    v.push_back({"plain write + fsync", [&] { files.PlainWrite(true); }, {}});
    v.push_back({"save (SaveBitmapFile, fsync)", [&] { files.Save(); }, {}});
    v.push_back({"cp", [&] { Run("cp " + Quote(files.in) + " " + Quote(files.plain)); }, {}});
    const std::string adjust = std::string(LUMIVANE_RENDER_PATH) +
                               " adjust --red 12 --green -20 --blue 31 --brightness 17"
                               " --contrast 200 --intensity 300 " +
                               Quote(files.in) + " " + Quote(files.out);
    v.push_back({"lumivane-render adjust", [&] { Run(adjust); }, {}});
    const bool haveConvert = std::system("test -x /usr/bin/convert") == 0;
    if (haveConvert)
        v.push_back({"ImageMagick convert", [&] {
                         Run("/usr/bin/convert " + Quote(files.in) +
                             " -brightness-contrast 7x39 " + Quote(files.out));
                     },
                     {}});

    for (int round = 0; round < rounds + 1; ++round)
        for (Variant &x : v) {
            // ImageMagick takes seconds: a few rounds of it are enough.
            if (x.name == "ImageMagick convert" && round > 3)
                continue;
            const double ms = TimeMs(x.run);
            if (round >= 1)
                x.ms.push_back(ms);
        }

    const auto ratio = [&](const char *name, const char *base, double limit, bool atLeast) {
        const Variant *a = Find(v, name), *b = Find(v, base);
        if (!a || !b)
            return;
        const double r = atLeast ? b->Median() / a->Median() : a->Median() / b->Median();
        std::printf("%-11s %-34s %10s %8s  %-22s %7.3f  %s %-5.2f %s\n", size.c_str(),
                    atLeast ? "ImageMagick / adjust" : name, "", "", base, r,
                    atLeast ? ">=" : "<=", limit, (atLeast ? r >= limit : r <= limit) ? "yes" : "NO");
    };
    for (const Variant &x : v)
        std::printf("%-11s %-34s %10.3f %8.3f\n", size.c_str(), x.name.c_str(), x.Median(),
                    x.Min());
    ratio("load (TWin::LoadBitmapFile)", "plain read of the file", 2.0, false);
    ratio("save (SaveBitmapFile, fsync)", "plain write of the bytes", 2.0, false);
    ratio("save (SaveBitmapFile, fsync)", "plain write + fsync", 2.0, false);
    ratio("lumivane-render adjust", "cp", 4.0, false);
    ratio("lumivane-render adjust", "ImageMagick convert", 10.0, true);
    std::printf("\n");
}

// The same variants as Google Benchmark cases, for its own options.
void RegisterBenchmarks()
{
    static std::vector<std::unique_ptr<Picture>> pictures;
    for (const auto &[w, h] : {std::pair{6000, 4000}, std::pair{1920, 1080}}) {
        pictures.push_back(std::make_unique<Picture>(w, h));
        Picture &p = *pictures.back();
        static std::vector<std::vector<Variant>> all;
        all.push_back(VariantsFor(p));
        for (const Variant &v : all.back())
            benchmark::RegisterBenchmark(
                (std::to_string(w) + "x" + std::to_string(h) + "/" + v.name).c_str(),
                [run = v.run](benchmark::State &state) {
                    for (auto _ : state)
                        run();
                })
                ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char **argv)
{
#ifdef LUMIVANE_HAVE_OPENCV
    cv::setNumThreads(1);
#endif
    int rounds = 15;
    bool gbench = false, renders = true, fileTable = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--renders-only") == 0)
            fileTable = false;
        else if (std::strcmp(argv[i], "--files-only") == 0)
            renders = false;
        else if (std::strncmp(argv[i], "--benchmark", 11) == 0)
            gbench = true;
    }
    if (!gbench) {
        if (renders)
            PrintTable(rounds);
        if (fileTable)
            PrintFileTable(std::max(3, rounds / 2));
        return 0;
    }
    RegisterBenchmarks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
