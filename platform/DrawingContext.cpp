#include "platform/DrawingContext.h"

#include <QPaintEngine>

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

// The part of `to` (logical coordinates) that a paint through `p` can
// change: inside the painter's own clip and inside the system clip, the
// region a window's paint event exposes, which QPainter::hasClipping does
// not report. The system clip is in device pixels, so it is used only where
// logical and device coordinates differ by a whole-pixel offset.
QRect keptPart(QPainter &p, const QRect &to)
{
    QRect kept = to;
    if (p.hasClipping())
        kept &= p.clipBoundingRect().toAlignedRect();
    const QPaintEngine *engine = p.paintEngine();
    const QPaintDevice *device = p.device();
    if (engine && device && !engine->systemClip().isEmpty() && device->devicePixelRatio() == 1.0) {
        const QTransform toDevice = p.deviceTransform();
        const int dx = qRound(toDevice.dx()), dy = qRound(toDevice.dy());
        if (toDevice.type() <= QTransform::TxTranslate && dx == toDevice.dx() && dy == toDevice.dy())
            kept &= engine->systemClip().boundingRect().translated(-dx, -dy);
    }
    return kept;
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
    const QRect kept = keptPart(*p, to);
    if (kept.isEmpty())
        return;
    if (kept != to) {
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
