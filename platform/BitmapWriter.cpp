#include "platform/BitmapWriter.h"

#include "platform/IoVectors.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

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
// allows, resuming after short writes. Returns 0 or the system's error.
int writeAll(int fd, std::vector<iovec> &iov)
{
    size_t first = 0;
    while (first < iov.size()) {
        const int count = int(std::min<size_t>(iov.size() - first, IOV_MAX));
        const ssize_t put = writev(fd, &iov[first], count);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return put < 0 ? errno : EIO;
        ConsumeIoVectors(iov, first, size_t(put));
    }
    return 0;
}

[[noreturn]] void cannot(const char *what, const std::string &fileName, int error)
{
    throw std::runtime_error(std::string("Cannot ") + what + " file " + fileName + ": " +
                             std::strerror(error));
}

// The folder part of a path and the name part, as the system splits them.
std::pair<std::string, std::string> splitPath(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
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
    if (fileName.empty())
        throw std::runtime_error("Cannot create file: no file name was given");
    struct stat old {};
    const bool exists = ::stat(fileName.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
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

    // Replacing a link replaces the file it points to, as writing in place
    // would; the link stays.
    std::string target = fileName;
    if (exists) {
        if (char *real = ::realpath(fileName.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    // A temporary file beside the target, written, synced and renamed over
    // it: the old file stays whole until the new one is complete. Every
    // step is checked (Qt's QSaveFile reports success on a full disk and
    // leaves an empty file in the old one's place).
    const auto [folder, name] = splitPath(target);
    std::string temp = folder + "/." + name.substr(0, 64) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        cannot("create", fileName, errno);
    int error = 0;
    const char *step = "write"; // what failed, for the message
    if (exists) {
        // Keep the replaced file's permissions and, where allowed, owner.
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            error = errno;
        (void)!::fchown(fd, old.st_uid, old.st_gid);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd, 0666 & ~mask) != 0)
            error = errno;
    }
    if (!error)
        error = writeAll(fd, iov);
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        step = "create"; // the name itself was refused
    }
    if (error) {
        ::unlink(temp.c_str());
        cannot(step, fileName, error);
    }
    // Make the rename itself durable; the file is already complete.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
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
