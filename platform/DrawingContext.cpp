#include "platform/DrawingContext.h"

namespace platform {

MemoryContext::~MemoryContext() = default;

void MemoryContext::select(QImage *image)
{
    painter_.reset();
    image_ = image;
}

QPainter &MemoryContext::painter()
{
    if (!painter_) {
        painter_ = std::make_unique<QPainter>();
        if (image_ && !image_->isNull())
            painter_->begin(image_);
    }
    return *painter_;
}

namespace {

// The source of every copy is a memory context; anything else has nothing
// to copy from.
const QImage *sourceImage(DrawingContext &source)
{
    const QImage *image = source.image();
    return image && !image->isNull() ? image : nullptr;
}

QPainter *targetPainter(DrawingContext &target)
{
    QPainter &p = target.painter();
    return p.isActive() ? &p : nullptr;
}

} // namespace

void BitBlt(DrawingContext &target, int x, int y, int w, int h,
            DrawingContext &source, int sx, int sy)
{
    if (w <= 0 || h <= 0)
        return;
    const QImage *src = sourceImage(source);
    QPainter *p = targetPainter(target);
    if (!src || !p)
        return;
    QRect from(sx, sy, w, h);
    QRect to(x, y, w, h);
    // Copy only what the target would keep: a clipped paint (a window's
    // visible part) needs no conversion of the pixels outside it.
    if (p->hasClipping()) {
        const QRect clip = p->clipBoundingRect().toAlignedRect();
        const QRect kept = to.intersected(clip);
        if (kept.isEmpty())
            return;
        from.translate(kept.topLeft() - to.topLeft());
        from.setSize(kept.size());
        to = kept;
    }
    const QPainter::CompositionMode oldMode = p->compositionMode();
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(to.topLeft(), *src, from);
    p->setCompositionMode(oldMode);
    target.finishPainting();
}

void StretchBlt(DrawingContext &target, int x, int y, int w, int h,
                DrawingContext &source, int sx, int sy, int sw, int sh)
{
    if (w == 0 || h == 0 || sw <= 0 || sh <= 0)
        return;
    const QImage *src = sourceImage(source);
    QPainter *p = targetPainter(target);
    if (!src || !p)
        return;
    const QPainter::CompositionMode oldMode = p->compositionMode();
    const bool oldSmooth = p->testRenderHint(QPainter::SmoothPixmapTransform);
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->setRenderHint(QPainter::SmoothPixmapTransform, target.smoothStretching());
    p->drawImage(QRectF(x, y, w, h), *src, QRectF(sx, sy, sw, sh));
    p->setRenderHint(QPainter::SmoothPixmapTransform, oldSmooth);
    p->setCompositionMode(oldMode);
    target.finishPainting();
}

} // namespace platform
