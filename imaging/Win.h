#pragma once
// TWin: a 24-bit picture of fixed size in a device-independent bitmap,
// rows top-down, three bytes a pixel (blue, green, red), each row padded to
// a multiple of four bytes. Pixels are read through a pixel cursor and a row
// cursor; Composite writes through the row cursor.
//
// The surface trusts its callers: no operation checks a coordinate, and a
// cursor must be positioned before it is read. Fields are public because
// Composite and the file code work on them directly.

#include "platform/BitmapInfoHeader.h"
#include "platform/DibSection.h"
#include "platform/DrawingContext.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>

class TWin {
public:
    // A width or height of 0 makes an empty surface: no bitmap, null Bits.
    TWin(int32_t width, int32_t height);
    ~TWin();
    TWin(const TWin &) = delete;
    TWin &operator=(const TWin &) = delete;

    int32_t width() const { return Header.biWidth; }
    int32_t height() const { return Header.biHeight < 0 ? -Header.biHeight : Header.biHeight; }
    bool empty() const { return Bits == nullptr; }

    // Pixel cursor: ReadPixel names a pixel and returns its blue byte;
    // ReadGreen and ReadRed read the same pixel without moving.
    int32_t ReadPixel(int32_t x, int32_t y)
    {
        PixelCursor = Bits + intptr_t(y) * Stride + 3 * intptr_t(x);
        return PixelCursor[0];
    }
    int32_t ReadGreen() const { return PixelCursor[1]; }
    int32_t ReadRed() const { return PixelCursor[2]; }

    // Row cursor: SeekRow computes the row address once; RowRedAdvance reads
    // red, the last byte of a pixel, then steps to the next pixel.
    void SeekRow(int32_t x, int32_t y, int32_t step)
    {
        RowStep = step;
        RowCursor = Bits + intptr_t(y) * Stride + intptr_t(x) * (Header.biBitCount / 8);
    }
    int32_t RowBlue() const { return RowCursor[0]; }
    int32_t RowGreen() const { return RowCursor[1]; }
    int32_t RowRedAdvance()
    {
        const int32_t red = RowCursor[2];
        RowCursor += RowStep;
        return red;
    }

    // Copies the surface to `target` in one of six placement modes (0 to 5);
    // any other mode draws nothing.
    void Draw(platform::DrawingContext &target, int32_t Mode, int32_t DestX, int32_t DestY,
              int32_t DestWidth, int32_t DestHeight, int32_t AreaWidth, int32_t AreaHeight);

    // Puts a new surface holding the file's picture in `win`'s place. The old
    // surface is destroyed after the read and a new one made whether or not
    // the read succeeded (empty after a failure); then the read's error, if
    // any, is thrown on.
    static void LoadBitmapFile(std::unique_ptr<TWin> &win, const std::string &FileName);
    // The same steps for a file's bytes already in memory.
    static void LoadBitmapBytes(std::unique_ptr<TWin> &win, const QByteArray &Bytes);

    // Writes the surface as a 24-bit BMP. Throws when the file cannot be
    // written; the file on disk is then as it was.
    void SaveBitmapFile(const std::string &FileName);

    // Draws Source onto this surface; see Composite.cpp.
    void Composite(TWin &Source, int32_t CenterX, int32_t CenterY, float Angle, float ScaleX,
                   float ScaleY, float ScaleDrift, int32_t PivotX, int32_t PivotY,
                   int32_t AlphaMode, int32_t Brightness, float Contrast, float Intensity,
                   int32_t RedTint, int32_t GreenTint, int32_t BlueTint, int32_t Effect,
                   int32_t Clamp, int32_t CropLeft, int32_t CropTop, int32_t CropRight,
                   int32_t CropBottom);

    platform::BITMAPINFOHEADER Header;
    std::unique_ptr<platform::DibSection> BitmapHandle;
    uint8_t *Bits = nullptr;
    uint8_t *RowCursor = nullptr;
    std::unique_ptr<platform::MemoryContext> MemoryDC;
    int32_t Stride = 0;
    uint8_t *PixelCursor = nullptr;
    int32_t RowStep = 0;
};
