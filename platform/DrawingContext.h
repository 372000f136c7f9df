#pragma once
// Drawing contexts and the two block copies between them.
//
// A context is either a memory context, drawing on an image whose pixels
// someone else owns (a surface's bitmap, a bitmap object), or a painter
// context over a QPainter that is already painting a window or an image.
// Copies always take their source from a memory context.

#include <QImage>
#include <QPainter>
#include <memory>

namespace platform {

class DrawingContext {
public:
    virtual ~DrawingContext() = default;

    // The image this context draws on; null when it draws through a painter
    // that belongs to someone else (a window's paint).
    virtual QImage *image() { return nullptr; }

    // A painter on the context's target, valid until the context dies or the
    // target changes. Painting through it goes straight to the target.
    virtual QPainter &painter() = 0;

    // Ends whatever painting the context opened for a copy, so that the
    // target's bytes are complete and free to be read or written directly.
    virtual void finishPainting() {}

    // Scaled copies into this context use nearest-pixel sampling unless the
    // context asks for smoothing.
    bool smoothStretching() const { return smoothStretching_; }
    void setSmoothStretching(bool on) { smoothStretching_ = on; }

private:
    bool smoothStretching_ = false;
};

// A context that draws on an image it does not own. `select` switches it to
// another image (or to none); the previous selection is not kept.
class MemoryContext final : public DrawingContext {
public:
    MemoryContext() = default;
    ~MemoryContext() override;
    MemoryContext(const MemoryContext &) = delete;
    MemoryContext &operator=(const MemoryContext &) = delete;

    void select(QImage *image);
    QImage *image() override { return image_; }
    QPainter &painter() override;
    void finishPainting() override { painter_.reset(); }

private:
    QImage *image_ = nullptr;
    std::unique_ptr<QPainter> painter_;
};

// A context over a painter that is already active, such as the one a
// window's paint event opens.
class PainterContext final : public DrawingContext {
public:
    explicit PainterContext(QPainter &painter) : painter_(painter) {}
    QPainter &painter() override { return painter_; }

private:
    QPainter &painter_;
};

// Unscaled copy of a w x h rectangle at (sx, sy) of `source` to (x, y) of
// `target`, converting between the two pixel formats.
void BitBlt(DrawingContext &target, int x, int y, int w, int h,
            DrawingContext &source, int sx, int sy);

// Copy of the sw x sh rectangle at (sx, sy) of `source`, scaled to the
// w x h rectangle at (x, y) of `target`.
void StretchBlt(DrawingContext &target, int x, int y, int w, int h,
                DrawingContext &source, int sx, int sy, int sw, int sh);

} // namespace platform
