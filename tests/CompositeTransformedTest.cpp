// Composite's transformed path: geometry pixel by pixel on small surfaces,
// region, drift, colour key and sample reuse, and memory safety for any
// arguments at all.

#include "imaging/CompositeCall.h"
#include "imaging/Win.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Grid = std::vector<std::string>;

// Source pixel (column c, row r) is blue 10 + c, green 20 + r, red 99, so
// a destination pixel names the source pixel it shows.
std::unique_ptr<TWin> CodedSource(int w, int h)
{
    auto s = std::make_unique<TWin>(w, h);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            uint8_t *p = s->Bits + r * s->Stride + 3 * c;
            p[0] = uint8_t(10 + c);
            p[1] = uint8_t(20 + r);
            p[2] = 99;
        }
    return s;
}

void SetPixel(TWin &w, int x, int y, uint8_t b, uint8_t g, uint8_t r)
{
    uint8_t *p = w.Bits + y * w.Stride + 3 * x;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

// One cell per destination pixel: ".." untouched (still black), "cr" the
// source pixel shown, "??" anything else.
Grid Picture(const TWin &d)
{
    Grid g;
    for (int y = 0; y < d.height(); ++y) {
        std::string row;
        for (int x = 0; x < d.width(); ++x) {
            const uint8_t *p = d.Bits + y * d.Stride + 3 * x;
            if (x)
                row += ' ';
            if (p[0] == 0 && p[1] == 0 && p[2] == 0)
                row += "..";
            else if (p[0] >= 10 && p[0] <= 19 && p[1] >= 20 && p[1] <= 29 && p[2] == 99)
                row += std::string{char('0' + p[0] - 10), char('0' + p[1] - 20)};
            else
                row += "??";
        }
        g.push_back(row);
    }
    return g;
}

// Which destination pixels were written: '#' for any non-black pixel.
Grid Drawn(const TWin &d)
{
    Grid g;
    for (int y = 0; y < d.height(); ++y) {
        std::string row;
        for (int x = 0; x < d.width(); ++x) {
            const uint8_t *p = d.Bits + y * d.Stride + 3 * x;
            row += (p[0] | p[1] | p[2]) ? '#' : '.';
        }
        g.push_back(row);
    }
    return g;
}

// Composite's arguments with neutral colour settings; level 128, no key.
struct Args {
    int32_t CenterX = 5, CenterY = 5;
    float Angle = 0, ScaleX = 1, ScaleY = 1, ScaleDrift = 0;
    int32_t PivotX = 0, PivotY = 0;
    int32_t AlphaMode = -128, Brightness = 0;
    float Contrast = 1, Intensity = 0;
    int32_t RedTint = 0, GreenTint = 0, BlueTint = 0, Effect = 0, Clamp = 1;
    int32_t CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;
};

void Compose(TWin &dest, TWin &source, const Args &a)
{
    dest.Composite(source, a.CenterX, a.CenterY, a.Angle, a.ScaleX, a.ScaleY, a.ScaleDrift,
                   a.PivotX, a.PivotY, a.AlphaMode, a.Brightness, a.Contrast, a.Intensity,
                   a.RedTint, a.GreenTint, a.BlueTint, a.Effect, a.Clamp, a.CropLeft, a.CropTop,
                   a.CropRight, a.CropBottom);
}

const std::string E = ".. .. .. .. .. .. .. .. .. .."; // an untouched row of ten

// ---------------------------------------------------------------------------
// A 4 x 4 source on a 10 x 10 destination centred at (5, 5).

struct GeometryCase {
    const char *name;
    float angle, scaleX, scaleY;
    int32_t pivotX, pivotY;
    int32_t rowStep;
    Grid expected;
};

void PrintTo(const GeometryCase &k, std::ostream *os) { *os << k.name; }

class Geometry : public testing::TestWithParam<GeometryCase> {};

TEST_P(Geometry, DrawsEachPixelFromItsSourcePixel)
{
    const GeometryCase &k = GetParam();
    auto source = CodedSource(4, 4);
    TWin dest(10, 10);
    Args a;
    a.Angle = k.angle;
    a.ScaleX = k.scaleX;
    a.ScaleY = k.scaleY;
    a.PivotX = k.pivotX;
    a.PivotY = k.pivotY;
    Compose(dest, *source, a);
    EXPECT_EQ(Picture(dest), k.expected);
    EXPECT_EQ(dest.RowStep, k.rowStep);
}

const Grid kAngle90 = {
    E,
    E,
    ".. .. 31 32 32 33 .. .. .. ..",
    ".. .. 21 22 22 23 .. .. .. ..",
    ".. .. 21 22 22 23 .. .. .. ..",
    ".. .. 11 12 12 13 .. .. .. ..",
    E, E, E, E,
};
const Grid kAngle180 = {
    E,
    E,
    ".. 33 23 23 13 .. .. .. .. ..",
    ".. 32 22 22 12 .. .. .. .. ..",
    ".. 32 22 22 12 .. .. .. .. ..",
    ".. 31 21 21 11 .. .. .. .. ..",
    E, E, E, E,
};
// A quarter turn clockwise, whichever way the angle is written.
const Grid kAngle270 = {
    E,
    E,
    E,
    ".. 13 12 12 11 .. .. .. .. ..",
    ".. 23 22 22 21 .. .. .. .. ..",
    ".. 23 22 22 21 .. .. .. .. ..",
    ".. 33 32 32 31 .. .. .. .. ..",
    E, E, E,
};

INSTANTIATE_TEST_SUITE_P(
    FourByFourOnTenByTen, Geometry,
    testing::Values(
        // The source's column and row through the turning point come out
        // twice; column 0 and row 0 nowhere.
        GeometryCase{"Angle0Pivot1", 0, 1, 1, 1, 0, 3,
                     {E, E, E,
                      ".. .. .. 11 11 21 31 .. .. ..",
                      ".. .. .. 12 12 22 32 .. .. ..",
                      ".. .. .. 12 12 22 32 .. .. ..",
                      ".. .. .. 13 13 23 33 .. .. ..",
                      E, E, E}},
        // A full turn is the fixed pair of angle 0.
        GeometryCase{"Angle360", 360, 1, 1, 0, 0, 3,
                     {E, E, E,
                      ".. .. 11 21 21 31 .. .. .. ..",
                      ".. .. 12 22 22 32 .. .. .. ..",
                      ".. .. 12 22 22 32 .. .. .. ..",
                      ".. .. 13 23 23 33 .. .. .. ..",
                      E, E, E}},
        GeometryCase{"Angle90", 90, 1, 1, 0, 0, 3, kAngle90},
        // Rounded to the nearest hundredth: the exact quarter turn.
        GeometryCase{"Angle89_996", 89.996f, 1, 1, 0, 0, 3, kAngle90},
        // 450 reduces to 90; -270 keeps its sign and is computed, wider box.
        GeometryCase{"Angle450", 450, 1, 1, 0, 0, 3, kAngle90},
        GeometryCase{"AngleMinus270", -270, 1, 1, 0, 0, 3, kAngle90},
        GeometryCase{"Angle180", 180, 1, 1, 0, 0, 3, kAngle180},
        GeometryCase{"HalfTurnByBothScales", 0, -1, -1, 0, 0, 3, kAngle180},
        GeometryCase{"Angle270", 270, 1, 1, 0, 0, 3, kAngle270},
        GeometryCase{"AngleMinus90", -90, 1, 1, 0, 0, 3, kAngle270},
        GeometryCase{"Angle45", 45, 1, 1, 0, 0, 3,
                     {E, E, E,
                      ".. .. .. 21 32 .. .. .. .. ..",
                      ".. .. 11 22 22 33 .. .. .. ..",
                      ".. .. .. 12 23 .. .. .. .. ..",
                      E, E, E, E}},
        GeometryCase{"MirroredLeftRight", 0, -1, 1, 0, 0, -3,
                     {E, E, E,
                      ".. .. .. .. 31 21 21 11 .. ..",
                      ".. .. .. .. 32 22 22 12 .. ..",
                      ".. .. .. .. 32 22 22 12 .. ..",
                      ".. .. .. .. 33 23 23 13 .. ..",
                      E, E, E}},
        GeometryCase{"MirroredUpDown", 0, 1, -1, 0, 0, -3,
                     {E, E,
                      ".. .. .. .. .. 13 23 23 33 ..",
                      ".. .. .. .. .. 12 22 22 32 ..",
                      ".. .. .. .. .. 12 22 22 32 ..",
                      ".. .. .. .. .. 11 21 21 31 ..",
                      E, E, E, E}}),
    [](const testing::TestParamInfo<GeometryCase> &i) { return std::string(i.param.name); });

TEST(CompositeTransformed, LeavesTheRowCursorAfterTheLastDrawnPixel)
{
    auto source = CodedSource(4, 4);
    TWin dest(10, 10);
    Args a;
    a.PivotX = 1;
    Compose(dest, *source, a);
    // Last drawn: row 6, column 6; the cursor moved on by one pixel.
    EXPECT_EQ(dest.RowCursor, dest.Bits + 6 * dest.Stride + 3 * 7);
    EXPECT_EQ(source->PixelCursor, source->Bits + 3 * source->Stride + 3 * 3);
}

// The box is cut to the destination; as the walk stops one short of the
// box's last column, a picture reaching the right edge loses column 9.
TEST(CompositeTransformed, ClipsTheBoxToTheDestination)
{
    auto source = CodedSource(4, 4);
    Args a;
    a.Angle = 360;

    TWin topLeft(10, 10);
    a.CenterX = a.CenterY = 1;
    Compose(topLeft, *source, a);
    EXPECT_EQ(Picture(topLeft), (Grid{"22 32 .. .. .. .. .. .. .. ..",
                                      "22 32 .. .. .. .. .. .. .. ..",
                                      "23 33 .. .. .. .. .. .. .. ..",
                                      E, E, E, E, E, E, E}));

    TWin bottomRight(10, 10);
    a.CenterX = a.CenterY = 9;
    Compose(bottomRight, *source, a);
    EXPECT_EQ(Picture(bottomRight), (Grid{E, E, E, E, E, E, E,
                                          ".. .. .. .. .. .. 11 21 21 ..",
                                          ".. .. .. .. .. .. 12 22 22 ..",
                                          ".. .. .. .. .. .. 12 22 22 .."}));
}

// Crops cut the box's sides; the picture itself does not move.
TEST(CompositeTransformed, CropsNarrowTheBox)
{
    auto source = CodedSource(4, 4);
    TWin dest(10, 10);
    Args a;
    a.Angle = 90;
    a.CropLeft = 2;  // box from column 3
    a.CropBottom = 4; // box down to row 4
    Compose(dest, *source, a);
    EXPECT_EQ(Picture(dest), (Grid{E, E,
                                   ".. .. .. 32 32 33 .. .. .. ..",
                                   ".. .. .. 22 22 23 .. .. .. ..",
                                   ".. .. .. 22 22 23 .. .. .. ..",
                                   E, E, E, E, E}));
}

// A 4 x 4 source at scale 4 covers the whole 10 x 10 destination.
struct FullScanCase {
    const char *name;
    int32_t alphaMode;
    float scaleX;
    int32_t cropLeft, cropTop, cropRight, cropBottom;
    Grid drawn;
};

void PrintTo(const FullScanCase &k, std::ostream *os) { *os << k.name; }

class FullScan : public testing::TestWithParam<FullScanCase> {};

TEST_P(FullScan, WalksTheDestinationLessTheCrops)
{
    const FullScanCase &k = GetParam();
    auto source = CodedSource(4, 4);
    TWin dest(10, 10);
    Args a;
    a.ScaleX = k.scaleX;
    a.ScaleY = 4;
    a.AlphaMode = k.alphaMode;
    a.CropLeft = k.cropLeft;
    a.CropTop = k.cropTop;
    a.CropRight = k.cropRight;
    a.CropBottom = k.cropBottom;
    Compose(dest, *source, a);
    EXPECT_EQ(Drawn(dest), k.drawn);
}

const Grid kAllButLastColumn(10, "#########.");
const Grid kAllButFirstColumn(10, ".#########");

INSTANTIATE_TEST_SUITE_P(
    ScaleFour, FullScan,
    testing::Values(
        FullScanCase{"Set", -256, 4, 0, 0, 0, 0, kAllButLastColumn},
        // With a key in force as well (the source has no key-coloured pixel
        // but its corner, which this picture never shows).
        FullScanCase{"SetKeyed", 256, 4, 0, 0, 0, 0, kAllButLastColumn},
        FullScanCase{"SetMirrored", -256, -4, 0, 0, 0, 0, kAllButFirstColumn},
        // Crops are margins of the destination...
        FullScanCase{"SetCropped", -256, 4, 2, 1, 3, 0,
                     {"..........", "..####....", "..####....", "..####....", "..####....",
                      "..####....", "..####....", "..####....", "..####....", "..####...."}},
        // ... but of the box when the flag is clear, here far outside.
        FullScanCase{"ClearCropped", -128, 4, 2, 1, 3, 0, kAllButLastColumn},
        // A reversed span draws nothing.
        FullScanCase{"SetReversedSpan", -256, 4, 6, 0, 4, 0, Grid(10, "..........")}),
    [](const testing::TestParamInfo<FullScanCase> &i) { return std::string(i.param.name); });

// Drift 6250 adds 1/8 to both scales every row. They start two eighths
// (halfW and halfH drifts) below the scale asked for, and one drift comes
// before the first row too, so row y is drawn at 0.75 + (y + 1) / 8.
TEST(CompositeTransformed, DriftChangesTheScaleRowByRow)
{
    auto source = CodedSource(4, 4);
    TWin dest(10, 10);
    Args a;
    a.Angle = 360;
    a.ScaleDrift = 6250;
    a.AlphaMode = -256; // walk every row, so that row y is the (y + 1)-th
    Compose(dest, *source, a);
    EXPECT_EQ(Picture(dest), (Grid{E, E, E,
                                   ".. .. 00 10 10 20 30 .. .. ..", // 1.25
                                   ".. .. 01 11 11 21 21 .. .. ..", // 1.375
                                   ".. 02 12 22 22 22 32 .. .. ..", // 1.5
                                   ".. 02 12 12 12 22 32 .. .. ..", // 1.625
                                   ".. 02 12 12 12 22 22 32 .. ..", // 1.75
                                   ".. 03 13 13 13 23 23 33 .. ..", // 1.875
                                   E}));
}

// A keyed sample leaves its pixels alone; the cursor is placed at the first
// drawn pixel, so what follows still lands at its own column.
TEST(CompositeTransformed, SkipsKeyColouredSamples)
{
    auto source = CodedSource(4, 4);
    SetPixel(*source, 1, 1, 10, 20, 99); // the colour of pixel (0, 0): the key
    TWin dest(10, 10);
    Args a;
    a.PivotX = 1;
    a.AlphaMode = 128;
    Compose(dest, *source, a);
    EXPECT_EQ(Picture(dest), (Grid{E, E, E,
                                   ".. .. .. .. .. 21 31 .. .. ..",
                                   ".. .. .. 12 12 22 32 .. .. ..",
                                   ".. .. .. 12 12 22 32 .. .. ..",
                                   ".. .. .. 13 13 23 33 .. .. ..",
                                   E, E, E}));
}

// A 3 x 2 source whose only position in the picture is (u, v) = (1, 1) in
// rows 4 and 5, columns 3 and 4. Between the rows the drift raises ScaleY
// from 1 to 1.125, so that a fresh read in row 5 would find source pixel
// (1, 0); the sample memory spans rows and reuses pixel (1, 1) instead.
struct ReuseCase {
    const char *name;
    int32_t alphaMode;
    bool keyCentre; // source pixel (1, 1) has the key colour
    Grid expected;
};

void PrintTo(const ReuseCase &k, std::ostream *os) { *os << k.name; }

class SampleReuse : public testing::TestWithParam<ReuseCase> {};

TEST_P(SampleReuse, SpansRowsEvenAfterTheDrift)
{
    const ReuseCase &k = GetParam();
    auto source = CodedSource(3, 2);
    if (k.keyCentre)
        SetPixel(*source, 1, 1, 10, 20, 99);
    TWin dest(10, 10);
    Args a;
    a.ScaleX = 0.25f;
    a.ScaleY = 0.5f;
    a.ScaleDrift = 6250;
    a.PivotX = -1;
    a.AlphaMode = k.alphaMode;
    Compose(dest, *source, a);
    EXPECT_EQ(Picture(dest), k.expected);
}

const Grid kCentreTwice = {E, E, E, E,
                           ".. .. .. 11 11 .. .. .. .. ..",
                           ".. .. .. 11 11 .. .. .. .. ..",
                           E, E, E, E};

INSTANTIATE_TEST_SUITE_P(
    DriftingScales, SampleReuse,
    testing::Values(ReuseCase{"NoKey", -256, false, kCentreTwice},
                    ReuseCase{"KeyNotShown", 256, false, kCentreTwice},
                    // The keyed sample stays keyed in row 5, though pixel
                    // (1, 0) there would not be.
                    ReuseCase{"KeyedCentre", 256, true, Grid(10, E)}),
    [](const testing::TestParamInfo<ReuseCase> &i) { return std::string(i.param.name); });

// Colour adjustment and mix as in the one-to-one path, with Clamp's
// magnitude as the clamp flag.
struct ColourCase {
    const char *name;
    int32_t alphaMode, brightness;
    float contrast;
    int32_t clamp;
    uint8_t blue; // a drawn pixel's blue byte over an old byte of 100
};

void PrintTo(const ColourCase &k, std::ostream *os) { *os << k.name; }

class Colour : public testing::TestWithParam<ColourCase> {};

TEST_P(Colour, AdjustsAndMixesEachDrawnPixel)
{
    const ColourCase &k = GetParam();
    TWin source(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            SetPixel(source, x, y, 100, 60, 20);
    TWin dest(10, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            SetPixel(dest, x, y, 100, 100, 100);
    Args a;
    a.Angle = 90;
    a.AlphaMode = k.alphaMode;
    a.Brightness = k.brightness;
    a.Contrast = k.contrast;
    a.Clamp = k.clamp;
    Compose(dest, source, a);
    const uint8_t *drawn = dest.Bits + 3 * dest.Stride + 3 * 3;
    EXPECT_EQ(drawn[0], k.blue);
    const uint8_t *outside = dest.Bits + 7 * dest.Stride + 3 * 7;
    EXPECT_EQ(outside[0], 100);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, Colour,
    testing::Values(ColourCase{"Copy", -128, 0, 1, 1, 100},
                    // (100 + 150) / 2 at level 64.
                    ColourCase{"HalfOpacity", -64, 50, 1, 1, 125},
                    ColourCase{"Clamped", -128, 0, 3, 1, 255},
                    ColourCase{"NegativeClampClamps", -128, 0, 3, -1, 255},
                    ColourCase{"NoClampWraps", -128, 0, 3, 0, 44},
                    // Its magnitude does not fit 32 bits: still negative.
                    ColourCase{"MostNegativeClampWraps", -128, 0, 3,
                               std::numeric_limits<int32_t>::min(), 44}),
    [](const testing::TestParamInfo<ColourCase> &i) { return std::string(i.param.name); });

// ---------------------------------------------------------------------------
// Memory safety for any arguments.

// A surface whose pixel memory lies against an inaccessible page on one
// side, so that a byte touched just past that end faults, and whose other
// spare bytes and row padding hold a pattern that must survive the call.
class FencedSurface {
public:
    FencedSurface(int32_t w, int32_t h, bool againstEnd, std::mt19937 &rng)
        : win_(w, h)
    {
        if (win_.empty())
            return;
        page_ = size_t(sysconf(_SC_PAGESIZE));
        size_ = size_t(win_.Stride) * size_t(h);
        dataBytes_ = (size_ + page_ - 1) / page_ * page_;
        total_ = dataBytes_ + 2 * page_;
        void *m = mmap(nullptr, total_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        map_ = static_cast<uint8_t *>(m);
        mprotect(map_, page_, PROT_NONE);
        mprotect(map_ + page_ + dataBytes_, page_, PROT_NONE);
        data_ = map_ + page_;
        std::memset(data_, kPattern, dataBytes_);
        uint8_t *bits = againstEnd ? data_ + dataBytes_ - size_ : data_;
        // A few colours only, so that keys match now and then.
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int i = 0; i < 3; ++i)
                    bits[size_t(y) * size_t(win_.Stride) + 3 * size_t(x) + i] =
                        uint8_t(rng() % 3 * 100);
        win_.Bits = bits;
    }
    ~FencedSurface()
    {
        win_.Bits = nullptr;
        if (map_)
            munmap(map_, total_);
    }
    FencedSurface(const FencedSurface &) = delete;
    FencedSurface &operator=(const FencedSurface &) = delete;

    TWin &win() { return win_; }
    void makeReadOnly()
    {
        if (data_)
            mprotect(data_, dataBytes_, PROT_READ);
    }
    // True when every byte that is no pixel still holds the pattern.
    bool fenceIntact() const
    {
        if (!data_)
            return true;
        const size_t start = size_t(win_.Bits - data_);
        const size_t rowBytes = 3 * size_t(win_.width());
        for (size_t i = 0; i < dataBytes_; ++i) {
            const bool inPixels = i >= start && i < start + size_ &&
                                  (i - start) % size_t(win_.Stride) < rowBytes;
            if (!inPixels && data_[i] != kPattern)
                return false;
        }
        return true;
    }

private:
    static constexpr uint8_t kPattern = 0xA5;
    TWin win_;
    size_t page_ = 0, size_ = 0, dataBytes_ = 0, total_ = 0;
    uint8_t *map_ = nullptr;
    uint8_t *data_ = nullptr;
};

int32_t AnyInt(std::mt19937 &rng)
{
    switch (rng() % 6) {
    case 0: return int32_t(rng() % 41) - 20;
    case 1: return int32_t(rng() % 40001) - 20000;
    case 2: return std::numeric_limits<int32_t>::min() + int32_t(rng() % 3);
    case 3: return std::numeric_limits<int32_t>::max() - int32_t(rng() % 3);
    case 4: return int32_t(rng());
    default: return int32_t(rng() % 5);
    }
}

float AnyReal(std::mt19937 &rng)
{
    static const float special[] = {0.0f,
                                    -0.0f,
                                    1.0f,
                                    -1.0f,
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(),
                                    std::numeric_limits<float>::max(),
                                    -std::numeric_limits<float>::max(),
                                    std::numeric_limits<float>::denorm_min(),
                                    1e-30f,
                                    1e9f,
                                    -1e9f,
                                    45.0f,
                                    -90.0f,
                                    270.0f};
    switch (rng() % 4) {
    case 0: return special[rng() % (sizeof special / sizeof special[0])];
    case 1: return std::uniform_real_distribution<float>(-5, 5)(rng);
    case 2: return std::uniform_real_distribution<float>(-1e5f, 1e5f)(rng);
    default: return float(int32_t(rng() % 17) - 8) * 45.0f;
    }
}

int32_t AnySize(std::mt19937 &rng)
{
    static const int32_t sizes[] = {0, 1, 1, 2, 3, 4, 5, 7, 10, 16, 33};
    return sizes[rng() % (sizeof sizes / sizeof sizes[0])];
}

// Random arguments outside every caller limit, on surfaces with no pixels,
// with long rows whose coordinates make the 32-bit products wrap: the call
// ends, reads nothing past the source, writes nothing but destination
// pixels and nothing at all in the source.
TEST(CompositeTransformed, AnyArgumentsStayInsideBothSurfaces)
{
    std::mt19937 rng(20261211);
    for (int i = 0; i < 4000; ++i) {
        int32_t dW = AnySize(rng), dH = AnySize(rng), sW = AnySize(rng), sH = AnySize(rng);
        // Long thin surfaces: 40000 x 65535 wraps.
        if (rng() % 10 == 0) {
            dW = rng() % 2 ? 40000 : 1;
            dH = dW == 1 ? 40000 : 1;
        }
        if (rng() % 10 == 0) {
            sW = rng() % 2 ? 40000 : 1;
            sH = sW == 1 ? 40000 : 1;
        }
        const bool againstEnd = rng() % 2;
        FencedSurface dest(dW, dH, againstEnd, rng);
        FencedSurface source(sW, sH, !againstEnd, rng);
        source.makeReadOnly();

        CompositeCall c{};
        c.CenterX = AnyInt(rng);
        c.CenterY = AnyInt(rng);
        c.Angle = AnyReal(rng);
        c.ScaleX = AnyReal(rng);
        c.ScaleY = AnyReal(rng);
        c.ScaleDrift = rng() % 2 ? 0.0f : AnyReal(rng) * float(rng() % 100000);
        c.PivotX = AnyInt(rng);
        c.PivotY = AnyInt(rng);
        c.AlphaMode = AnyInt(rng);
        c.Brightness = AnyInt(rng);
        c.Contrast = AnyReal(rng);
        c.Intensity = AnyReal(rng);
        c.RedTint = AnyInt(rng);
        c.GreenTint = AnyInt(rng);
        c.BlueTint = AnyInt(rng);
        c.Clamp = AnyInt(rng);
        c.CropLeft = AnyInt(rng);
        c.CropTop = AnyInt(rng);
        c.CropRight = AnyInt(rng);
        c.CropBottom = AnyInt(rng);
        c.level = int32_t(rng() % 130);
        c.keyed = rng() % 2;
        c.fullScan = rng() % 2;
        if (!source.win().empty()) {
            c.firstB = source.win().ReadPixel(0, 0);
            c.firstG = source.win().ReadGreen();
            c.firstR = source.win().ReadRed();
        }

        CompositeTransformed(dest.win(), source.win(), c);

        ASSERT_TRUE(dest.fenceIntact()) << "case " << i;
        if (!dest.win().empty()) {
            ASSERT_TRUE(dest.win().RowStep == 3 || dest.win().RowStep == -3) << "case " << i;
        }
    }
}

// Drift takes both scales to -671088640 in the first row: 4 x that wraps
// to a positive 32-bit limit, and the offsets to 671088640, so the bounds
// test passes while the source position is column -1, row -1.
TEST(CompositeTransformed, WrappedLimitsReadNothingOutsideTheSource)
{
    std::mt19937 rng(1);
    FencedSurface dest(10, 10, true, rng);
    FencedSurface source(4, 4, false, rng); // (-1, -1) lies in the fence
    source.makeReadOnly();
    std::vector<uint8_t> before(dest.win().Bits, dest.win().Bits + 10 * dest.win().Stride);
    dest.win().Composite(source.win(), 5, 5, 0, 1, 1, 33554432000000.0f, 3, 3, -128, 0, 1, 0,
                         0, 0, 0, 0, 1, 0, 0, 0, 0);
    EXPECT_TRUE(dest.fenceIntact());
    EXPECT_EQ(std::vector<uint8_t>(dest.win().Bits, dest.win().Bits + 10 * dest.win().Stride),
              before);
}

// The same through Composite itself, with arguments that take this path.
TEST(CompositeTransformed, CompositeWithWildArgumentsStaysInsideBothSurfaces)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        const bool againstEnd = rng() % 2;
        FencedSurface dest(AnySize(rng), AnySize(rng), againstEnd, rng);
        FencedSurface source(AnySize(rng), AnySize(rng), !againstEnd, rng);
        source.makeReadOnly();
        dest.win().Composite(source.win(), AnyInt(rng), AnyInt(rng), AnyReal(rng), AnyReal(rng),
                             AnyReal(rng), AnyReal(rng), AnyInt(rng), AnyInt(rng),
                             int32_t(rng() % 513) - 256, AnyInt(rng), AnyReal(rng), AnyReal(rng),
                             AnyInt(rng), AnyInt(rng), AnyInt(rng), 0, -1 - int32_t(rng() % 3),
                             AnyInt(rng), AnyInt(rng), AnyInt(rng), AnyInt(rng));
        ASSERT_TRUE(dest.fenceIntact()) << "case " << i;
    }
}

} // namespace
