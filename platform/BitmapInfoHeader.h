#pragma once
#include <cstdint>

namespace platform {

// The 40-byte header that describes a device-independent bitmap's pixels.
struct BITMAPINFOHEADER {
    uint32_t biSize = 40;
    int32_t biWidth = 0;
    int32_t biHeight = 0; // negative: rows stored top-down
    uint16_t biPlanes = 1;
    uint16_t biBitCount = 24;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

constexpr uint32_t BI_RGB = 0;

} // namespace platform
