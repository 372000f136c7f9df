// Loads arbitrary bytes as a bitmap file the way the program does, and
// checks what comes out: a refusal with one of the reader's messages and an
// empty surface, or a surface of the decoded picture's size holding its
// pixels, which saves and reads back unchanged and renders through the knob
// panel's call unchanged.

#include "imaging/Win.h"
#include "platform/Bitmap.h"
#include "platform/BitmapReader.h"
#include "platform/BitmapWriter.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace {

// Big enough for every decoding path, small enough for libFuzzer's memory
// limit and speed; the reader's own limit is far above and tested apart.
constexpr int64_t kMaxFuzzPixels = int64_t(1) << 18;

uint32_t le(const uint8_t *at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | at[i];
    return v;
}

int64_t AnnouncedPixels(const uint8_t *data, size_t size)
{
    if (size < 26)
        return 0;
    if (le(data + 14, 4) == 12)
        return int64_t(le(data + 18, 2)) * le(data + 20, 2);
    const int64_t w = int32_t(le(data + 18, 4));
    const int64_t h = int32_t(le(data + 22, 4));
    return (w < 0 ? -w : w) * (h < 0 ? -h : h);
}

[[noreturn]] void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz_load: %s\n", what);
    std::abort();
}

bool KnownRefusal(std::string_view m)
{
    for (std::string_view known : {"Bitmap image is not valid", "Stream read error",
                                   "Bitmap image is too large", "Not enough memory"})
        if (m.substr(0, known.size()) == known)
            return true;
    return false;
}

// True when the surface's pixels are exactly `picture` in 24 bits.
bool SameAs(const TWin &win, const QImage &picture)
{
    const QImage bgr = picture.convertToFormat(QImage::Format_BGR888);
    if (win.width() != bgr.width() || win.height() != bgr.height())
        return false;
    for (int y = 0; y < bgr.height(); ++y)
        if (std::memcmp(win.Bits + intptr_t(y) * win.Stride, bgr.constScanLine(y),
                        size_t(bgr.width()) * 3) != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (AnnouncedPixels(data, size) > kMaxFuzzPixels)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    auto win = std::make_unique<TWin>(3, 2);
    try {
        TWin::LoadBitmapBytes(win, bytes);
    } catch (const std::runtime_error &e) {
        if (!KnownRefusal(e.what())) {
            std::fprintf(stderr, "message: %s\n", e.what());
            Fail("a refusal without one of the reader's messages");
        }
        if (!win || !win->empty() || win->width() != 0 || win->height() != 0)
            Fail("a refused file left a surface that is not empty");
        return 0;
    }
    if (!win)
        Fail("no surface after a load");
    // The surface holds exactly what the reader decoded: an empty picture
    // (a zero-length file) gives the empty surface.
    const QImage decoded = platform::decodeBitmap(bytes);
    if (decoded.isNull() || size == 0) {
        if (!win->empty() || !decoded.isNull())
            Fail("an empty picture gave a surface with pixels, or the reverse");
        return 0;
    }
    if (win->empty())
        Fail("an accepted picture gave an empty surface");
    if (!SameAs(*win, decoded))
        Fail("the surface differs from the decoded picture");

    // Saving writes what reads back as the same pixels.
    platform::TBitmap out;
    out.setWidth(win->width());
    out.setHeight(win->height());
    out.setPixelFormat24();
    platform::BitBlt(out.canvas(), 0, 0, win->width(), win->height(), *win->MemoryDC, 0, 0);
    const std::vector<uint8_t> saved = platform::encodeBitmap(out.image());
    const QImage reread = platform::decodeBitmap(
        QByteArray(reinterpret_cast<const char *>(saved.data()), qsizetype(saved.size())));
    if (!SameAs(*win, reread))
        Fail("the saved picture reads back different");

    // The knob panel's call with every knob at 0 draws the source unchanged
    // (all but an odd last column and row).
    TWin work(win->width(), win->height());
    work.Composite(*win, win->width() / 2, win->height() / 2, 0.0f, 1.0f, 1.0f, 0.0f, 0, 0, -256,
                   0, 1.0f, 0.0f, 0, 0, 0, 0, 1, 0, 0, 0, 0);
    const size_t drawn = size_t(win->width() / 2 * 2) * 3;
    for (int y = 0; y < win->height() / 2 * 2; ++y)
        if (std::memcmp(work.Bits + intptr_t(y) * work.Stride,
                        win->Bits + intptr_t(y) * win->Stride, drawn) != 0)
            Fail("the neutral render changed the picture");
    return 0;
}
