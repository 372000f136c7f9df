// The image surface: header, stride and pixel addressing, the two cursors,
// and where Draw puts the pixels in each placement mode.

#include "imaging/Win.h"
#include "platform/DrawingContext.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <climits>
#include <functional>
#include <optional>

using namespace testing_support;

namespace {

struct StrideCase {
    int width;
    int stride;
};

class StrideTest : public ::testing::TestWithParam<StrideCase> {};

TEST_P(StrideTest, RowsArePaddedToFourBytes)
{
    const StrideCase c = GetParam();
    TWin w(c.width, 3);
    EXPECT_EQ(w.Stride, c.stride);
    // The bitmap and its image see the same rows.
    ASSERT_NE(w.MemoryDC->image(), nullptr);
    EXPECT_EQ(w.MemoryDC->image()->bytesPerLine(), c.stride);
}

INSTANTIATE_TEST_SUITE_P(Widths, StrideTest,
                         ::testing::Values(StrideCase{1, 4}, StrideCase{2, 8}, StrideCase{3, 12},
                                           StrideCase{4, 12}, StrideCase{5, 16},
                                           StrideCase{32, 96}, StrideCase{101, 304},
                                           StrideCase{640, 1920}));

TEST(SurfaceTest, HeaderDescribesATopDown24BitBitmap)
{
    TWin w(32, 32);
    EXPECT_EQ(w.Header.biSize, 40u);
    EXPECT_EQ(w.Header.biWidth, 32);
    EXPECT_EQ(w.Header.biHeight, -32);
    EXPECT_EQ(w.Header.biPlanes, 1);
    EXPECT_EQ(w.Header.biBitCount, 24);
    EXPECT_EQ(w.Header.biCompression, 0u);
    EXPECT_EQ(w.Header.biSizeImage, 0u);
    EXPECT_EQ(w.Header.biXPelsPerMeter, 0);
    EXPECT_EQ(w.Header.biYPelsPerMeter, 0);
    EXPECT_EQ(w.Header.biClrUsed, 0u);
    EXPECT_EQ(w.Header.biClrImportant, 0u);
    EXPECT_EQ(w.width(), 32);
    EXPECT_EQ(w.height(), 32);
    EXPECT_EQ(w.Stride, 96);
}

TEST(SurfaceTest, NewSurfaceIsBlackWithUnsetCursors)
{
    TWin w(5, 3);
    ASSERT_NE(w.Bits, nullptr);
    ASSERT_NE(w.BitmapHandle, nullptr);
    EXPECT_EQ(w.BitmapHandle->bits(), w.Bits);
    for (int i = 0; i < w.Stride * 3; ++i)
        ASSERT_EQ(w.Bits[i], 0) << "byte " << i;
    EXPECT_EQ(w.RowCursor, nullptr);
    EXPECT_EQ(w.PixelCursor, nullptr);
    EXPECT_EQ(w.RowStep, 0);
}

TEST(SurfaceTest, MemoryContextDrawsOnThePixelBytes)
{
    TWin w(5, 3);
    QImage *image = w.MemoryDC->image();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->format(), QImage::Format_BGR888);
    EXPECT_EQ(image->constBits(), w.Bits);
    EXPECT_EQ(image->width(), 5);
    EXPECT_EQ(image->height(), 3);

    // Painting through the context lands in Bits, in blue, green, red order.
    w.MemoryDC->painter().fillRect(QRect(2, 1, 1, 1), QColor(90, 60, 30));
    w.MemoryDC->finishPainting();
    EXPECT_EQ(GetPixel(w, 2, 1), (Bgr{30, 60, 90}));
    EXPECT_EQ(GetPixel(w, 1, 1), (Bgr{0, 0, 0}));
    EXPECT_EQ(GetPixel(w, 2, 0), (Bgr{0, 0, 0}));
}

struct EmptyCase {
    int width, height;
};

class EmptySurfaceTest : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(EmptySurfaceTest, HasNoBitmapButKeepsItsSize)
{
    const EmptyCase c = GetParam();
    TWin w(c.width, c.height);
    EXPECT_EQ(w.BitmapHandle, nullptr);
    EXPECT_EQ(w.Bits, nullptr);
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(w.width(), c.width);
    EXPECT_EQ(w.height(), c.height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, EmptySurfaceTest,
                         ::testing::Values(EmptyCase{0, 0}, EmptyCase{7, 0}, EmptyCase{0, 5}));

TEST(SurfaceTest, PixelAddressFollowsStride)
{
    TWin w(32, 32);
    w.Bits[195] = 11;
    w.Bits[196] = 22;
    w.Bits[197] = 33;
    EXPECT_EQ(w.ReadPixel(1, 2), 11);
    EXPECT_EQ(w.PixelCursor, w.Bits + 195);
    EXPECT_EQ(w.ReadGreen(), 22);
    EXPECT_EQ(w.ReadRed(), 33);
}

// Every pixel of odd-sized surfaces, written through the layout and read
// back through both cursors; the padding bytes stay untouched.
class AddressingTest : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(AddressingTest, CursorsReadEveryPixel)
{
    const EmptyCase c = GetParam();
    TWin w(c.width, c.height);
    Fill(w, Distinct);
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const Bgr want = Distinct(x, y);
            ASSERT_EQ(w.ReadPixel(x, y), want.b) << x << "," << y;
            ASSERT_EQ(w.ReadGreen(), want.g);
            ASSERT_EQ(w.ReadRed(), want.r);
        }
        w.SeekRow(0, y, 3);
        for (int x = 0; x < c.width; ++x) {
            const Bgr want = Distinct(x, y);
            const int b = w.RowBlue();
            const int g = w.RowGreen();
            const int r = w.RowRedAdvance();
            ASSERT_EQ((Bgr{b, g, r}), want) << x << "," << y;
        }
        for (int pad = 3 * c.width; pad < w.Stride; ++pad)
            ASSERT_EQ(w.Bits[y * w.Stride + pad], 0) << "padding of row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(OddSizes, AddressingTest,
                         ::testing::Values(EmptyCase{1, 1}, EmptyCase{5, 3}, EmptyCase{7, 2},
                                           EmptyCase{2, 7}, EmptyCase{101, 4}));

TEST(SurfaceTest, ReadingGreenAndRedNeverMovesThePixelCursor)
{
    TWin w(4, 4);
    Fill(w, Distinct);
    w.ReadPixel(3, 2);
    uint8_t *const at = w.PixelCursor;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(w.ReadGreen(), Distinct(3, 2).g);
        EXPECT_EQ(w.ReadRed(), Distinct(3, 2).r);
    }
    EXPECT_EQ(w.PixelCursor, at);
}

TEST(SurfaceTest, BytesReadAreUnsigned)
{
    TWin w(1, 1);
    SetPixel(w, 0, 0, {255, 200, 128});
    EXPECT_EQ(w.ReadPixel(0, 0), 255);
    EXPECT_EQ(w.ReadGreen(), 200);
    EXPECT_EQ(w.ReadRed(), 128);
    w.SeekRow(0, 0, 3);
    EXPECT_EQ(w.RowBlue(), 255);
    EXPECT_EQ(w.RowGreen(), 200);
    EXPECT_EQ(w.RowRedAdvance(), 128);
}

struct RunCase {
    int x, y, step;
    std::vector<int> columns; // read in this order
};

class RowCursorTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RowCursorTest, RunReadsNeighboursInStepOrder)
{
    const RunCase c = GetParam();
    TWin w(7, 5);
    Fill(w, Distinct);
    w.SeekRow(c.x, c.y, c.step);
    EXPECT_EQ(w.RowStep, c.step);
    EXPECT_EQ(w.RowCursor, PixelAt(w, c.x, c.y));
    for (int column : c.columns) {
        uint8_t *const before = w.RowCursor;
        const int b = w.RowBlue();
        const int g = w.RowGreen();
        EXPECT_EQ(w.RowCursor, before) << "blue and green leave the cursor";
        const int r = w.RowRedAdvance();
        EXPECT_EQ((Bgr{b, g, r}), Distinct(column, c.y)) << "column " << column;
        EXPECT_EQ(w.RowCursor, before + c.step);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RowCursorTest,
    ::testing::Values(RunCase{2, 3, 3, {2, 3, 4}}, RunCase{4, 1, -3, {4, 3, 2}},
                      RunCase{0, 0, 3, {0, 1, 2, 3, 4, 5, 6}}, RunCase{6, 4, -3, {6, 5, 4, 3, 2, 1, 0}},
                      RunCase{1, 2, 6, {1, 3, 5}}));

TEST(SurfaceTest, RowCursorRunsFromOneRowIntoTheNext)
{
    // Padding included: a step of one stride walks down a column.
    TWin w(5, 4);
    Fill(w, Distinct);
    w.SeekRow(2, 0, w.Stride);
    for (int y = 0; y < 4; ++y) {
        const int b = w.RowBlue();
        const int g = w.RowGreen();
        const int r = w.RowRedAdvance();
        EXPECT_EQ((Bgr{b, g, r}), Distinct(2, y));
    }
}

TEST(SurfaceTest, CursorsAreIndependent)
{
    TWin w(4, 3);
    Fill(w, Distinct);
    w.SeekRow(1, 1, 3);
    w.ReadPixel(3, 2);
    EXPECT_EQ(w.RowBlue(), Distinct(1, 1).b);
    w.RowRedAdvance();
    EXPECT_EQ(w.ReadGreen(), Distinct(3, 2).g);
    EXPECT_EQ(w.RowBlue(), Distinct(2, 1).b);
}

// ---- Draw ----------------------------------------------------------------

constexpr QRgb kUntouched = 0xff0a0b0c;

// The colour each surface pixel gets in the Draw tests: red 77 never occurs
// in kUntouched, so every target pixel is either untouched or names the
// surface pixel it came from.
Bgr DrawColour(int x, int y) { return {x, y, 77}; }

struct Target {
    explicit Target(int width, int height, QImage::Format format = QImage::Format_RGB32)
        : image(width, height, format)
    {
        image.fill(QColor::fromRgb(kUntouched));
        context.select(&image);
    }
    QImage image;
    platform::MemoryContext context;
};

// Where a target pixel should come from: a surface pixel, or nowhere.
using Expectation = std::function<std::optional<QPoint>(int x, int y)>;

void ExpectPlacement(const QImage &image, const Expectation &from)
{
    int wrong = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb got = image.pixel(x, y);
            const std::optional<QPoint> source = from(x, y);
            QRgb want = kUntouched;
            if (source) {
                const Bgr c = DrawColour(source->x(), source->y());
                want = qRgb(c.r, c.g, c.b);
            }
            if (got != want && ++wrong <= 5)
                ADD_FAILURE() << "target (" << x << ", " << y << "): got r" << qRed(got) << " g"
                              << qGreen(got) << " b" << qBlue(got) << ", want r" << qRed(want)
                              << " g" << qGreen(want) << " b" << qBlue(want);
        }
    }
    EXPECT_EQ(wrong, 0) << "pixels in the wrong place";
}

// The surface copied unscaled with its top-left corner at (left, top).
Expectation Unscaled(int left, int top, int width, int height)
{
    return [=](int x, int y) -> std::optional<QPoint> {
        if (x >= left && x < left + width && y >= top && y < top + height)
            return QPoint(x - left, y - top);
        return std::nullopt;
    };
}

struct DrawCase {
    const char *name;
    int surfaceW, surfaceH;
    int mode, destX, destY, destW, destH, areaW, areaH;
    int targetW, targetH;
    Expectation expect;
};

class DrawTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawTest, PixelsLandWhereTheModePutsThem)
{
    const DrawCase &c = GetParam();
    auto surface = MakeSurface(c.surfaceW, c.surfaceH, DrawColour);
    Target target(c.targetW, c.targetH);
    surface->Draw(target.context, c.mode, c.destX, c.destY, c.destW, c.destH, c.areaW, c.areaH);
    ExpectPlacement(target.image, c.expect);
}

Expectation Nothing()
{
    return [](int, int) -> std::optional<QPoint> { return std::nullopt; };
}

INSTANTIATE_TEST_SUITE_P(
    Modes, DrawTest,
    ::testing::Values(
        // Mode 0 reads only DestX and DestY.
        DrawCase{"Mode0AtDest", 4, 3, 0, 3, 2, 1, 1, 2, 2, 10, 8, Unscaled(3, 2, 4, 3)},
        DrawCase{"Mode0ClippedAtTheEdges", 4, 3, 0, -2, 6, 50, 50, 50, 50, 10, 8,
                 Unscaled(-2, 6, 4, 3)},
        // Mode 1 centres in the area and ignores DestX and DestY.
        DrawCase{"Mode1Centred", 101, 51, 1, 7, 9, 1, 1, 640, 480, 640, 480,
                 Unscaled(270, 215, 101, 51)},
        // 8 div 2 - 3 div 2 = 3, where (8 - 3) div 2 would give 2.
        DrawCase{"Mode1HalvesEachValueOnItsOwn", 3, 3, 1, 0, 0, 0, 0, 8, 6, 12, 10,
                 Unscaled(3, 2, 3, 3)},
        DrawCase{"Mode1LargerThanTheArea", 6, 4, 1, 0, 0, 0, 0, 3, 3, 8, 8,
                 Unscaled(-2, -1, 6, 4)},
        // Mode 2 stretches to the area from (0, 0), nearest pixel.
        DrawCase{"Mode2FillsTheArea", 2, 3, 2, 5, 5, 1, 1, 4, 9, 7, 11,
                 [](int x, int y) -> std::optional<QPoint> {
                     if (x < 4 && y < 9)
                         return QPoint(x / 2, y / 3);
                     return std::nullopt;
                 }},
        // Mode 3 stretches to the destination rectangle.
        DrawCase{"Mode3FillsTheRectangle", 3, 2, 3, 1, 2, 6, 6, 100, 100, 9, 9,
                 [](int x, int y) -> std::optional<QPoint> {
                     if (x >= 1 && x < 7 && y >= 2 && y < 8)
                         return QPoint((x - 1) / 2, (y - 2) / 3);
                     return std::nullopt;
                 }},
        DrawCase{"Mode3ShrinksByDroppingPixels", 6, 6, 3, 0, 0, 2, 2, 100, 100, 4, 4,
                 [](int x, int y) -> std::optional<QPoint> {
                     if (x < 2 && y < 2)
                         return QPoint(3 * x + 1, 3 * y + 1);
                     return std::nullopt;
                 }},
        // Mode 4 tiles from (0, 0); the last tiles reach past the area.
        DrawCase{"Mode4Tiles", 30, 40, 4, 9, 9, 1, 1, 100, 100, 130, 130,
                 [](int x, int y) -> std::optional<QPoint> {
                     if (x < 120 && y < 120)
                         return QPoint(x % 30, y % 40);
                     return std::nullopt;
                 }},
        DrawCase{"Mode4ExactFit", 3, 2, 4, 0, 0, 0, 0, 6, 4, 8, 6,
                 [](int x, int y) -> std::optional<QPoint> {
                     if (x < 6 && y < 4)
                         return QPoint(x % 3, y % 2);
                     return std::nullopt;
                 }},
        DrawCase{"Mode4EmptyArea", 3, 2, 4, 0, 0, 0, 0, 0, 5, 8, 6, Nothing()},
        // Mode 5 copies the top-left part at DestX, DestY.
        DrawCase{"Mode5TopLeftPart", 6, 5, 5, 2, 1, 3, 2, 99, 99, 9, 9, Unscaled(2, 1, 3, 2)},
        DrawCase{"Mode5WholeSurface", 3, 2, 5, 0, 0, 3, 2, 0, 0, 5, 5, Unscaled(0, 0, 3, 2)},
        // Anything else draws nothing.
        DrawCase{"Mode6", 3, 2, 6, 0, 0, 3, 2, 5, 5, 5, 5, Nothing()},
        DrawCase{"ModeMinus1", 3, 2, -1, 0, 0, 3, 2, 5, 5, 5, 5, Nothing()},
        DrawCase{"Mode100", 3, 2, 100, 0, 0, 3, 2, 5, 5, 5, 5, Nothing()},
        DrawCase{"ModeIntMin", 3, 2, INT_MIN, 0, 0, 3, 2, 5, 5, 5, 5, Nothing()}),
    [](const ::testing::TestParamInfo<DrawCase> &info) { return std::string(info.param.name); });

TEST(DrawTest, EmptySurfaceDrawsNothingInAnyMode)
{
    TWin empty(0, 0);
    for (int mode = -1; mode <= 6; ++mode) {
        Target target(6, 6);
        empty.Draw(target.context, mode, 0, 0, 3, 3, 6, 6);
        ExpectPlacement(target.image, Nothing());
    }
}

TEST(DrawTest, SmoothingIsTheTargetsChoice)
{
    // Black and white side by side, stretched eight times: nearest pixel
    // gives only the two colours, smoothing gives greys in between.
    auto surface = MakeSurface(2, 1, [](int x, int) {
        const int v = x == 0 ? 0 : 255;
        return Bgr{v, v, v};
    });
    const auto greys = [&](bool smooth) {
        Target target(16, 8);
        target.context.setSmoothStretching(smooth);
        surface->Draw(target.context, 2, 0, 0, 0, 0, 16, 8);
        int count = 0;
        for (int x = 0; x < 16; ++x) {
            const int v = qRed(target.image.pixel(x, 4));
            count += v != 0 && v != 255;
        }
        return count;
    };
    EXPECT_EQ(greys(false), 0);
    EXPECT_GT(greys(true), 0);
}

TEST(DrawTest, ConvertsToTheTargetsPixelFormat)
{
    auto surface = MakeSurface(3, 2, DrawColour);
    for (QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_BGR888,
          QImage::Format_RGB888, QImage::Format_RGBX8888}) {
        Target target(5, 4, format);
        surface->Draw(target.context, 0, 1, 1, 0, 0, 0, 0);
        ExpectPlacement(target.image.convertToFormat(QImage::Format_RGB32), Unscaled(1, 1, 3, 2));
    }
}

TEST(DrawTest, CopiesBetweenSurfaces)
{
    auto from = MakeSurface(3, 2, DrawColour);
    TWin to(5, 4);
    from->Draw(*to.MemoryDC, 0, 2, 1, 0, 0, 0, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
            EXPECT_EQ(GetPixel(to, x, y), inside ? DrawColour(x - 2, y - 1) : Bgr{})
                << x << "," << y;
        }
}

TEST(DrawTest, DrawsThroughAnActivePainter)
{
    // The picture window paints through a painter it opened itself.
    auto surface = MakeSurface(4, 3, DrawColour);
    QImage window(9, 7, QImage::Format_RGB32);
    window.fill(kUntouched);
    {
        QPainter painter(&window);
        platform::PainterContext context(painter);
        surface->Draw(context, 0, 2, 3, 4, 3, 9, 7);
    }
    ExpectPlacement(window, Unscaled(2, 3, 4, 3));
}

TEST(DrawTest, DrawingLeavesTheSurfaceAsItWas)
{
    auto surface = MakeSurface(5, 3, Distinct);
    Target target(20, 20);
    for (int mode = 0; mode <= 5; ++mode)
        surface->Draw(target.context, mode, 1, 1, 7, 7, 20, 20);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(GetPixel(*surface, x, y), Distinct(x, y));
    // And Composite's direct writes are seen by the next copy.
    SetPixel(*surface, 0, 0, {1, 2, 3});
    surface->Draw(target.context, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(target.image.pixel(0, 0), qRgb(3, 2, 1));
}

} // namespace
