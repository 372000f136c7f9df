#pragma once
// TLine: a control without a window of its own that draws one straight line
// across its box (horizontal, vertical or along either diagonal), optionally
// with a filled triangular arrowhead at either end. It paints no background,
// so the rest of its box shows whatever lies beneath it.
//
// On Qt it is a child widget that never fills its background and lets mouse
// events through to what lies below. Its pen (LineColor, LineWidth) and brush
// (ArrowColor) are plain values; Paint draws with them on any painter, so the
// same picture can be painted onto a window, a pixmap or an image.
//
// Pixels follow the rules of the classic one-pixel line: a line includes its
// start point and leaves out its end point, and where the exact line passes
// halfway between two pixels the upper (for mostly horizontal lines) or the
// left (for mostly vertical lines) one is lit. Painting is clipped to the box.

#include <QColor>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QPainter;
class QPaintEvent;

enum TLineDirection : uint8_t {
    drLeftRight,
    drUpDown,
    drTopLeftBottomRight,
    drTopRightBottomLeft,
};

class TLine : public QWidget {
public:
    // A point in the control's own coordinates. 64 bits, because an arrowhead
    // of any ArrowFactor reaches far outside a box of any size.
    struct Point {
        int64_t x;
        int64_t y;
        bool operator==(const Point &) const = default;
    };
    struct Segment {
        Point from;
        Point to; // not drawn
    };
    // Tip first, then the two corners of the base, in drawing order.
    using Triangle = std::array<Point, 3>;

    // 65 x 4, drLeftRight, no arrowheads, ArrowFactor 3, black pen of width 1
    // and black brush.
    explicit TLine(QWidget *parent = nullptr);
    ~TLine() override;

    TLineDirection Direction() const { return Direction_; }
    void SetDirection(TLineDirection value);

    // Switching an arrowhead on also sets LineWidth to 1.
    bool Arrow1() const { return Arrow1_; }
    void SetArrow1(bool value);
    bool Arrow2() const { return Arrow2_; }
    void SetArrow2(bool value);

    // Arrowhead size in pixels; any value is accepted.
    int32_t ArrowFactor() const { return ArrowFactor_; }
    void SetArrowFactor(int32_t value);

    // The pen's colour and width, and the brush's colour. While an arrowhead
    // is on, any width assigned becomes 1. A negative width is ignored by the
    // pen (it keeps its width), as a pen has no negative widths.
    QColor LineColor() const { return PenColor_; }
    void SetLineColor(const QColor &value);
    int32_t LineWidth() const { return PenWidth_; }
    void SetLineWidth(int32_t value);
    QColor ArrowColor() const { return BrushColor_; }
    void SetArrowColor(const QColor &value);

    // Draws the line and the arrowheads that are on onto `canvas`, in the
    // control's coordinates (0, 0 is the box's top-left corner), clipped to
    // the box. Nothing else in the box is touched.
    void Paint(QPainter &canvas) const;

    // The geometry Paint uses, for a box of width w and height h, pen width
    // penWidth and arrow factor f.
    static Segment LineSegment(TLineDirection direction, int32_t w, int32_t h,
                               int32_t penWidth);
    // `end` is 1 for the start end, 2 for the far end. Empty for a diagonal
    // in a box of width 0 or less, or an unknown direction.
    static std::optional<Triangle> Arrowhead(TLineDirection direction, int end, int32_t w,
                                             int32_t h, int32_t penWidth, int32_t f);

protected:
    // Requests a repaint of the control.
    virtual void Invalidate();
    void paintEvent(QPaintEvent *event) override;

private:
    TLineDirection Direction_ = drLeftRight;
    bool Arrow1_ = false;
    bool Arrow2_ = false;
    int32_t ArrowFactor_ = 0;
    QColor PenColor_ = Qt::black;
    int32_t PenWidth_ = 1;
    QColor BrushColor_ = Qt::white;
};
