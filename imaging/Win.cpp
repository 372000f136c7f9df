#include "imaging/Win.h"

TWin::TWin(int32_t width, int32_t height)
{
    MemoryDC = std::make_unique<platform::MemoryContext>();
    Header.biSize = 40;
    Header.biWidth = width;
    Header.biHeight = -height;
    Header.biPlanes = 1;
    Header.biBitCount = 24;
    Header.biCompression = platform::BI_RGB;
    Stride = int32_t(((int64_t(width) * Header.biBitCount + 31) / 32) * 4);
    BitmapHandle = platform::DibSection::create(Header);
    if (BitmapHandle) {
        Bits = BitmapHandle->bits();
        MemoryDC->select(BitmapHandle->image());
    }
}

TWin::~TWin()
{
    MemoryDC.reset();
    BitmapHandle.reset();
}

void TWin::Draw(platform::DrawingContext &target, int32_t Mode, int32_t DestX, int32_t DestY,
                int32_t DestWidth, int32_t DestHeight, int32_t AreaWidth, int32_t AreaHeight)
{
    const int32_t w = width();
    const int32_t h = height();
    platform::DrawingContext &self = *MemoryDC;
    switch (Mode) {
    case 0:
        platform::BitBlt(target, DestX, DestY, w, h, self, 0, 0);
        break;
    case 1:
        platform::BitBlt(target, AreaWidth / 2 - w / 2, AreaHeight / 2 - h / 2, w, h, self, 0, 0);
        break;
    case 2:
        platform::StretchBlt(target, 0, 0, AreaWidth, AreaHeight, self, 0, 0, w, h);
        break;
    case 3:
        platform::StretchBlt(target, DestX, DestY, DestWidth, DestHeight, self, 0, 0, w, h);
        break;
    case 4:
        // An empty surface would never step the tiles forward.
        if (w <= 0 || h <= 0)
            break;
        for (int64_t y = 0; y < AreaHeight; y += h)
            for (int64_t x = 0; x < AreaWidth; x += w)
                platform::BitBlt(target, int(x), int(y), w, h, self, 0, 0);
        break;
    case 5:
        platform::BitBlt(target, DestX, DestY, DestWidth, DestHeight, self, 0, 0);
        break;
    default:
        break;
    }
}
