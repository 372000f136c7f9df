#include "controls/Line.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRect>

#include <algorithm>
#include <cmath>

namespace {

// Products of coordinates and differences overflow 64 bits for arrowheads
// of extreme ArrowFactor values; 128 bits hold all of them exactly.
using Wide = __int128;

Wide FloorDiv(Wide n, Wide d) // d > 0
{
    Wide q = n / d;
    if (n % d != 0 && n < 0)
        --q;
    return q;
}

Wide CeilDiv(Wide n, Wide d) // d > 0
{
    Wide q = n / d;
    if (n % d != 0 && n > 0)
        ++q;
    return q;
}

Wide Abs(Wide v) { return v < 0 ? -v : v; }

// Nearest integer, halves to the even neighbour (the default rounding mode).
int64_t Nearest(long double v) { return static_cast<int64_t>(std::nearbyint(v)); }

// Writes pixels into the control's box and nowhere else.
class BoxRaster {
public:
    BoxRaster(QPainter &canvas, int32_t w, int32_t h) : Canvas_(canvas), W_(w), H_(h) {}

    // Pixels x0..x1 (inclusive) of row y.
    void Span(Wide y, Wide x0, Wide x1, const QColor &color)
    {
        if (y < 0 || y >= H_)
            return;
        x0 = std::max<Wide>(x0, 0);
        x1 = std::min<Wide>(x1, W_ - 1);
        if (x0 > x1)
            return;
        Canvas_.fillRect(QRect(int(x0), int(y), int(x1 - x0 + 1), 1), color);
    }

    // A one-pixel line from a to b, b itself left out. One pixel per step
    // along the major axis; the minor coordinate is the exact one rounded to
    // nearest, halves going to the smaller coordinate.
    void ThinLine(TLine::Point a, TLine::Point b, const QColor &color)
    {
        const Wide dx = Wide(b.x) - a.x;
        const Wide dy = Wide(b.y) - a.y;
        const Wide adx = Abs(dx);
        const Wide ady = Abs(dy);
        if (adx == 0 && ady == 0)
            return;
        if (adx >= ady) {
            const Wide sx = dx > 0 ? 1 : -1;
            Wide first = 0;
            Wide last = adx - 1;
            // Only the steps whose x lies in the box.
            if (sx > 0) {
                first = std::max<Wide>(first, -Wide(a.x));
                last = std::min<Wide>(last, Wide(W_) - 1 - a.x);
            } else {
                first = std::max<Wide>(first, Wide(a.x) - (W_ - 1));
                last = std::min<Wide>(last, Wide(a.x));
            }
            for (Wide k = first; k <= last; ++k) {
                const Wide y = a.y + CeilDiv(2 * dy * k - adx, 2 * adx);
                const Wide x = a.x + sx * k;
                Span(y, x, x, color);
            }
        } else {
            const Wide sy = dy > 0 ? 1 : -1;
            Wide first = 0;
            Wide last = ady - 1;
            if (sy > 0) {
                first = std::max<Wide>(first, -Wide(a.y));
                last = std::min<Wide>(last, Wide(H_) - 1 - a.y);
            } else {
                first = std::max<Wide>(first, Wide(a.y) - (H_ - 1));
                last = std::min<Wide>(last, Wide(a.y));
            }
            for (Wide k = first; k <= last; ++k) {
                const Wide x = a.x + CeilDiv(2 * dx * k - ady, 2 * ady);
                const Wide y = a.y + sy * k;
                Span(y, x, x, color);
            }
        }
    }

    // A pen wider than one pixel: the band of `width` pixels around the line
    // through a and b. Its round caps would only reach outside the box, since
    // every line runs from one edge of the box to the opposite one. A pixel
    // belongs to the band when its offset e from the line, measured down (or,
    // for a vertical line, to the right), has -width/2 <= e < width/2.
    void WideLine(TLine::Point a, TLine::Point b, int32_t width, const QColor &color)
    {
        const Wide dx = Wide(b.x) - a.x;
        const Wide dy = Wide(b.y) - a.y;
        if (dx == 0 && dy == 0)
            return;
        const Wide sign = dx > 0 ? 1 : -1;
        const Wide limit2 = Wide(width) * width * (dx * dx + dy * dy); // (width * length)^2
        // m = 2 e * length = alpha * x + beta(y)
        const Wide alpha = -2 * sign * dy;
        auto beta = [&](Wide y) { return 2 * sign * ((y - a.y) * dx + Wide(a.x) * dy); };
        auto inside = [&](Wide m) {
            const bool below = m < 0 || m * m < limit2;  // m < width * length
            const bool above = m >= 0 || m * m <= limit2; // m >= -width * length
            return below && above;
        };
        for (Wide y = 0; y < H_; ++y) {
            const Wide b0 = beta(y);
            Wide lo = 0;
            Wide hi = W_ - 1;
            if (alpha == 0) {
                if (!inside(b0))
                    continue;
            } else {
                // Estimate the ends in floating point, then settle them exactly.
                const long double len = std::sqrt(static_cast<long double>(dx * dx + dy * dy));
                const long double reach = static_cast<long double>(width) * len;
                long double e1 = (-reach - static_cast<long double>(b0)) / static_cast<long double>(alpha);
                long double e2 = (reach - static_cast<long double>(b0)) / static_cast<long double>(alpha);
                if (e1 > e2)
                    std::swap(e1, e2);
                lo = std::max<Wide>(lo, static_cast<Wide>(std::max<long double>(std::floor(e1) - 1, -1)));
                hi = std::min<Wide>(hi, static_cast<Wide>(std::min<long double>(std::ceil(e2) + 1, W_)));
                while (lo <= hi && !inside(alpha * lo + b0))
                    ++lo;
                while (hi >= lo && !inside(alpha * hi + b0))
                    --hi;
                // The estimate may have stopped short of the true ends.
                while (lo > 0 && lo <= hi && inside(alpha * (lo - 1) + b0))
                    --lo;
                while (hi < W_ - 1 && lo <= hi && inside(alpha * (hi + 1) + b0))
                    ++hi;
            }
            Span(y, lo, hi, color);
        }
    }

    // A filled triangle: every pixel on or inside it in the brush colour, then
    // its outline with the one-pixel pen. A triangle without area fills
    // nothing.
    void Triangle(const TLine::Triangle &t, const QColor &pen, const QColor &brush)
    {
        const Wide area2 = (Wide(t[1].x) - t[0].x) * (Wide(t[2].y) - t[0].y)
                           - (Wide(t[1].y) - t[0].y) * (Wide(t[2].x) - t[0].x);
        if (area2 != 0) {
            const Wide sign = area2 > 0 ? 1 : -1;
            const Wide top = std::max<Wide>(0, std::min({t[0].y, t[1].y, t[2].y}));
            const Wide bottom = std::min<Wide>(H_ - 1, std::max({t[0].y, t[1].y, t[2].y}));
            for (Wide y = top; y <= bottom; ++y) {
                Wide lo = std::max<Wide>(0, std::min({t[0].x, t[1].x, t[2].x}));
                Wide hi = std::min<Wide>(W_ - 1, std::max({t[0].x, t[1].x, t[2].x}));
                for (int i = 0; i < 3 && lo <= hi; ++i) {
                    const TLine::Point &p = t[i];
                    const TLine::Point &q = t[(i + 1) % 3];
                    const Wide ex = Wide(q.x) - p.x;
                    const Wide ey = Wide(q.y) - p.y;
                    // sign * cross(q - p, (x, y) - p) >= 0, as A * x + B >= 0
                    const Wide A = -ey * sign;
                    const Wide B = sign * (ex * (y - p.y) + ey * p.x);
                    if (A > 0)
                        lo = std::max(lo, CeilDiv(-B, A));
                    else if (A < 0)
                        hi = std::min(hi, FloorDiv(B, -A));
                    else if (B < 0)
                        hi = lo - 1;
                }
                Span(y, lo, hi, brush);
            }
        }
        ThinLine(t[0], t[1], pen);
        ThinLine(t[1], t[2], pen);
        ThinLine(t[2], t[0], pen);
    }

private:
    QPainter &Canvas_;
    const int32_t W_;
    const int32_t H_;
};

} // namespace

TLine::TLine(QWidget *parent) : QWidget(parent)
{
    // No background of its own: whatever lies beneath shows through, and a
    // click lands on what lies beneath.
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAutoFillBackground(false);
    resize(65, 4);
    BrushColor_ = Qt::black;
    ArrowFactor_ = 3;
}

TLine::~TLine() = default;

void TLine::SetDirection(TLineDirection value)
{
    if (value == Direction_)
        return;
    Direction_ = value;
    Invalidate();
}

void TLine::SetArrowFactor(int32_t value)
{
    if (value == ArrowFactor_)
        return;
    ArrowFactor_ = value;
    Invalidate();
}

void TLine::SetArrow1(bool value)
{
    if (value == Arrow1_)
        return;
    Arrow1_ = value;
    if (value)
        SetLineWidth(1);
    Invalidate();
}

void TLine::SetArrow2(bool value)
{
    if (value == Arrow2_)
        return;
    Arrow2_ = value;
    if (value)
        SetLineWidth(1);
    Invalidate();
}

void TLine::SetLineWidth(int32_t value)
{
    if (value == PenWidth_)
        return;
    // The arrowheads are drawn for a one-pixel outline only.
    const int32_t width = Arrow1_ || Arrow2_ ? 1 : value;
    if (width >= 0)
        PenWidth_ = width;
    Invalidate();
}

void TLine::SetLineColor(const QColor &value)
{
    if (value == PenColor_)
        return;
    PenColor_ = value;
    Invalidate();
}

void TLine::SetArrowColor(const QColor &value)
{
    if (value == BrushColor_)
        return;
    BrushColor_ = value;
    Invalidate();
}

void TLine::Invalidate() { update(); }

void TLine::paintEvent(QPaintEvent *)
{
    QPainter canvas(this);
    Paint(canvas);
}

TLine::Segment TLine::LineSegment(TLineDirection direction, int32_t w, int32_t h,
                                  int32_t penWidth)
{
    // Halving truncates toward zero, so a pen wider than the box puts the
    // line at a negative offset.
    switch (direction) {
    case drLeftRight: {
        const int64_t y = (int64_t(h) - penWidth) / 2;
        return {{0, y}, {w, y}};
    }
    case drUpDown: {
        const int64_t x = (int64_t(w) - penWidth) / 2;
        return {{x, 0}, {x, h}};
    }
    case drTopLeftBottomRight:
        return {{0, 0}, {w, h}};
    case drTopRightBottomLeft:
        return {{w, 0}, {0, h}};
    }
    return {{0, 0}, {0, 0}};
}

std::optional<TLine::Triangle> TLine::Arrowhead(TLineDirection direction, int end, int32_t w,
                                                int32_t h, int32_t penWidth, int32_t f)
{
    const int64_t F = f;
    const int64_t W = w;
    const int64_t H = h;
    if (direction == drLeftRight || direction == drUpDown) {
        const Segment line = LineSegment(direction, w, h, penWidth);
        if (direction == drLeftRight) {
            const int64_t y = line.from.y;
            if (end == 1)
                return Triangle{{{0, y}, {F, y - F}, {F, y + F}}};
            return Triangle{{{W - 1, y}, {W - 1 - F, y - F}, {W - 1 - F, y + F}}};
        }
        const int64_t x = line.from.x;
        if (end == 1)
            return Triangle{{{x, 0}, {x - F, F}, {x + F, F}}};
        return Triangle{{{x, H - 1}, {x - F, H - 1 - F}, {x + F, H - 1 - F}}};
    }
    if (direction != drTopLeftBottomRight && direction != drTopRightBottomLeft)
        return std::nullopt;
    if (w <= 0)
        return std::nullopt;

    // Extended precision throughout; the base's centre lies F + 1 pixels from
    // the tip along the line, its corners F pixels to either side, found
    // through the angle of the perpendicular.
    const long double halfPi = 1.57079632679489661923132169163975144L;
    const long double theta =
        std::atan(static_cast<long double>(h) / static_cast<long double>(w));
    const long double along = static_cast<long double>(F + 1);
    const int64_t a = Nearest(std::sin(theta) * along);
    const int64_t b = Nearest(std::cos(theta) * along);
    const long double sinTheta = std::cos(halfPi - theta);
    const long double cosTheta = std::sin(halfPi - theta);
    const long double lf = static_cast<long double>(F);
    // Corners on the sides that meet at the tip stay inside the box.
    const int64_t s1 = std::max<int64_t>(0, Nearest(b + lf * sinTheta));
    const int64_t t1 = std::max<int64_t>(0, Nearest(a - lf * cosTheta));
    const int64_t s2 = std::max<int64_t>(0, Nearest(b - lf * sinTheta));
    const int64_t t2 = std::max<int64_t>(0, Nearest(a + lf * cosTheta));

    if (direction == drTopLeftBottomRight) {
        if (end == 1)
            return Triangle{{{0, 0}, {s1, t1}, {s2, t2}}};
        return Triangle{{{W - 1, H - 1}, {W - 1 - s2, H - 1 - t2}, {W - 1 - s1, H - 1 - t1}}};
    }
    if (end == 1)
        return Triangle{{{W - 1, 0}, {W - 1 - s1, t1}, {W - 1 - s2, t2}}};
    return Triangle{{{0, H - 1}, {s2, H - 1 - t2}, {s1, H - 1 - t1}}};
}

void TLine::Paint(QPainter &canvas) const
{
    const int32_t w = width();
    const int32_t h = height();
    BoxRaster raster(canvas, w, h);

    const Segment line = LineSegment(Direction_, w, h, PenWidth_);
    if (PenWidth_ <= 1)
        raster.ThinLine(line.from, line.to, PenColor_);
    else
        raster.WideLine(line.from, line.to, PenWidth_, PenColor_);

    for (int end = 1; end <= 2; ++end) {
        if (!(end == 1 ? Arrow1_ : Arrow2_))
            continue;
        if (const auto head = Arrowhead(Direction_, end, w, h, PenWidth_, ArrowFactor_))
            raster.Triangle(*head, PenColor_, BrushColor_);
    }
}
