#include "platform/Bitmap.h"

#include "platform/BitmapReader.h"
#include "platform/BitmapWriter.h"

namespace platform {

TBitmap::TBitmap()
{
    canvas_.select(&image_);
}

void TBitmap::resize(int width, int height)
{
    const QImage::Format format =
        image_.isNull() ? QImage::Format_BGR888 : image_.format();
    canvas_.select(nullptr);
    if (width > 0 && height > 0) {
        image_ = QImage(width, height, format);
        image_.fill(0);
    } else {
        image_ = QImage();
    }
    canvas_.select(&image_);
}

void TBitmap::setWidth(int width)
{
    // A null image remembers no size, so the height waits for setHeight.
    pendingWidth_ = width;
    resize(pendingWidth_, pendingHeight_);
}

void TBitmap::setHeight(int height)
{
    pendingHeight_ = height;
    resize(pendingWidth_, pendingHeight_);
}

void TBitmap::setPixelFormat24()
{
    if (image_.format() == QImage::Format_BGR888 || image_.isNull())
        return;
    canvas_.select(nullptr);
    image_ = image_.convertToFormat(QImage::Format_BGR888);
    canvas_.select(&image_);
}

void TBitmap::loadFromFile(const std::string &fileName)
{
    take(readBitmapFile(fileName));
}

void TBitmap::loadFromBytes(const QByteArray &bytes)
{
    take(decodeBitmap(bytes));
}

void TBitmap::take(QImage picture)
{
    canvas_.select(nullptr);
    image_ = std::move(picture);
    pendingWidth_ = image_.width();
    pendingHeight_ = image_.height();
    canvas_.select(&image_);
}

void TBitmap::saveToFile(const std::string &fileName) const
{
    writeBitmapFile(fileName, image_);
}

} // namespace platform
