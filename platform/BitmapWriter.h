#pragma once
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// The bytes of a 24-bit uncompressed BMP of `picture`: 14-byte file header,
// 40-byte information header, no colour table, rows bottom-up, each padded
// with zeros to a multiple of four bytes. Any format is converted to 24 bits.
std::vector<uint8_t> encodeBitmap(const QImage &picture);

// Writes encodeBitmap(picture) to `fileName` through a temporary file in
// the same folder that is flushed to disk and then renamed over the target,
// so the old file survives any failure. Throws std::runtime_error:
// "Cannot create file <name>" when the file cannot be created, otherwise a
// message naming the file and the system's reason.
void writeBitmapFile(const std::string &fileName, const QImage &picture);

// The same file, checks and messages for pixel rows in memory: `height`
// rows top-down, `stride` bytes apart, three bytes a pixel (blue, green,
// red). The rows go to the file in a few large writes without a copy.
void writeBitmapRows(const std::string &fileName, const uint8_t *bits, ptrdiff_t stride,
                     int width, int height);

} // namespace platform
