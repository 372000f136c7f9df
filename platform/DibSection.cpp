#include "platform/DibSection.h"

#include <cstdlib>
#include <limits>

namespace platform {

std::unique_ptr<DibSection> DibSection::create(const BITMAPINFOHEADER &header)
{
    const int64_t width = header.biWidth;
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    if (width <= 0 || height <= 0 || header.biBitCount != 24)
        return nullptr;
    const int64_t stride = ((width * header.biBitCount + 31) / 32) * 4;
    if (stride > std::numeric_limits<int>::max())
        return nullptr;
    // calloc: the system hands out zeroed pages lazily, so a large fresh
    // bitmap costs nothing until it is written.
    auto *bits = static_cast<uint8_t *>(std::calloc(size_t(stride) * size_t(height), 1));
    if (!bits)
        return nullptr;
    return std::unique_ptr<DibSection>(new DibSection(bits, int(width), int(height), int(stride)));
}

DibSection::DibSection(uint8_t *bits, int width, int height, int stride)
    : bits_(bits), image_(bits, width, height, stride, QImage::Format_BGR888)
{
}

DibSection::~DibSection()
{
    image_ = QImage();
    std::free(bits_);
}

} // namespace platform
