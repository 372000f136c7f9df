#include "platform/DibSection.h"

#include <cstdlib>
#include <limits>

#include <sys/mman.h>

namespace platform {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kHugeFrom = size_t(4) << 20;
} // namespace

std::unique_ptr<DibSection> DibSection::create(const BITMAPINFOHEADER &header)
{
    const int64_t width = header.biWidth;
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    if (width <= 0 || height <= 0 || header.biBitCount != 24)
        return nullptr;
    const int64_t stride = ((width * header.biBitCount + 31) / 32) * 4;
    if (stride > std::numeric_limits<int>::max())
        return nullptr;
    // The system hands out zeroed pages lazily, so a large fresh bitmap
    // costs nothing until it is written.
    const size_t bytes = size_t(stride) * size_t(height);
    uint8_t *bits = nullptr;
    size_t mapped = 0;
    if (bytes >= kHugeFrom) {
        // Every load, render and paint walks all of a large picture: 2 MB
        // pages take a 512th of the page faults and TLB misses.
        mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void *p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return nullptr;
        madvise(p, mapped, MADV_HUGEPAGE); // a hint; without it small pages serve
        bits = static_cast<uint8_t *>(p);
    } else {
        bits = static_cast<uint8_t *>(std::calloc(bytes, 1));
        if (!bits)
            return nullptr;
    }
    return std::unique_ptr<DibSection>(
        new DibSection(bits, mapped, int(width), int(height), int(stride)));
}

DibSection::DibSection(uint8_t *bits, size_t mapped, int width, int height, int stride)
    : bits_(bits), mapped_(mapped), image_(bits, width, height, stride, QImage::Format_BGR888)
{
}

DibSection::~DibSection()
{
    image_ = QImage();
    if (mapped_ != 0)
        munmap(bits_, mapped_);
    else
        std::free(bits_);
}

} // namespace platform
