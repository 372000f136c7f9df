#pragma once
// The bitmap object: a picture in memory that is read from a BMP file or
// written to one, with a drawing context for block copies to and from it.

#include "platform/DrawingContext.h"

#include <QImage>
#include <string>

namespace platform {

class TBitmap {
public:
    TBitmap();

    int width() const { return image_.width(); }
    int height() const { return image_.height(); }

    // Size changes keep no content; a 24-bit picture of the new size starts
    // black.
    void setWidth(int width);
    void setHeight(int height);
    void setPixelFormat24();

    // Reads a BMP file. On failure it throws with a message for the user and
    // the object is left as it was.
    void loadFromFile(const std::string &fileName);
    // The same for a file's bytes already in memory.
    void loadFromBytes(const QByteArray &bytes);

    // Writes the picture as a 24-bit BMP, atomically: on failure it throws
    // and whatever the name held before is untouched.
    void saveToFile(const std::string &fileName) const;

    DrawingContext &canvas() { return canvas_; }
    const QImage &image() const { return image_; }

private:
    void resize(int width, int height);
    void take(QImage picture);

    QImage image_;
    int pendingWidth_ = 0;
    int pendingHeight_ = 0;
    MemoryContext canvas_;
};

} // namespace platform
