#include "platform/BitmapReader.h"

#include "platform/IoVectors.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <sys/uio.h>
#include <unistd.h>

namespace platform {

namespace {

[[noreturn]] void notValid() { throw std::runtime_error("Bitmap image is not valid"); }
[[noreturn]] void readError() { throw std::runtime_error("Stream read error"); }

uint16_t u16(const QByteArray &b, qsizetype at)
{
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

uint32_t u32(const QByteArray &b, qsizetype at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

constexpr qsizetype kFileHeaderSize = 14;
// More than the longest headers, bit-field masks and colour table together.
constexpr qint64 kHeadBytes = 64 * 1024;

// The header fields that decide whether the file can be decoded safely.
struct Layout {
    int64_t width = 0;
    int64_t height = 0; // absolute
    uint32_t bitCount = 0;
    uint32_t compression = 0;
    qsizetype dataOffset = 0;
    bool topDown = false; // rows stored top row first
    // Red, green and blue masks of 16- and 32-bit pixels; 0 otherwise.
    uint32_t masks[3] = {0, 0, 0};
};

// Checks what Qt's decoder would otherwise meet unprepared: our own
// messages for the common faults, and a size limit before any allocation.
// `bytes` holds the file or, for a large one, its start with all headers
// and the colour table; `fileSize` is the whole file's length.
Layout checkHeaders(const QByteArray &bytes, qint64 fileSize)
{
    const qsizetype size = bytes.size();
    if (size < kFileHeaderSize)
        readError();
    if (bytes[0] != 'B' || bytes[1] != 'M')
        notValid();
    if (size < kFileHeaderSize + 4)
        readError();

    Layout layout;
    layout.dataOffset = qsizetype(u32(bytes, 10));
    const uint32_t headerSize = u32(bytes, kFileHeaderSize);
    const bool os2 = headerSize == 12;
    if (!os2 && headerSize != 16 && headerSize != 40 && headerSize != 52 &&
        headerSize != 56 && headerSize != 64 && headerSize != 108 && headerSize != 124)
        notValid();
    if (size < kFileHeaderSize + qsizetype(headerSize))
        readError();

    const qsizetype h = kFileHeaderSize;
    uint32_t planes;
    uint32_t coloursUsed = 0;
    if (os2) {
        layout.width = u16(bytes, h + 4);
        layout.height = u16(bytes, h + 6);
        planes = u16(bytes, h + 8);
        layout.bitCount = u16(bytes, h + 10);
    } else {
        layout.width = int32_t(u32(bytes, h + 4));
        const int32_t signedHeight = int32_t(u32(bytes, h + 8));
        layout.height = signedHeight < 0 ? -int64_t(signedHeight) : signedHeight;
        layout.topDown = signedHeight < 0;
        planes = u16(bytes, h + 12);
        layout.bitCount = u16(bytes, h + 14);
        if (headerSize >= 20)
            layout.compression = u32(bytes, h + 16);
        if (headerSize >= 36)
            coloursUsed = u32(bytes, h + 32);
    }

    // A side of 0 is the empty picture, which the writer produces for an
    // empty surface.
    if (layout.width < 0 || planes != 1)
        notValid();
    switch (layout.bitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: notValid();
    }
    switch (layout.compression) {
    case 0: break;                                             // uncompressed
    case 1: if (layout.bitCount != 8) notValid(); break;       // RLE8
    case 2: if (layout.bitCount != 4) notValid(); break;       // RLE4
    case 3: case 6:                                            // bit fields
        if (layout.bitCount != 16 && layout.bitCount != 32) notValid();
        break;
    default: notValid();
    }

    if (layout.width > kMaxBitmapSide || layout.height > kMaxBitmapSide ||
        layout.width * layout.height > kMaxBitmapPixels)
        throw std::runtime_error(
            "Bitmap image is too large: " + std::to_string(layout.width) + " x " +
            std::to_string(layout.height) + " pixels; at most " +
            std::to_string(kMaxBitmapPixels) + " pixels can be opened");

    // Masks that follow a 40-byte header, then the colour table.
    qsizetype tableStart = h + headerSize;
    if (headerSize == 40 && layout.compression == 3)
        tableStart += 12;
    else if (headerSize == 40 && layout.compression == 6)
        tableStart += 16;
    if (layout.bitCount <= 8) {
        const uint32_t full = 1u << layout.bitCount;
        const uint32_t colours = coloursUsed == 0 || coloursUsed > full ? full : coloursUsed;
        const qsizetype tableEnd = tableStart + qsizetype(colours) * (os2 ? 3 : 4);
        if (size < tableEnd)
            readError();
    } else if (size < tableStart) {
        readError();
    }

    if (layout.compression == 3 || layout.compression == 6) {
        // After a 40-byte header or inside a longer one: the same place.
        for (int i = 0; i < 3; ++i)
            layout.masks[i] = u32(bytes, h + 40 + 4 * i);
    } else if (layout.bitCount == 16) {
        layout.masks[0] = 0x7C00;
        layout.masks[1] = 0x03E0;
        layout.masks[2] = 0x001F;
    }

    if (layout.dataOffset <= 0 || layout.dataOffset > fileSize)
        readError();
    if (layout.compression == 0 || layout.compression == 3 || layout.compression == 6) {
        const int64_t stride = ((layout.width * layout.bitCount + 31) / 32) * 4;
        if (fileSize - layout.dataOffset < stride * layout.height)
            readError();
    }
    return layout;
}

// Qt moves a channel of fewer than 8 bits to the top of its byte, so that
// full intensity (31 of 31) comes out as 248, not 255. Spread each such
// channel over the whole range instead: white stays white.
void widenShortChannels(QImage &image, const Layout &layout)
{
    int widths[3];
    bool any = false;
    for (int i = 0; i < 3; ++i) {
        widths[i] = std::popcount(layout.masks[i]);
        any = any || (widths[i] > 0 && widths[i] < 8);
    }
    if (!any || image.format() != QImage::Format_RGB32)
        return;
    uint8_t table[3][256];
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 256; ++c) {
            const int w = widths[i];
            if (w <= 0 || w >= 8) {
                table[i][c] = uint8_t(c);
                continue;
            }
            // Repeat the channel's bits down the byte: 0 stays 0, the
            // top value becomes 255, and steps stay even.
            const int v = c >> (8 - w);
            int spread = 0;
            for (int shift = 8 - w; shift > -w; shift -= w)
                spread |= shift >= 0 ? v << shift : v >> -shift;
            table[i][c] = uint8_t(spread);
        }
    for (int y = 0; y < image.height(); ++y) {
        QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb(table[0][qRed(row[x])], table[1][qGreen(row[x])],
                          table[2][qBlue(row[x])]);
    }
}

[[noreturn]] void notEnoughMemory(const Layout &layout)
{
    throw std::runtime_error("Not enough memory to open a picture of " +
                             std::to_string(layout.width) + " x " +
                             std::to_string(layout.height) + " pixels");
}

// The 52- and 56-byte headers are the 40-byte one followed by the colour
// masks, as the first fields of the 108-byte header are. Qt knows only the
// latter, so the header is widened to it with its remaining fields zero.
QByteArray widenedHeader(const QByteArray &bytes, uint32_t headerSize)
{
    constexpr uint32_t kV4 = 108;
    const uint32_t extra = kV4 - headerSize;
    QByteArray out = bytes.left(kFileHeaderSize + headerSize);
    out.append(QByteArray(extra, '\0'));
    out.append(bytes.mid(kFileHeaderSize + headerSize));
    const auto put32 = [&](qsizetype at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = char(v >> (8 * i));
    };
    put32(2, u32(bytes, 2) + extra);
    put32(10, u32(bytes, 10) + extra);
    put32(kFileHeaderSize, kV4);
    return out;
}

} // namespace

QImage decodeBitmap(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QImage();
    const Layout layout = checkHeaders(bytes, bytes.size());
    if (layout.width == 0 || layout.height == 0)
        return QImage();

    const uint32_t headerSize = u32(bytes, kFileHeaderSize);
    QBuffer buffer;
    buffer.setData(headerSize == 52 || headerSize == 56 ? widenedHeader(bytes, headerSize) : bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoTransform(false);
    // The decoded picture takes at most four bytes a pixel; let it through
    // whatever size our own limit has allowed.
    const int64_t decodedMiB = layout.width * layout.height * 4 / (1024 * 1024) + 1;
    reader.setAllocationLimit(int(decodedMiB));
    QImage image;
    if (layout.compression == 1 || layout.compression == 2) {
        // Run-length data may skip pixels (a delta, an early end). The
        // decoder reuses a picture of the right size and format, so hand it
        // one that is cleared: skipped pixels take the first colour instead
        // of whatever the memory held.
        image = QImage(int(layout.width), int(layout.height), QImage::Format_Indexed8);
        if (image.isNull())
            notEnoughMemory(layout);
        image.fill(0);
    }
    if (!reader.read(&image) || image.isNull())
        notValid();
    // Indices past a short colour table have no colour; Qt's converters and
    // its painter disagree about them (the painter reads past the table).
    // Black for all of them, as the converters already do.
    if (image.format() == QImage::Format_Indexed8 && image.colorCount() < 256) {
        QList<QRgb> table = image.colorTable();
        table.resize(256, qRgb(0, 0, 0));
        image.setColorTable(table);
    }
    // The surface has no alpha: take the colour bytes as they are, never
    // blended with black.
    if (image.format() == QImage::Format_ARGB32)
        image.reinterpretAsFormat(QImage::Format_RGB32);
    else if (image.hasAlphaChannel())
        image = image.convertToFormat(QImage::Format_RGB32);
    widenShortChannels(image, layout);
    return image;
}

namespace {

[[noreturn]] void cannotOpen(const std::string &fileName)
{
    throw std::runtime_error("Cannot open file " + fileName);
}

void openForReading(QFile &file, const std::string &fileName)
{
    if (fileName.empty() || QFileInfo(file.fileName()).isDir() || !file.open(QIODevice::ReadOnly))
        cannotOpen(fileName);
}

// Reads into the buffers of `iov` in order, from `offset` on, in as few
// calls as the system allows, resuming after short reads.
void readInto(int fd, off_t offset, std::vector<iovec> &iov, const std::string &fileName)
{
    size_t first = 0;
    while (first < iov.size()) {
        const int count = int(std::min<size_t>(iov.size() - first, IOV_MAX));
        const ssize_t got = preadv(fd, &iov[first], count, offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            cannotOpen(fileName);
        if (got == 0)
            readError(); // the file shrank under us
        offset += got;
        ConsumeIoVectors(iov, first, size_t(got));
    }
}

} // namespace

bool readBitmapFileInto(const std::string &fileName,
                        const std::function<PixelRows(int width, int height)> &allocate)
{
    QFile file(QString::fromStdString(fileName));
    openForReading(file, fileName);
    const qint64 size = file.size();
    const QByteArray head = file.read(kHeadBytes);
    if (file.error() != QFileDevice::NoError)
        cannotOpen(fileName);
    if (head.isEmpty())
        return false;
    const Layout layout = checkHeaders(head, qsizetype(size));
    if (layout.bitCount != 24 || layout.compression != 0 || layout.width == 0 ||
        layout.height == 0)
        return false;

    const int width = int(layout.width), height = int(layout.height);
    const size_t fileStride = size_t(((layout.width * 24 + 31) / 32) * 4);
    const PixelRows rows = allocate(width, height);
    if (!rows.bits || rows.stride < ptrdiff_t(fileStride))
        notEnoughMemory(layout);
    // Each file row straight into its place: rows are stored bottom-up
    // unless the height is negative. The last row's padding lands in the
    // destination's own padding.
    std::vector<iovec> iov(static_cast<size_t>(height));
    for (int r = 0; r < height; ++r) {
        const int y = layout.topDown ? r : height - 1 - r;
        iov[size_t(r)] = {rows.bits + y * rows.stride, fileStride};
    }
    readInto(file.handle(), off_t(layout.dataOffset), iov, fileName);
    return true;
}

QImage readBitmapFile(const std::string &fileName)
{
    const QString name = QString::fromStdString(fileName);
    QFile file(name);
    if (fileName.empty() || QFileInfo(name).isDir() || !file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open file " + fileName);
    const auto readFailed = [&] { throw std::runtime_error("Cannot open file " + fileName); };
    // The headers and colour table first: a large file that is no bitmap,
    // or announces a picture too large, is refused without being read.
    const qint64 fileSize = file.size();
    QByteArray bytes = file.read(kHeadBytes);
    if (file.error() != QFileDevice::NoError)
        readFailed();
    if (bytes.size() < fileSize) {
        const Layout layout = checkHeaders(bytes, fileSize);
        // Then no more than the picture can use, so that gigabytes after
        // it are never held; run-length data takes at most two bytes a
        // pixel and two a row, and some slack is left for odd encoders.
        const int64_t stride = ((layout.width * layout.bitCount + 31) / 32) * 4;
        const bool runLength = layout.compression == 1 || layout.compression == 2;
        const int64_t data = runLength ? layout.height * (2 * layout.width + 2) + kHeadBytes
                                       : stride * layout.height;
        const qint64 wanted = std::min<qint64>(fileSize, layout.dataOffset + data);
        bytes.reserve(qsizetype(wanted));
        while (bytes.size() < wanted) {
            const QByteArray more = file.read(std::min<qint64>(wanted - bytes.size(), qint64(1) << 30));
            if (more.isEmpty() || file.error() != QFileDevice::NoError)
                readFailed();
            bytes.append(more);
        }
    }
    return decodeBitmap(bytes);
}

} // namespace platform
