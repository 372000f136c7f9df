#include "platform/BitmapWriter.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cstring>
#include <stdexcept>

namespace platform {

namespace {

void put16(uint8_t *at, uint32_t v)
{
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
}

void put32(uint8_t *at, uint32_t v)
{
    put16(at, v);
    put16(at + 2, v >> 16);
}

constexpr uint32_t kHeadersSize = 54;

} // namespace

std::vector<uint8_t> encodeBitmap(const QImage &picture)
{
    const QImage image = picture.format() == QImage::Format_BGR888
                             ? picture
                             : picture.convertToFormat(QImage::Format_BGR888);
    const uint32_t width = uint32_t(image.isNull() ? 0 : image.width());
    const uint32_t height = uint32_t(image.isNull() ? 0 : image.height());
    const size_t stride = ((size_t(width) * 24 + 31) / 32) * 4;
    const size_t imageSize = stride * height;
    if (kHeadersSize + imageSize > UINT32_MAX)
        throw std::runtime_error("The picture is too large for a bitmap file");

    std::vector<uint8_t> bytes(kHeadersSize + imageSize, 0);
    uint8_t *h = bytes.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, uint32_t(kHeadersSize + imageSize));
    put32(h + 10, kHeadersSize);
    put32(h + 14, 40);
    put32(h + 18, width);
    put32(h + 22, height);
    put16(h + 26, 1);
    put16(h + 28, 24);
    put32(h + 30, 0);
    put32(h + 34, uint32_t(imageSize));

    const size_t rowBytes = size_t(width) * 3;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t *row = h + kHeadersSize + size_t(height - 1 - y) * stride;
        std::memcpy(row, image.constScanLine(int(y)), rowBytes);
    }
    return bytes;
}

void writeBitmapFile(const std::string &fileName, const QImage &picture)
{
    const QString name = QString::fromStdString(fileName);
    if (fileName.empty())
        throw std::runtime_error("Cannot create file: no file name was given");
    if (QFileInfo(name).isDir())
        throw std::runtime_error("Cannot create file " + fileName + ": it is a folder");

    const std::vector<uint8_t> bytes = encodeBitmap(picture);

    // QSaveFile writes beside the target, syncs it to disk and renames it
    // over the target on commit, keeping the replaced file's permissions;
    // on failure it removes its temporary file.
    QSaveFile file(name);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot create file " + fileName);
    const auto reason = [&] { return file.errorString().toStdString(); };
    if (file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) !=
        qint64(bytes.size())) {
        const std::string why = reason();
        file.cancelWriting();
        throw std::runtime_error("Cannot write file " + fileName + ": " + why);
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write file " + fileName + ": " + reason());
}

} // namespace platform
