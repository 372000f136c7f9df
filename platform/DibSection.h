#pragma once
// A device-independent bitmap: pixel memory laid out as its header
// describes, with an image over the very same bytes so that drawing
// contexts can copy to and from it.

#include "platform/BitmapInfoHeader.h"

#include <QImage>
#include <cstdint>
#include <memory>

namespace platform {

class DibSection {
public:
    // Only top-down 24-bit bitmaps are made; null for an empty size.
    // Fresh pixel memory reads as zero.
    static std::unique_ptr<DibSection> create(const BITMAPINFOHEADER &header);

    ~DibSection();
    DibSection(const DibSection &) = delete;
    DibSection &operator=(const DibSection &) = delete;

    uint8_t *bits() const { return bits_; }
    QImage *image() { return &image_; }

private:
    DibSection(uint8_t *bits, size_t mapped, int width, int height, int stride);

    uint8_t *bits_;
    size_t mapped_; // bytes mapped from the system, 0 when allocated
    QImage image_;
};

} // namespace platform
