#include "platform/BitmapWriter.h"

#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>

#include <sys/uio.h>

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

// The 54 header bytes of a 24-bit picture; throws when the file could not
// describe it.
std::vector<uint8_t> headers(uint32_t width, uint32_t height)
{
    const size_t stride = ((size_t(width) * 24 + 31) / 32) * 4;
    const size_t imageSize = stride * height;
    if (kHeadersSize + imageSize > UINT32_MAX)
        throw std::runtime_error("The picture is too large for a bitmap file");
    std::vector<uint8_t> bytes(kHeadersSize, 0);
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
    return bytes;
}

// Writes the buffers of `iov` in order, in as few calls as the system
// allows, resuming after short writes.
void writeAll(int fd, std::vector<iovec> &iov, const std::string &fileName)
{
    size_t first = 0;
    while (first < iov.size()) {
        const int count = int(std::min<size_t>(iov.size() - first, IOV_MAX));
        const ssize_t put = writev(fd, &iov[first], count);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            throw std::runtime_error("Cannot write file " + fileName + ": " +
                                     std::strerror(put < 0 ? errno : EIO));
        for (size_t left = size_t(put); left != 0;) {
            iovec &v = iov[first];
            if (left >= v.iov_len) {
                left -= v.iov_len;
                ++first;
            } else {
                v.iov_base = static_cast<uint8_t *>(v.iov_base) + left;
                v.iov_len -= left;
                left = 0;
            }
        }
    }
}

QImage as24Bit(const QImage &picture)
{
    return picture.format() == QImage::Format_BGR888 || picture.isNull()
               ? picture
               : picture.convertToFormat(QImage::Format_BGR888);
}

} // namespace

std::vector<uint8_t> encodeBitmap(const QImage &picture)
{
    const QImage image = as24Bit(picture);
    const uint32_t width = uint32_t(image.isNull() ? 0 : image.width());
    const uint32_t height = uint32_t(image.isNull() ? 0 : image.height());
    std::vector<uint8_t> bytes = headers(width, height);
    const size_t stride = ((size_t(width) * 24 + 31) / 32) * 4;
    bytes.resize(kHeadersSize + stride * height, 0);
    const size_t rowBytes = size_t(width) * 3;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t *row = bytes.data() + kHeadersSize + size_t(height - 1 - y) * stride;
        std::memcpy(row, image.constScanLine(int(y)), rowBytes);
    }
    return bytes;
}

void writeBitmapRows(const std::string &fileName, const uint8_t *bits, ptrdiff_t stride,
                     int width, int height)
{
    const QString name = QString::fromStdString(fileName);
    if (fileName.empty())
        throw std::runtime_error("Cannot create file: no file name was given");
    if (QFileInfo(name).isDir())
        throw std::runtime_error("Cannot create file " + fileName + ": it is a folder");
    if (!bits || width <= 0 || height <= 0)
        width = height = 0;

    std::vector<uint8_t> head = headers(uint32_t(width), uint32_t(height));
    // Bottom-up, each row padded with zeros to a multiple of four bytes.
    static const uint8_t zeros[3] = {0, 0, 0};
    const size_t rowBytes = size_t(width) * 3;
    const size_t padding = ((size_t(width) * 24 + 31) / 32) * 4 - rowBytes;
    std::vector<iovec> iov;
    iov.reserve(1 + size_t(height) * (padding ? 2 : 1));
    iov.push_back({head.data(), head.size()});
    for (int y = height - 1; y >= 0; --y) {
        iov.push_back({const_cast<uint8_t *>(bits + y * stride), rowBytes});
        if (padding)
            iov.push_back({const_cast<uint8_t *>(zeros), padding});
    }

    // QSaveFile writes beside the target, syncs it to disk and renames it
    // over the target on commit, keeping the replaced file's permissions;
    // on failure it removes its temporary file. The rows go to its file
    // handle directly, so nothing waits in its buffer.
    QSaveFile file(name);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot create file " + fileName);
    try {
        writeAll(file.handle(), iov, fileName);
    } catch (...) {
        file.cancelWriting();
        throw;
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write file " + fileName + ": " +
                                 file.errorString().toStdString());
}

void writeBitmapFile(const std::string &fileName, const QImage &picture)
{
    const QImage image = as24Bit(picture);
    if (image.isNull())
        writeBitmapRows(fileName, nullptr, 0, 0, 0);
    else
        writeBitmapRows(fileName, image.constBits(), image.bytesPerLine(), image.width(),
                        image.height());
}

} // namespace platform
