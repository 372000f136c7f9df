// Bitmap file input and output of the surface, through the platform's
// bitmap object and block copies; the surface's own layout never reaches
// the file code.

#include "imaging/Win.h"
#include "platform/Bitmap.h"
#include "platform/BitmapReader.h"
#include "platform/BitmapWriter.h"

#include <exception>

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

    platform::TBitmap bitmap;
    std::exception_ptr readError;
    try {
        bitmap.loadFromFile(FileName);
    } catch (...) {
        readError = std::current_exception();
    }

    // Whether or not the read worked, the caller gets a new surface of the
    // bitmap's size: after a failure the bitmap is empty, and so is it.
    win.reset();
    win = std::make_unique<TWin>(bitmap.width(), bitmap.height());
    platform::BitBlt(*win->MemoryDC, 0, 0, bitmap.width(), bitmap.height(), bitmap.canvas(), 0, 0);

    if (readError)
        std::rethrow_exception(readError);
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
