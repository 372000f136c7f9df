// 24-bit bitmap files read straight into the surface and written straight
// from it: the same pixels, files and messages as the general decoder and
// encoder.

#include "imaging/Win.h"
#include "platform/BitmapReader.h"
#include "platform/BitmapWriter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void Put(std::vector<uint8_t> &b, size_t at, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = uint8_t(v >> (8 * i));
}

enum class Header { Info40, Info40TopDown, Core12, V5 };

// A 24-bit uncompressed file of random pixels (and random row padding),
// with `gap` bytes between the headers and the pixel data.
std::vector<uint8_t> File24(int w, int h, Header kind, int gap, std::mt19937 &rng)
{
    const uint32_t infoSize = kind == Header::Core12 ? 12 : kind == Header::V5 ? 124 : 40;
    const uint32_t offset = 14 + infoSize + uint32_t(gap);
    const size_t stride = ((size_t(w) * 24 + 31) / 32) * 4;
    std::vector<uint8_t> b(offset + stride * h);
    for (auto &byte : b)
        byte = uint8_t(rng());
    b[0] = 'B', b[1] = 'M';
    Put(b, 2, uint32_t(b.size()), 4);
    Put(b, 6, 0, 4);
    Put(b, 10, offset, 4);
    Put(b, 14, infoSize, 4);
    if (kind == Header::Core12) {
        Put(b, 18, uint32_t(w), 2);
        Put(b, 20, uint32_t(h), 2);
        Put(b, 22, 1, 2);
        Put(b, 24, 24, 2);
    } else {
        Put(b, 18, uint32_t(w), 4);
        Put(b, 22, uint32_t(kind == Header::Info40TopDown ? -h : h), 4);
        Put(b, 26, 1, 2);
        Put(b, 28, 24, 2);
        for (uint32_t at = 30; at < 14 + infoSize; ++at)
            b[at] = 0; // no compression, no colour table, no colour space
        Put(b, 34, uint32_t(stride * h), 4);
    }
    return b;
}

class BitmapDirect : public ::testing::Test {
protected:
    QTemporaryDir dir;

    std::string Path(const char *name) const
    {
        return QDir(dir.path()).filePath(name).toStdString();
    }

    static void Write(const std::string &path, const std::vector<uint8_t> &bytes)
    {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    }

    static QByteArray Read(const std::string &path)
    {
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
};

TEST_F(BitmapDirect, LoadsTheSamePixelsAsTheGeneralDecoder)
{
    std::mt19937 rng(8);
    const std::string path = Path("in.bmp");
    for (Header kind : {Header::Info40, Header::Info40TopDown, Header::Core12, Header::V5})
        for (int gap : {0, 5})
            for (int w : {1, 2, 3, 4, 5, 7, 13})
                for (int h : {1, 2, 3}) {
                    const std::vector<uint8_t> bytes = File24(w, h, kind, gap, rng);
                    Write(path, bytes);
                    std::unique_ptr<TWin> win;
                    TWin::LoadBitmapFile(win, path);
                    const QImage expected =
                        platform::decodeBitmap(QByteArray(reinterpret_cast<const char *>(bytes.data()),
                                                          qsizetype(bytes.size())))
                            .convertToFormat(QImage::Format_BGR888);
                    const std::string what = "kind " + std::to_string(int(kind)) + " gap " +
                                             std::to_string(gap) + " " + std::to_string(w) + "x" +
                                             std::to_string(h);
                    ASSERT_EQ(win->width(), w) << what;
                    ASSERT_EQ(win->height(), h) << what;
                    for (int y = 0; y < h; ++y)
                        ASSERT_EQ(0, std::memcmp(win->Bits + y * win->Stride,
                                                 expected.constScanLine(y), size_t(w) * 3))
                            << what << " row " << y;
                }
}

TEST_F(BitmapDirect, FailedLoadsLeaveAnEmptySurfaceAndSayWhy)
{
    std::mt19937 rng(9);
    std::vector<uint8_t> truncated = File24(10, 10, Header::Info40, 0, rng);
    truncated.resize(truncated.size() - 7);
    Write(Path("short.bmp"), truncated);

    const struct {
        std::string path, message;
    } cases[] = {
        {Path("short.bmp"), "Stream read error"},
        {Path("missing.bmp"), "Cannot open file " + Path("missing.bmp")},
        {dir.path().toStdString(), "Cannot open file " + dir.path().toStdString()},
    };
    for (const auto &tc : cases) {
        auto win = std::make_unique<TWin>(4, 4);
        try {
            TWin::LoadBitmapFile(win, tc.path);
            ADD_FAILURE() << tc.path << " loaded";
        } catch (const std::runtime_error &e) {
            EXPECT_EQ(tc.message, e.what());
        }
        ASSERT_TRUE(win);
        EXPECT_TRUE(win->empty()) << tc.path;
    }
}

// The file written straight from the surface is byte for byte the general
// encoder's: headers, bottom-up rows, zero padding whatever the surface's
// padding bytes hold.
TEST_F(BitmapDirect, SavesTheSameFileAsTheGeneralEncoder)
{
    std::mt19937 rng(10);
    for (int w : {1, 2, 3, 4, 5, 31})
        for (int h : {1, 2, 5}) {
            TWin win(w, h);
            for (size_t i = 0; i < size_t(win.Stride) * h; ++i)
                win.Bits[i] = uint8_t(rng());
            const std::string path = Path("out.bmp");
            win.SaveBitmapFile(path);
            const std::vector<uint8_t> expected = platform::encodeBitmap(*win.BitmapHandle->image());
            const QByteArray written = Read(path);
            ASSERT_EQ(size_t(written.size()), expected.size()) << w << "x" << h;
            EXPECT_EQ(0, std::memcmp(written.constData(), expected.data(), expected.size()))
                << w << "x" << h;

            std::unique_ptr<TWin> back;
            TWin::LoadBitmapFile(back, path);
            for (int y = 0; y < h; ++y)
                ASSERT_EQ(0, std::memcmp(back->Bits + y * back->Stride, win.Bits + y * win.Stride,
                                         size_t(w) * 3));
        }
}

TEST_F(BitmapDirect, EmptySurfaceSavesAPictureOfNoPixels)
{
    TWin win(0, 5);
    const std::string path = Path("empty.bmp");
    win.SaveBitmapFile(path);
    const std::vector<uint8_t> expected = platform::encodeBitmap(QImage());
    const QByteArray written = Read(path);
    ASSERT_EQ(size_t(written.size()), expected.size());
    EXPECT_EQ(0, std::memcmp(written.constData(), expected.data(), expected.size()));
}

TEST_F(BitmapDirect, FailedSavesSayWhyAndCreateNothing)
{
    TWin win(3, 3);
    const std::string folder = Path("sub");
    QDir(dir.path()).mkdir("sub");
    try {
        win.SaveBitmapFile(folder);
        ADD_FAILURE() << "saved over a folder";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ("Cannot create file " + folder + ": it is a folder", std::string(e.what()));
    }
    // A folder that does not exist: the file cannot be created.
    const std::string nowhere = Path("no/such/folder/x.bmp");
    EXPECT_THROW(win.SaveBitmapFile(nowhere), std::runtime_error);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(nowhere)));
}

} // namespace
