// The line control, painted into images and checked pixel by pixel.

#include "controls/Line.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const QColor Background(255, 255, 255);
const QColor Pen(0, 0, 255);
const QColor Brush(255, 0, 0);

// The control painted onto a white image of `margin` extra pixels on every
// side, so that anything drawn outside its box shows.
QImage PaintWithMargin(const TLine &line, int margin)
{
    QImage image(line.width() + 2 * margin, line.height() + 2 * margin, QImage::Format_RGB32);
    image.fill(Background);
    QPainter painter(&image);
    painter.translate(margin, margin);
    line.Paint(painter);
    painter.end();
    return image;
}

char Code(QRgb pixel)
{
    const QColor c(pixel);
    if (c == Background)
        return '.';
    if (c == Pen)
        return 'L';
    if (c == Brush)
        return 'B';
    return '?';
}

// Rows of the rectangle (x, y, w, h) of the painted control: '.' untouched,
// 'L' pen colour, 'B' brush colour.
std::vector<std::string> Map(const TLine &line, int x, int y, int w, int h)
{
    const QImage image = PaintWithMargin(line, 0);
    std::vector<std::string> rows;
    for (int j = y; j < y + h; ++j) {
        std::string row;
        for (int i = x; i < x + w; ++i)
            row += Code(image.pixel(i, j));
        rows.push_back(row);
    }
    return rows;
}

// Pixels of the whole control in the pen colour, as (x, y) pairs.
std::vector<std::pair<int, int>> PenPixels(const TLine &line)
{
    const QImage image = PaintWithMargin(line, 0);
    std::vector<std::pair<int, int>> pixels;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)) == Pen)
                pixels.emplace_back(x, y);
    return pixels;
}

std::vector<std::pair<int, int>> Row(int y, int x0, int x1)
{
    std::vector<std::pair<int, int>> pixels;
    for (int x = x0; x <= x1; ++x)
        pixels.emplace_back(x, y);
    return pixels;
}

std::vector<std::pair<int, int>> Rows(int y0, int y1, int x0, int x1)
{
    std::vector<std::pair<int, int>> pixels;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            pixels.emplace_back(x, y);
    return pixels;
}

// Counts the repaint requests the control makes.
class CountingLine : public TLine {
public:
    int invalidations = 0;

protected:
    void Invalidate() override
    {
        ++invalidations;
        TLine::Invalidate();
    }
};

void UseMapColours(TLine &line)
{
    line.SetLineColor(Pen);
    line.SetArrowColor(Brush);
}

} // namespace

TEST(LineTest, StartsWithItsDefaultsAndDrawsOneLineAtRowOne)
{
    TLine line;
    EXPECT_EQ(line.width(), 65);
    EXPECT_EQ(line.height(), 4);
    EXPECT_EQ(line.Direction(), drLeftRight);
    EXPECT_FALSE(line.Arrow1());
    EXPECT_FALSE(line.Arrow2());
    EXPECT_EQ(line.ArrowFactor(), 3);
    EXPECT_EQ(line.LineColor(), QColor(Qt::black));
    EXPECT_EQ(line.ArrowColor(), QColor(Qt::black));
    EXPECT_EQ(line.LineWidth(), 1);
    EXPECT_FALSE(line.autoFillBackground());
    EXPECT_TRUE(line.testAttribute(Qt::WA_NoSystemBackground));

    line.SetLineColor(Pen);
    EXPECT_EQ(PenPixels(line), Row(1, 0, 64));
}

TEST(LineTest, StraightLinesSitAtTheTruncatedHalfOfWhatThePenLeaves)
{
    struct Case {
        TLineDirection direction;
        int w, h, pen;
        std::vector<std::pair<int, int>> pixels;
    };
    const std::vector<Case> cases = {
        {drLeftRight, 10, 41, 1, Row(20, 0, 9)},
        {drLeftRight, 10, 40, 1, Row(19, 0, 9)},
        {drLeftRight, 10, 4, 0, Row(2, 0, 9)}, // a zero-width pen draws one pixel
        {drUpDown, 77, 3, 1, {{38, 0}, {38, 1}, {38, 2}}},
        {drUpDown, 76, 2, 1, {{37, 0}, {37, 1}}},
        // Wide pens: a band centred on the computed row or column.
        {drLeftRight, 5, 10, 3, Rows(2, 4, 0, 4)},  // y = 3
        {drLeftRight, 5, 10, 4, Rows(1, 4, 0, 4)},  // y = 3, even: one more above
        {drUpDown, 10, 2, 3, Rows(0, 1, 2, 4)},     // x = 3
        // Height 4, width 9: (4 - 9) / 2 truncates to -2; the band -6..2.
        {drLeftRight, 6, 4, 9, Rows(0, 2, 0, 5)},
        // Height 4, width 8: (4 - 8) / 2 = -2; the band -6..1.
        {drLeftRight, 6, 4, 8, Rows(0, 1, 0, 5)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << int(c.direction) << ", " << c.w
                                        << " x " << c.h << ", pen " << c.pen);
        TLine line;
        line.resize(c.w, c.h);
        line.SetDirection(c.direction);
        line.SetLineWidth(c.pen);
        line.SetLineColor(Pen);
        EXPECT_EQ(PenPixels(line), c.pixels);
    }
    EXPECT_EQ(TLine::LineSegment(drLeftRight, 65, 4, 9).from, (TLine::Point{0, -2}));
    EXPECT_EQ(TLine::LineSegment(drUpDown, 3, 20, 8).from, (TLine::Point{-2, 0}));
}

TEST(LineTest, DiagonalsRunCornerToCornerOfTheOuterEdgesAndLeaveOutTheEndPoint)
{
    TLine line;
    line.SetLineColor(Pen);

    // From (0, 0) to (100, 50): one pixel a column, the slope 1/2 of the
    // whole box, and exact halves go to the upper pixel.
    line.resize(100, 50);
    line.SetDirection(drTopLeftBottomRight);
    std::vector<std::pair<int, int>> expected;
    for (int x = 0; x < 100; ++x)
        expected.emplace_back(x, x / 2);
    auto sorted = [](std::vector<std::pair<int, int>> v) {
        std::sort(v.begin(), v.end(), [](auto a, auto b) {
            return a.second != b.second ? a.second < b.second : a.first < b.first;
        });
        return v;
    };
    EXPECT_EQ(PenPixels(line), sorted(expected));

    // From (40, 0) to (0, 40): (40, 0) lies outside the box, so the line
    // enters it at (39, 1) and ends at (1, 39); (39, 0) and (0, 39) stay clear.
    line.resize(40, 40);
    line.SetDirection(drTopRightBottomLeft);
    expected.clear();
    for (int k = 1; k < 40; ++k)
        expected.emplace_back(40 - k, k);
    EXPECT_EQ(PenPixels(line), sorted(expected));

    // A steep one: from (0, 0) to (3, 6); one pixel a row, x = y / 2, and
    // exact halves go to the left pixel.
    line.resize(3, 6);
    line.SetDirection(drTopLeftBottomRight);
    EXPECT_EQ(PenPixels(line), (std::vector<std::pair<int, int>>{
                                   {0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}));
}

TEST(LineTest, ArrowheadsForceAOnePixelPenAndEveryChangeRepaints)
{
    {
        SCOPED_TRACE("Arrow1 on, then width 5");
        CountingLine line;
        line.SetArrow1(true);
        line.invalidations = 0;
        line.SetLineWidth(5);
        EXPECT_EQ(line.LineWidth(), 1);
        EXPECT_EQ(line.invalidations, 1);
    }
    {
        SCOPED_TRACE("width 4, Arrow2 on, Arrow2 off");
        CountingLine line;
        line.SetLineWidth(4);
        EXPECT_EQ(line.LineWidth(), 4);
        line.SetArrow2(true);
        EXPECT_EQ(line.LineWidth(), 1);
        line.SetArrow2(false);
        EXPECT_EQ(line.LineWidth(), 1);
        line.SetLineWidth(6);
        EXPECT_EQ(line.LineWidth(), 6);
    }
    {
        SCOPED_TRACE("both on, one switched off: still forced");
        CountingLine line;
        line.SetArrow1(true);
        line.SetArrow2(true);
        line.SetArrow1(false);
        line.SetLineWidth(7);
        EXPECT_EQ(line.LineWidth(), 1);
    }
    {
        SCOPED_TRACE("negative width");
        CountingLine line;
        line.SetLineWidth(3);
        line.invalidations = 0;
        line.SetLineWidth(-2);
        EXPECT_EQ(line.LineWidth(), 3);
        EXPECT_EQ(line.invalidations, 1);
    }

    // Each property: an equal value changes nothing, a new one repaints once.
    CountingLine line;
    struct Step {
        const char *what;
        std::function<void()> assign;
        int repaints;
    };
    const std::vector<Step> steps = {
        {"same direction", [&] { line.SetDirection(drLeftRight); }, 0},
        {"new direction", [&] { line.SetDirection(drUpDown); }, 1},
        {"same factor", [&] { line.SetArrowFactor(3); }, 0},
        {"negative factor", [&] { line.SetArrowFactor(-4); }, 1},
        {"same Arrow1", [&] { line.SetArrow1(false); }, 0},
        {"Arrow1 on with width 1 already", [&] { line.SetArrow1(true); }, 1},
        {"same width", [&] { line.SetLineWidth(1); }, 0},
        {"same line colour", [&] { line.SetLineColor(Qt::black); }, 0},
        {"new line colour", [&] { line.SetLineColor(Pen); }, 1},
        {"same arrow colour", [&] { line.SetArrowColor(QColor(0, 0, 0)); }, 0},
        {"new arrow colour", [&] { line.SetArrowColor(Brush); }, 1},
        {"same Arrow2", [&] { line.SetArrow2(false); }, 0},
        {"Arrow2 on", [&] { line.SetArrow2(true); }, 1},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        line.invalidations = 0;
        step.assign();
        EXPECT_EQ(line.invalidations, step.repaints);
    }
    EXPECT_EQ(line.ArrowFactor(), -4);

    // Width 4 switched to an arrowhead repaints for the width and the arrow.
    CountingLine wide;
    wide.SetLineWidth(4);
    wide.invalidations = 0;
    wide.SetArrow1(true);
    EXPECT_EQ(wide.invalidations, 2);
}

TEST(LineTest, ArrowheadCornersOfTheDiagonals)
{
    using T = TLine::Triangle;
    struct Case {
        TLineDirection direction;
        int end, w, h, f;
        T expected;
    };
    const std::vector<Case> cases = {
        {drTopLeftBottomRight, 1, 40, 40, 3, T{{{0, 0}, {5, 1}, {1, 5}}}},
        {drTopLeftBottomRight, 2, 40, 40, 3, T{{{39, 39}, {38, 34}, {34, 38}}}},
        {drTopRightBottomLeft, 1, 40, 40, 3, T{{{39, 0}, {34, 1}, {38, 5}}}},
        {drTopRightBottomLeft, 2, 40, 40, 3, T{{{0, 39}, {1, 34}, {5, 38}}}},
        // a = 2, b = 4; t1 comes out at -1 and is moved to 0.
        {drTopLeftBottomRight, 1, 100, 50, 3, T{{{0, 0}, {5, 0}, {3, 5}}}},
        {drTopLeftBottomRight, 2, 100, 50, 3, T{{{99, 49}, {96, 44}, {94, 49}}}},
        {drTopRightBottomLeft, 1, 100, 50, 3, T{{{99, 0}, {94, 0}, {96, 5}}}},
        {drTopRightBottomLeft, 2, 100, 50, 3, T{{{0, 49}, {3, 44}, {5, 49}}}},
        // A flat box: the angle is 0, the base stands upright F + 1 along.
        {drTopLeftBottomRight, 1, 30, 0, 3, T{{{0, 0}, {4, 0}, {4, 3}}}},
        // A steep box: a = 4, b = 0; s2 comes out at -3 and is moved to 0.
        {drTopLeftBottomRight, 1, 10, 100, 3, T{{{0, 0}, {3, 4}, {0, 4}}}},
        // Factor 0 on a diagonal still reaches one pixel along.
        {drTopLeftBottomRight, 1, 40, 40, 0, T{{{0, 0}, {1, 1}, {1, 1}}}},
        // Negative factors: -1 collapses the centre onto the tip.
        {drTopLeftBottomRight, 1, 40, 40, -1, T{{{0, 0}, {0, 1}, {1, 0}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "direction " << int(c.direction) << " end " << c.end
                                        << ", " << c.w << " x " << c.h << ", F " << c.f);
        const auto head = TLine::Arrowhead(c.direction, c.end, c.w, c.h, 1, c.f);
        ASSERT_TRUE(head.has_value());
        EXPECT_EQ(*head, c.expected);
    }

    // Straight lines put the base F from the tip.
    EXPECT_EQ(*TLine::Arrowhead(drLeftRight, 1, 65, 4, 1, 3), (T{{{0, 1}, {3, -2}, {3, 4}}}));
    EXPECT_EQ(*TLine::Arrowhead(drLeftRight, 2, 65, 4, 1, 3), (T{{{64, 1}, {61, -2}, {61, 4}}}));
    EXPECT_EQ(*TLine::Arrowhead(drUpDown, 1, 21, 30, 1, 3), (T{{{10, 0}, {7, 3}, {13, 3}}}));
    EXPECT_EQ(*TLine::Arrowhead(drUpDown, 2, 21, 30, 1, 3), (T{{{10, 29}, {7, 26}, {13, 26}}}));
    EXPECT_EQ(*TLine::Arrowhead(drLeftRight, 1, 65, 4, 1, 0), (T{{{0, 1}, {0, 1}, {0, 1}}}));

    // A diagonal box of width 0 (or less) has no arrowheads.
    for (int end : {1, 2}) {
        EXPECT_FALSE(TLine::Arrowhead(drTopLeftBottomRight, end, 0, 30, 1, 3).has_value());
        EXPECT_FALSE(TLine::Arrowhead(drTopRightBottomLeft, end, 0, 30, 1, 3).has_value());
    }
}

TEST(LineTest, DiagonalArrowheadsAreFilledAndOutlined)
{
    TLine line;
    UseMapColours(line);
    line.resize(40, 40);
    line.SetDirection(drTopLeftBottomRight);
    line.SetArrow1(true);
    // The outline (L) over the fill (B) over the line, which the fill covers
    // where it runs inside the head.
    EXPECT_EQ(Map(line, 0, 0, 7, 7), (std::vector<std::string>{
                                         "LLL....",
                                         "LBBLLL.",
                                         "LBBBL..",
                                         ".LBL...",
                                         ".LL.L..",
                                         ".L...L.",
                                         "......L",
                                     }));

    // The corner moved to row 0 makes the top edge run along row 0.
    line.resize(100, 50);
    EXPECT_EQ(Map(line, 0, 0, 8, 6), (std::vector<std::string>{
                                         "LLLLLL..",
                                         ".LBBBL..",
                                         ".LBBLL..",
                                         "..LBL.LL",
                                         "..LL....",
                                         "...L....",
                                     }));

    // Both ends, both diagonals: each head's tip and corners in the pen
    // colour and its inside in the brush colour.
    struct Head {
        TLineDirection direction;
        std::array<std::pair<int, int>, 3> corners;
        std::pair<int, int> inside;
    };
    const std::vector<Head> heads = {
        {drTopLeftBottomRight, {{{0, 0}, {5, 1}, {1, 5}}}, {2, 2}},
        {drTopLeftBottomRight, {{{39, 39}, {38, 34}, {34, 38}}}, {37, 37}},
        {drTopRightBottomLeft, {{{39, 0}, {34, 1}, {38, 5}}}, {37, 2}},
        {drTopRightBottomLeft, {{{0, 39}, {1, 34}, {5, 38}}}, {2, 37}},
    };
    line.resize(40, 40);
    line.SetArrow2(true);
    for (const Head &head : heads) {
        SCOPED_TRACE(testing::Message() << "direction " << int(head.direction) << " tip "
                                        << head.corners[0].first << ","
                                        << head.corners[0].second);
        line.SetDirection(head.direction);
        const QImage image = PaintWithMargin(line, 0);
        for (auto [x, y] : head.corners)
            EXPECT_EQ(QColor(image.pixel(x, y)), Pen) << x << "," << y;
        EXPECT_EQ(QColor(image.pixel(head.inside.first, head.inside.second)), Brush);
    }
}

TEST(LineTest, StraightArrowheadsAndTheirEdgeCases)
{
    TLine line;
    UseMapColours(line);
    line.resize(12, 9);
    line.SetArrow1(true);
    line.SetArrow2(true);
    // y = 4; heads (0, 4), (3, 1), (3, 7) and (11, 4), (8, 1), (8, 7).
    EXPECT_EQ(Map(line, 0, 0, 12, 9), (std::vector<std::string>{
                                          "............",
                                          "...L....L...",
                                          "..LL....LL..",
                                          ".LBL....LBL.",
                                          "LBBLLLLLLBBL",
                                          ".LBL....LBL.",
                                          "..LL....LL..",
                                          "...L....L...",
                                          "............",
                                      }));

    // Factor 0: the head collapses onto its tip, which keeps the line's colour.
    line.SetArrowFactor(0);
    EXPECT_EQ(Map(line, 0, 3, 12, 3), (std::vector<std::string>{
                                          "............",
                                          "LLLLLLLLLLLL",
                                          "............",
                                      }));
}

TEST(LineTest, NothingIsDrawnOutsideTheBox)
{
    // Heads of the default control reach above and below its four rows, and
    // huge factors reach anywhere; only the box itself may change.
    for (int f : {3, 40, INT_MAX, INT_MIN, -7}) {
        for (TLineDirection d :
             {drLeftRight, drUpDown, drTopLeftBottomRight, drTopRightBottomLeft}) {
            SCOPED_TRACE(testing::Message() << "direction " << int(d) << ", F " << f);
            TLine line;
            UseMapColours(line);
            line.resize(15, 9);
            line.SetDirection(d);
            line.SetArrowFactor(f);
            line.SetArrow1(true);
            line.SetArrow2(true);
            const int margin = 20;
            const QImage image = PaintWithMargin(line, margin);
            int changed = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const bool inBox = x >= margin && x < margin + 15 && y >= margin
                                       && y < margin + 9;
                    const char code = Code(image.pixel(x, y));
                    if (!inBox)
                        ASSERT_EQ(code, '.') << x - margin << "," << y - margin;
                    else
                        changed += code != '.';
                }
            EXPECT_GT(changed, 0);
        }
    }

    // A head of the largest factor fills the box beyond its tip.
    TLine line;
    UseMapColours(line);
    line.resize(15, 9);
    line.SetArrowFactor(INT_MAX);
    line.SetArrow1(true);
    const QImage image = PaintWithMargin(line, 0);
    EXPECT_EQ(QColor(image.pixel(10, 0)), Brush);
    EXPECT_EQ(QColor(image.pixel(10, 8)), Brush);
}

TEST(LineTest, WideDiagonalIsABandAroundTheLine)
{
    TLine line;
    line.SetLineColor(Pen);
    line.resize(20, 20);
    line.SetDirection(drTopLeftBottomRight);
    line.SetLineWidth(3);
    // Three pixels across a 45 degree line reach two columns to either side.
    const QImage image = PaintWithMargin(line, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool expected = std::abs(x - y) <= 2;
            ASSERT_EQ(QColor(image.pixel(x, y)) == Pen, expected) << x << "," << y;
        }
}

TEST(LineTest, AsAChildItPaintsOnlyTheLineOverItsParent)
{
    QWidget parent;
    parent.resize(80, 20);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(0, 128, 0));
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    TLine line(&parent);
    line.move(5, 6);
    line.SetLineColor(Pen);

    const QImage image = parent.grab().toImage();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 80; ++x) {
            const bool onLine = y == 7 && x >= 5 && x < 70;
            ASSERT_EQ(QColor(image.pixel(x, y)), onLine ? Pen : QColor(0, 128, 0))
                << x << "," << y;
        }
    EXPECT_TRUE(line.testAttribute(Qt::WA_TransparentForMouseEvents));
}

int main(int argc, char **argv)
{
    // Test discovery runs this binary without the test environment; the
    // widgets here never need a real display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
