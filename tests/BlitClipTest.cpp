// Block copies into clipped painters: only the part the painter keeps is
// copied, and every pixel of that part arrives.

#include "platform/DrawingContext.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPaintEngine>
#include <QPainter>

namespace {

QImage Pattern(int w, int h)
{
    QImage image(w, h, QImage::Format_BGR888);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 11 % 256, (x + y) % 256));
    return image;
}

struct ClipCase {
    const char *name;
    QPoint translate;  // painter translation
    QRect clip;        // painter clip (logical), empty for none
    QRect systemClip;  // engine's system clip (device), empty for none
    QRect expected;    // target pixels (device) that receive the copy
};

// The copy goes to logical (5, 4) with size 30 x 20 from source (2, 1).
TEST(BlitClip, CopiesExactlyTheClippedPart)
{
    const ClipCase cases[] = {
        {"no clip", {0, 0}, {}, {}, QRect(5, 4, 30, 20)},
        {"painter clip", {0, 0}, QRect(10, 6, 8, 5), {}, QRect(10, 6, 8, 5)},
        {"translated painter clip", {3, 2}, QRect(10, 6, 8, 5), {}, QRect(13, 8, 8, 5)},
        {"system clip", {0, 0}, {}, QRect(0, 0, 12, 9), QRect(5, 4, 7, 5)},
        {"translated system clip", {3, 2}, {}, QRect(20, 10, 40, 40), QRect(20, 10, 18, 16)},
        {"both clips", {0, 0}, QRect(8, 0, 100, 100), QRect(0, 10, 100, 5),
         QRect(8, 10, 27, 5)},
        {"clip outside", {0, 0}, QRect(50, 50, 5, 5), {}, QRect()},
    };
    const QImage source = Pattern(40, 30);
    for (const ClipCase &tc : cases) {
        QImage target(64, 48, QImage::Format_RGB32);
        target.fill(Qt::white);
        {
            QPainter painter(&target);
            if (!tc.systemClip.isEmpty())
                painter.paintEngine()->setSystemClip(QRegion(tc.systemClip));
            painter.translate(tc.translate);
            if (!tc.clip.isEmpty())
                painter.setClipRect(tc.clip);
            platform::PainterContext into(painter);
            platform::MemoryContext from;
            QImage copy = source;
            from.select(&copy);
            platform::BitBlt(into, 5, 4, 30, 20, from, 2, 1);
        }
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) {
                const QPoint logical = QPoint(x, y) - tc.translate;
                const QRgb want = tc.expected.contains(x, y)
                                      ? source.pixel(logical.x() - 5 + 2, logical.y() - 4 + 1)
                                      : qRgb(255, 255, 255);
                ASSERT_EQ(target.pixel(x, y), want) << tc.name << " at " << x << "," << y;
            }
    }
}

} // namespace
