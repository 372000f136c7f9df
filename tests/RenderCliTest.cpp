// The headless renderer run as a program on small pictures: what it writes,
// and its exit codes for success, failed loads and saves, and usage errors.

#include "imaging/Win.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode = -1;
    std::string out, err;
};

std::string Slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the renderer with `args`, without a shell, capturing both streams.
Outcome Render(const TempDir &dir, const std::vector<std::string> &args)
{
    const std::string outName = dir.file("stdout.txt");
    const std::string errName = dir.file("stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<std::string> argv = {LUMIVANE_RENDER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> raw;
    for (std::string &a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);

    Outcome outcome;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << LUMIVANE_RENDER_PATH;
        return outcome;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = Slurp(outName);
    outcome.err = Slurp(errName);
    fs::remove(outName);
    fs::remove(errName);
    return outcome;
}

bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

void SavePicture(const std::string &name, int width, int height,
                 const std::function<Bgr(int, int)> &colour)
{
    MakeSurface(width, height, colour)->SaveBitmapFile(name);
}

std::unique_ptr<TWin> LoadPicture(const std::string &name)
{
    auto w = std::make_unique<TWin>(0, 0);
    TWin::LoadBitmapFile(w, name);
    return w;
}

void ExpectPicture(const std::string &name, int width, int height,
                   const std::function<Bgr(int, int)> &colour)
{
    auto w = LoadPicture(name);
    ASSERT_EQ(w->width(), width);
    ASSERT_EQ(w->height(), height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(GetPixel(*w, x, y), colour(x, y)) << name << " pixel " << x << "," << y;
}

std::function<Bgr(int, int)> Uniform(Bgr p)
{
    return [p](int, int) { return p; };
}

std::function<Bgr(int, int)> Grey(std::vector<int> rowMajor, int width)
{
    return [=](int x, int y) {
        const int v = rowMajor[size_t(y * width + x)];
        return Bgr{v, v, v};
    };
}

constexpr Bgr kOld{251, 252, 253};

TEST(RenderCliTest, HelpPrintsTheUsage)
{
    TempDir dir;
    const Outcome o = Render(dir, {"--help"});
    EXPECT_EQ(o.exitCode, 0);
    EXPECT_TRUE(Contains(o.out, "lumivane-render adjust")) << o.out;
    EXPECT_TRUE(Contains(o.out, "lumivane-render composite")) << o.out;
    EXPECT_TRUE(o.err.empty()) << o.err;
}

// ---- adjust --------------------------------------------------------------------

TEST(RenderCliTest, AdjustWithEveryKnobAtZeroKeepsThePicture)
{
    TempDir dir;
    SavePicture(dir.file("in.bmp"), 5, 3, Distinct);
    const Outcome o = Render(dir, {"adjust", dir.file("in.bmp"), dir.file("out.bmp")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    EXPECT_EQ(ReadFile(dir.file("out.bmp")), ReadFile(dir.file("in.bmp")));
}

TEST(RenderCliTest, AdjustLeavesTheOddColumnAndRowAsLoaded)
{
    // The working copy is a second load of the input, so what the render
    // does not reach keeps the input's pixels.
    TempDir dir;
    SavePicture(dir.file("in.bmp"), 5, 3, Distinct);
    const Outcome o =
        Render(dir, {"adjust", "--smoothfx", "3", dir.file("in.bmp"), dir.file("out.bmp")});
    ASSERT_EQ(o.exitCode, 0) << o.err;
    ExpectPicture(dir.file("out.bmp"), 5, 3, [](int x, int y) {
        const Bgr p = Distinct(x, y);
        return x < 4 && y < 2 ? Bgr{255 - p.b, 255 - p.g, 255 - p.r} : p;
    });
}

struct KnobCase {
    const char *name;
    std::vector<std::string> knobs;
    Bgr pixel, want;
};

class AdjustKnobTest : public ::testing::TestWithParam<KnobCase> {};

TEST_P(AdjustKnobTest, RendersAsTheKnobPanel)
{
    const KnobCase &c = GetParam();
    TempDir dir;
    SavePicture(dir.file("in.bmp"), 4, 2, Uniform(c.pixel));
    std::vector<std::string> args = {"adjust"};
    args.insert(args.end(), c.knobs.begin(), c.knobs.end());
    args.push_back(dir.file("in.bmp"));
    args.push_back(dir.file("out.bmp"));
    const Outcome o = Render(dir, args);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    ExpectPicture(dir.file("out.bmp"), 4, 2, Uniform(c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Knobs, AdjustKnobTest,
    ::testing::Values(
        KnobCase{"Brightness", {"--brightness", "10"}, {100, 100, 100}, {110, 110, 110}},
        KnobCase{"BrightnessClamps", {"--brightness", "-255"}, {100, 100, 100}, {0, 0, 0}},
        KnobCase{"RedTint", {"--red", "10"}, {100, 100, 100}, {90, 90, 120}},
        KnobCase{"GreenTint", {"--green", "-10"}, {100, 100, 100}, {110, 80, 110}},
        KnobCase{"BlueTint", {"--blue", "5"}, {100, 100, 100}, {110, 95, 95}},
        KnobCase{"ContrastDoubles", {"--contrast", "512"}, {100, 60, 20}, {200, 120, 40}},
        KnobCase{"ContrastHalfTruncates", {"--contrast", "256"}, {3, 5, 7}, {4, 7, 10}},
        KnobCase{"ContrastZero", {"--contrast", "-512"}, {100, 60, 20}, {0, 0, 0}},
        KnobCase{"ContrastNegative", {"--contrast", "-1024", "--brightness", "255"},
                 {10, 20, 30}, {245, 235, 225}},
        KnobCase{"Intensity", {"--intensity", "512"}, {30, 60, 90}, {0, 60, 120}},
        KnobCase{"IntensityLowest", {"--intensity", "-2048"}, {30, 60, 90}, {150, 60, 0}},
        KnobCase{"Invert", {"--smoothfx", "3"}, {10, 20, 30}, {245, 235, 225}},
        KnobCase{"Black", {"--smoothfx", "4", "--brightness", "7"}, {10, 20, 30}, {7, 7, 7}},
        KnobCase{"FullSmearOfAUniformPicture", {"--smoothfx", "-128"}, {10, 20, 30},
                 {10, 20, 30}},
        KnobCase{"AllSeven",
                 {"--red", "3", "--green", "-4", "--blue", "5", "--brightness", "6", "--contrast",
                  "512", "--intensity", "256", "--smoothfx", "0"},
                 {30, 60, 90},
                 // blue: 30 x 2 + (6 + 10 - 3 + 4) - (60 - 30) x 0.5 = 62
                 {62, 110, 206}}),
    [](const ::testing::TestParamInfo<KnobCase> &info) { return std::string(info.param.name); });

TEST(RenderCliTest, AdjustNoiseStartsAtTheSameSeedInEveryRun)
{
    TempDir dir;
    SavePicture(dir.file("in.bmp"), 4, 2, Distinct);
    for (const char *out : {"a.bmp", "b.bmp"}) {
        const Outcome o =
            Render(dir, {"adjust", "--smoothfx", "1", dir.file("in.bmp"), dir.file(out)});
        ASSERT_EQ(o.exitCode, 0) << o.err;
        ExpectPicture(dir.file(out), 4, 2, Grey({0, 8, 219, 51, 69, 171, 81, 41}, 4));
    }
}

// ---- composite -----------------------------------------------------------------

struct CompositeCase {
    const char *name;
    int srcW, srcH, destW, destH;
    std::vector<std::string> options;
    std::function<Bgr(int, int)> want; // destination after the run
};

// Source pixels are Distinct(x, y); the destination starts as kOld.
Bgr SourceAt(int x, int y) { return Distinct(x, y); }

class CompositeCliTest : public ::testing::TestWithParam<CompositeCase> {};

TEST_P(CompositeCliTest, DrawsTheSourceOntoTheDestination)
{
    const CompositeCase &c = GetParam();
    TempDir dir;
    SavePicture(dir.file("dest.bmp"), c.destW, c.destH, Uniform(kOld));
    SavePicture(dir.file("src.bmp"), c.srcW, c.srcH, SourceAt);
    std::vector<std::string> args = {"composite", "--dest", dir.file("dest.bmp"), "--source",
                                     dir.file("src.bmp"), "--out", dir.file("out.bmp")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome o = Render(dir, args);
    ASSERT_EQ(o.exitCode, 0) << o.err;
    ExpectPicture(dir.file("out.bmp"), c.destW, c.destH, c.want);
    // The inputs are only read.
    ExpectPicture(dir.file("dest.bmp"), c.destW, c.destH, Uniform(kOld));
}

std::function<Bgr(int, int)> Placed(int left, int top, int x0, int y0, int x1, int y1)
{
    return [=](int x, int y) {
        return x >= x0 && x < x1 && y >= y0 && y < y1 ? SourceAt(x - left, y - top) : kOld;
    };
}

INSTANTIATE_TEST_SUITE_P(
    Options, CompositeCliTest,
    ::testing::Values(
        // Default centre: the source's own centre, so it lands at (0, 0).
        CompositeCase{"Defaults", 4, 2, 6, 4, {}, Placed(0, 0, 0, 0, 4, 2)},
        CompositeCase{"Center", 4, 2, 6, 4, {"--center", "4,2"}, Placed(2, 1, 2, 1, 6, 3)},
        CompositeCase{"NegativeCenterClips", 4, 4, 6, 4, {"--center", "-1,1"},
                      Placed(-3, -1, 0, 0, 1, 3)},
        CompositeCase{"Crop", 6, 4, 6, 4, {"--crop", "1,1,2,0"}, Placed(0, 0, 1, 1, 4, 4)},
        CompositeCase{"RepeatZeroDrawsNothing", 4, 2, 6, 4, {"--repeat", "0"}, Uniform(kOld)},
        CompositeCase{"AlphaModeOutOfRange", 4, 2, 6, 4, {"--alpha-mode", "257"}, Uniform(kOld)},
        CompositeCase{"ScaleAndAngleWithinLimits", 4, 2, 6, 4,
                      {"--scale", "1.9,1", "--angle", "0.5", "--drift", "0.25"},
                      Placed(0, 0, 0, 0, 4, 2)},
        CompositeCase{"FullSmear", 4, 2, 4, 2, {"--effect", "-128"}, Uniform(Distinct(0, 0))},
        CompositeCase{"Brightness", 2, 2, 2, 2, {"--brightness", "-300"}, Uniform({0, 0, 0})},
        CompositeCase{"BrightnessUnclamped", 2, 2, 2, 2, {"--brightness", "256", "--clamp", "0"},
                      SourceAt},
        CompositeCase{"Tint", 2, 2, 2, 2, {"--tint", "0,0,1", "--brightness", "1"},
                      [](int x, int y) {
                          const Bgr p = SourceAt(x, y);
                          return Bgr{p.b + 3, p.g, p.r};
                      }},
        CompositeCase{"RealContrast", 2, 2, 2, 2, {"--contrast", "0.5"},
                      [](int x, int y) {
                          const Bgr p = SourceAt(x, y);
                          return Bgr{p.b / 2, p.g / 2, p.r / 2};
                      }},
        CompositeCase{"RealIntensity", 2, 2, 2, 2, {"--intensity", "-1"},
                      [](int x, int y) {
                          const Bgr p = SourceAt(x, y);
                          const int g = (p.b + p.g + p.r) / 3;
                          return Bgr{g, g, g};
                      }},
        // The noise continues from call to call within one run.
        CompositeCase{"RepeatContinuesTheNoise", 2, 2, 2, 2, {"--effect", "1", "--repeat", "2"},
                      Grey({69, 171, 81, 41}, 2)},
        // Half opacity over kOld, with the key colour of the source's (0, 0).
        CompositeCase{"AlphaModeKeyed", 2, 2, 2, 2, {"--alpha-mode", "64"},
                      [](int x, int y) {
                          if (x == 0 && y == 0)
                              return kOld;
                          const Bgr p = SourceAt(x, y);
                          return Bgr{(p.b + kOld.b) / 2, (p.g + kOld.g) / 2, (p.r + kOld.r) / 2};
                      }}),
    [](const ::testing::TestParamInfo<CompositeCase> &info) { return std::string(info.param.name); });

// ---- failures --------------------------------------------------------------------

struct FailCase {
    const char *name;
    // {IN}: a valid picture, {BAD}: not a bitmap, {SHORT}: cut short,
    // {MISSING}: no such file, {OUT}: the output, {NOFOLDER}: an output in a
    // missing folder, {DIR}: a folder.
    std::vector<std::string> args;
    int exitCode;
    std::string message; // must appear on stderr, names replaced as in args
};

class FailureTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(FailureTest, ExitsWithItsCodeAndWritesNothing)
{
    const FailCase &c = GetParam();
    TempDir dir;
    SavePicture(dir.file("in.bmp"), 4, 2, Distinct);
    WriteFile(dir.file("bad.bmp"), {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    std::vector<uint8_t> cut = ReadFile(dir.file("in.bmp"));
    cut.resize(10);
    WriteFile(dir.file("short.bmp"), cut);
    fs::create_directory(dir.file("folder"));
    const auto before = ListFolder(dir.path());

    const auto substitute = [&](std::string s) {
        const std::pair<std::string, std::string> names[] = {
            {"{NOFOLDER}", dir.file("missing/out.bmp")}, {"{MISSING}", dir.file("missing.bmp")},
            {"{SHORT}", dir.file("short.bmp")},          {"{BAD}", dir.file("bad.bmp")},
            {"{OUT}", dir.file("out.bmp")},              {"{DIR}", dir.file("folder")},
            {"{IN}", dir.file("in.bmp")}};
        for (const auto &[key, value] : names)
            for (size_t at = 0; (at = s.find(key, at)) != std::string::npos; at += value.size())
                s.replace(at, key.size(), value);
        return s;
    };
    std::vector<std::string> args;
    for (const std::string &a : c.args)
        args.push_back(substitute(a));

    const Outcome o = Render(dir, args);
    EXPECT_EQ(o.exitCode, c.exitCode) << o.err;
    EXPECT_TRUE(Contains(o.err, substitute(c.message))) << "stderr: " << o.err;
    if (c.exitCode == 2) {
        EXPECT_TRUE(Contains(o.err, "usage:")) << "stderr: " << o.err;
    }
    EXPECT_EQ(ListFolder(dir.path()), before) << "a file was written or left behind";
    EXPECT_TRUE(fs::is_empty(dir.file("folder")));
}

const std::vector<std::string> kComposite = {"composite", "--dest", "{IN}", "--source", "{IN}",
                                             "--out", "{OUT}"};

std::vector<std::string> CompositeWith(std::vector<std::string> extra)
{
    std::vector<std::string> args = kComposite;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

INSTANTIATE_TEST_SUITE_P(
    LoadsAndSaves, FailureTest,
    ::testing::Values(
        FailCase{"MissingInput", {"adjust", "{MISSING}", "{OUT}"}, 1, "Cannot open file {MISSING}"},
        FailCase{"NotABitmap", {"adjust", "{BAD}", "{OUT}"}, 1, "Bitmap image is not valid"},
        FailCase{"CutShort", {"adjust", "{SHORT}", "{OUT}"}, 1, "Stream read error"},
        FailCase{"InputIsAFolder", {"adjust", "{DIR}", "{OUT}"}, 1, "Cannot open file {DIR}"},
        FailCase{"OutputInAMissingFolder", {"adjust", "{IN}", "{NOFOLDER}"}, 1,
                 "Cannot create file {NOFOLDER}"},
        FailCase{"OutputIsAFolder", {"adjust", "{IN}", "{DIR}"}, 1, "Cannot create file {DIR}"},
        FailCase{"CompositeMissingSource",
                 {"composite", "--dest", "{IN}", "--source", "{MISSING}", "--out", "{OUT}"}, 1,
                 "Cannot open file {MISSING}"},
        FailCase{"CompositeBadDest",
                 {"composite", "--dest", "{BAD}", "--source", "{IN}", "--out", "{OUT}"}, 1,
                 "Bitmap image is not valid"},
        FailCase{"CompositeOutputInAMissingFolder",
                 {"composite", "--dest", "{IN}", "--source", "{IN}", "--out", "{NOFOLDER}"}, 1,
                 "Cannot create file {NOFOLDER}"}),
    [](const ::testing::TestParamInfo<FailCase> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Usage, FailureTest,
    ::testing::Values(
        FailCase{"NoArguments", {}, 2, "no command"},
        FailCase{"UnknownCommand", {"render", "{IN}", "{OUT}"}, 2, "unknown command"},
        FailCase{"AdjustWithoutFiles", {"adjust"}, 2, "INPUT.bmp and OUTPUT.bmp"},
        FailCase{"AdjustWithOneFile", {"adjust", "{IN}"}, 2, "INPUT.bmp and OUTPUT.bmp"},
        FailCase{"AdjustWithThreeFiles", {"adjust", "{IN}", "{OUT}", "{OUT}"}, 2, "INPUT.bmp"},
        FailCase{"UnknownOption", {"adjust", "--hue", "3", "{IN}", "{OUT}"}, 2, "unknown option --hue"},
        FailCase{"OptionOfTheOtherCommand", {"adjust", "--tint", "1,2,3", "{IN}", "{OUT}"}, 2,
                 "unknown option --tint"},
        FailCase{"MissingValue", {"adjust", "{IN}", "{OUT}", "--red"}, 2, "--red needs a value"},
        FailCase{"RedTooHigh", {"adjust", "--red", "256", "{IN}", "{OUT}"}, 2, "--red"},
        FailCase{"GreenTooLow", {"adjust", "--green", "-256", "{IN}", "{OUT}"}, 2, "--green"},
        FailCase{"BlueNotANumber", {"adjust", "--blue", "abc", "{IN}", "{OUT}"}, 2, "--blue"},
        FailCase{"BrightnessNotAnInteger", {"adjust", "--brightness", "1.5", "{IN}", "{OUT}"}, 2,
                 "--brightness"},
        FailCase{"BrightnessEmpty", {"adjust", "--brightness", "", "{IN}", "{OUT}"}, 2,
                 "--brightness"},
        FailCase{"ContrastTooHigh", {"adjust", "--contrast", "1025", "{IN}", "{OUT}"}, 2,
                 "--contrast"},
        FailCase{"IntensityTooLow", {"adjust", "--intensity", "-2049", "{IN}", "{OUT}"}, 2,
                 "--intensity"},
        FailCase{"SmoothFxTooHigh", {"adjust", "--smoothfx", "6", "{IN}", "{OUT}"}, 2, "--smoothfx"},
        FailCase{"SmoothFxTooLow", {"adjust", "--smoothfx", "-129", "{IN}", "{OUT}"}, 2,
                 "--smoothfx"},
        FailCase{"BeyondSixtyFourBits", {"adjust", "--red", "99999999999999999999", "{IN}", "{OUT}"},
                 2, "--red"},
        FailCase{"CompositeWithoutDest", {"composite", "--source", "{IN}", "--out", "{OUT}"}, 2,
                 "--dest"},
        FailCase{"CompositeWithoutSource", {"composite", "--dest", "{IN}", "--out", "{OUT}"}, 2,
                 "--source"},
        FailCase{"CompositeWithoutOut", {"composite", "--dest", "{IN}", "--source", "{IN}"}, 2,
                 "--out"},
        FailCase{"CompositeStrayArgument", CompositeWith({"extra"}), 2, "extra"},
        FailCase{"CenterOneValue", CompositeWith({"--center", "1"}), 2, "--center"},
        FailCase{"CenterThreeValues", CompositeWith({"--center", "1,2,3"}), 2, "--center"},
        FailCase{"CenterNotNumbers", CompositeWith({"--center", "a,b"}), 2, "--center"},
        FailCase{"CenterBeyond32Bits", CompositeWith({"--center", "2147483648,0"}), 2,
                 "--center"},
        FailCase{"ScaleOneValue", CompositeWith({"--scale", "1"}), 2, "--scale"},
        FailCase{"ScaleNotANumber", CompositeWith({"--scale", "x,1"}), 2, "--scale"},
        FailCase{"AngleNotANumber", CompositeWith({"--angle", "12deg"}), 2, "--angle"},
        FailCase{"AngleTooLarge", CompositeWith({"--angle", "1e50"}), 2, "--angle"},
        FailCase{"PivotOneValue", CompositeWith({"--pivot", "3"}), 2, "--pivot"},
        FailCase{"AlphaModeNotAnInteger", CompositeWith({"--alpha-mode", "1.5"}), 2,
                 "--alpha-mode"},
        FailCase{"AlphaModeBeyond32Bits", CompositeWith({"--alpha-mode", "3000000000"}), 2,
                 "--alpha-mode"},
        FailCase{"ContrastNotANumber", CompositeWith({"--contrast", "high"}), 2, "--contrast"},
        FailCase{"TintTwoValues", CompositeWith({"--tint", "1,2"}), 2, "--tint"},
        FailCase{"CropThreeValues", CompositeWith({"--crop", "1,2,3"}), 2, "--crop"},
        FailCase{"EffectEmpty", CompositeWith({"--effect", ""}), 2, "--effect"},
        FailCase{"ClampNotAnInteger", CompositeWith({"--clamp", "yes"}), 2, "--clamp"},
        FailCase{"RepeatNegative", CompositeWith({"--repeat", "-1"}), 2, "--repeat"}),
    [](const ::testing::TestParamInfo<FailCase> &info) { return std::string(info.param.name); });

} // namespace
