#pragma once
#include <QImage>
#include <cstdint>
#include <string>

namespace platform {

// Pictures announcing more pixels than this are refused before anything
// large is allocated: each one costs about ten bytes a pixel while loaded
// (the decoded picture plus the program's two 24-bit copies).
constexpr int64_t kMaxBitmapPixels = int64_t(1) << 29; // 536,870,912
constexpr int64_t kMaxBitmapSide = 1 << 17;             // 131,072

// Reads any BMP file that Qt's decoder accepts. A zero-length file, and one
// whose headers give a width or height of 0, is an empty picture. Failures throw std::runtime_error with one of:
//   "Cannot open file <name>"      the file cannot be opened or read
//   "Bitmap image is not valid"    not a BMP, or headers that describe none
//   "Stream read error"            shorter than its headers, colour table or
//                                  pixel data announce
//   "Bitmap image is too large ..." more pixels than kMaxBitmapPixels
QImage readBitmapFile(const std::string &fileName);

// The same checks and decoding, for a file's bytes already in memory.
QImage decodeBitmap(const QByteArray &bytes);

} // namespace platform
