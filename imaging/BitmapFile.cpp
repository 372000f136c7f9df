// Bitmap file input and output of the surface, through the platform's
// bitmap object and block copies; the surface's own layout never reaches
// the file code.

#include "imaging/Win.h"
#include "platform/Bitmap.h"
#include "platform/BitmapReader.h"
#include "platform/BitmapWriter.h"

#include <exception>
#include <stdexcept>
#include <string>

namespace {

template <typename Read>
void LoadInto(std::unique_ptr<TWin> &win, Read read)
{
    platform::TBitmap bitmap;
    std::exception_ptr readError;
    try {
        read(bitmap);
    } catch (...) {
        readError = std::current_exception();
    }

    // Whether or not the read worked, the caller gets a new surface of the
    // bitmap's size: after a failure the bitmap is empty, and so is it.
    win.reset();
    win = std::make_unique<TWin>(bitmap.width(), bitmap.height());
    if (win->empty() && bitmap.width() > 0 && bitmap.height() > 0) {
        // The system gave no memory for the surface's pixels: say so
        // rather than hand back an empty picture as if the file were one.
        win = std::make_unique<TWin>(0, 0);
        if (!readError)
            readError = std::make_exception_ptr(std::runtime_error(
                "Not enough memory to open a picture of " + std::to_string(bitmap.width()) +
                " x " + std::to_string(bitmap.height()) + " pixels"));
    }
    platform::BitBlt(*win->MemoryDC, 0, 0, bitmap.width(), bitmap.height(), bitmap.canvas(), 0, 0);

    if (readError)
        std::rethrow_exception(readError);
}

} // namespace

void TWin::LoadBitmapFile(std::unique_ptr<TWin> &win, const std::string &FileName)
{
    // 24-bit uncompressed files, the kind this program writes, are read
    // straight into the new surface's pixels.
    try {
        const bool direct = platform::readBitmapFileInto(FileName, [&](int width, int height) {
            win.reset();
            win = std::make_unique<TWin>(width, height);
            return platform::PixelRows{win->Bits, win->Stride};
        });
        if (direct)
            return;
    } catch (...) {
        // As after any failed read: an empty surface in place of the old one.
        win.reset();
        win = std::make_unique<TWin>(0, 0);
        throw;
    }

    LoadInto(win, [&](platform::TBitmap &bitmap) { bitmap.loadFromFile(FileName); });
}

void TWin::LoadBitmapBytes(std::unique_ptr<TWin> &win, const QByteArray &Bytes)
{
    LoadInto(win, [&](platform::TBitmap &bitmap) { bitmap.loadFromBytes(Bytes); });
}

void TWin::SaveBitmapFile(const std::string &FileName)
{
    // The rows go to the file straight from the pixel memory; an empty
    // surface writes a picture of no pixels. A failed write is reported: the
    // user must not believe the picture is saved when it is not.
    if (empty())
        platform::writeBitmapRows(FileName, nullptr, 0, 0, 0);
    else
        platform::writeBitmapRows(FileName, Bits, Stride, width(), height());
}
