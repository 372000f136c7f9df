// Bitmap file input and output of the surface, through the platform's
// bitmap object and block copies; the surface's own layout never reaches
// the file code.

#include "imaging/Win.h"
#include "platform/Bitmap.h"

#include <exception>

void TWin::LoadBitmapFile(std::unique_ptr<TWin> &win, const std::string &FileName)
{
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
    platform::TBitmap bitmap;
    bitmap.setWidth(width());
    bitmap.setHeight(height());
    bitmap.setPixelFormat24();
    platform::BitBlt(bitmap.canvas(), 0, 0, width(), height(), *MemoryDC, 0, 0);
    // A failed write is reported: the user must not believe the picture is
    // saved when it is not.
    bitmap.saveToFile(FileName);
}
