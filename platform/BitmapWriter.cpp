#include "platform/BitmapWriter.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
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

namespace {

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

} // namespace

void writeBitmapFile(const std::string &fileName, const QImage &picture)
{
    if (fileName.empty())
        throw std::runtime_error("Cannot create file: no file name was given");
    struct stat old {};
    const bool exists = ::stat(fileName.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        throw std::runtime_error("Cannot create file " + fileName + ": it is a folder");

    const std::vector<uint8_t> bytes = encodeBitmap(picture);

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
    const uint8_t *at = bytes.data();
    size_t left = bytes.size();
    while (!error && left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
        } else {
            at += n;
            left -= size_t(n);
        }
    }
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

} // namespace platform
