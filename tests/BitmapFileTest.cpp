// Bitmap files: the exact bytes written, the round trip, each way a load
// fails and what it leaves behind, hostile headers, and failed saves that
// must leave the old file as it was.

#include "imaging/Win.h"
#include "platform/BitmapReader.h"
#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// ---- hand-made files -------------------------------------------------------

void Put16(std::vector<uint8_t> &b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t> &b, uint32_t v)
{
    Put16(b, v);
    Put16(b, v >> 16);
}

// The fields of a BMP file, each of which a test may spoil.
struct Bmp {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t coloursUsed = 0;
    std::vector<uint32_t> masks;   // after the 40 bytes (or inside a V4 header)
    std::vector<uint8_t> palette;  // raw colour table bytes
    std::vector<uint8_t> pixels;   // raw pixel data
    std::optional<uint32_t> dataOffset;

    std::vector<uint8_t> bytes() const
    {
        std::vector<uint8_t> info;
        Put32(info, headerSize);
        if (headerSize == 12) {
            Put16(info, uint32_t(width));
            Put16(info, uint32_t(height));
            Put16(info, planes);
            Put16(info, bitCount);
        } else {
            Put32(info, uint32_t(width));
            Put32(info, uint32_t(height));
            Put16(info, planes);
            Put16(info, bitCount);
            Put32(info, compression);
            Put32(info, uint32_t(pixels.size()));
            Put32(info, 0);
            Put32(info, 0);
            Put32(info, coloursUsed);
            Put32(info, 0);
            for (uint32_t m : masks)
                Put32(info, m);
            while (info.size() < headerSize)
                info.push_back(0);
        }
        const uint32_t offset = dataOffset.value_or(uint32_t(14 + info.size() + palette.size()));
        std::vector<uint8_t> file = {'B', 'M'};
        Put32(file, uint32_t(14 + info.size() + palette.size() + pixels.size()));
        Put32(file, 0);
        Put32(file, offset);
        file.insert(file.end(), info.begin(), info.end());
        file.insert(file.end(), palette.begin(), palette.end());
        file.insert(file.end(), pixels.begin(), pixels.end());
        return file;
    }
};

// Pixel rows bottom-up, each padded to four bytes, from top-down rows of
// already packed bytes.
std::vector<uint8_t> BottomUp(const std::vector<std::vector<uint8_t>> &topDownRows)
{
    std::vector<uint8_t> data;
    for (auto row = topDownRows.rbegin(); row != topDownRows.rend(); ++row) {
        data.insert(data.end(), row->begin(), row->end());
        while (data.size() % 4)
            data.push_back(0);
    }
    return data;
}

// A valid 24-bit file of `width` x `height` pixels coloured by Distinct.
Bmp Valid24(int width, int height)
{
    Bmp b;
    b.width = width;
    b.height = height;
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < height; ++y) {
        std::vector<uint8_t> row;
        for (int x = 0; x < width; ++x) {
            const Bgr p = Distinct(x, y);
            row.insert(row.end(), {uint8_t(p.b), uint8_t(p.g), uint8_t(p.r)});
        }
        rows.push_back(row);
    }
    b.pixels = BottomUp(rows);
    return b;
}

void ExpectPixels(TWin &w, int width, int height, const std::function<Bgr(int, int)> &colour)
{
    ASSERT_EQ(w.width(), width);
    ASSERT_EQ(w.height(), height);
    ASSERT_NE(w.Bits, nullptr);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(GetPixel(w, x, y), colour(x, y)) << "pixel " << x << "," << y;
}

void ExpectEmpty(const std::unique_ptr<TWin> &w)
{
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->width(), 0);
    EXPECT_EQ(w->height(), 0);
    EXPECT_EQ(w->Bits, nullptr);
    EXPECT_EQ(w->BitmapHandle, nullptr);
}

// Loads into a reference that holds a placeholder, as the program does.
std::unique_ptr<TWin> LoadOverPlaceholder(const std::string &name)
{
    auto w = std::make_unique<TWin>(32, 32);
    TWin::LoadBitmapFile(w, name);
    return w;
}

// ---- what the writer writes -----------------------------------------------

TEST(SaveBitmapFileTest, ThreeByTwoIsSeventyEightBytesBottomRowFirst)
{
    TempDir dir;
    auto w = MakeSurface(3, 2, [](int x, int y) {
        const int n = (y * 3 + x) * 3;
        return Bgr{n + 1, n + 2, n + 3};
    });
    // What the padding bytes of the surface hold must not reach the file.
    for (int y = 0; y < 2; ++y)
        for (int pad = 9; pad < 12; ++pad)
            w->Bits[y * w->Stride + pad] = 0xAA;
    w->SaveBitmapFile(dir.file("a.bmp"));

    const std::vector<uint8_t> want = {
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,                // file header
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,             // size, w, h, planes, bits
        0, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,              // compression, image size, res
        0, 0, 0, 0, 0, 0, 0, 0,                                       // colours
        10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0,                  // bottom row
        1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,                           // top row
    };
    EXPECT_EQ(ReadFile(dir.file("a.bmp")), want);
}

TEST(SaveBitmapFileTest, OneByOneIsFiftyEightBytes)
{
    TempDir dir;
    auto w = MakeSurface(1, 1, [](int, int) { return Bgr{200, 100, 50}; });
    w->SaveBitmapFile(dir.file("one.bmp"));
    const std::vector<uint8_t> want = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0,
        24, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        200, 100, 50, 0,
    };
    EXPECT_EQ(ReadFile(dir.file("one.bmp")), want);
}

struct SizeCase {
    int width, height;
};

class RoundTripTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(RoundTripTest, SavedFileLoadsBackWithTheSamePixels)
{
    const SizeCase c = GetParam();
    TempDir dir;
    auto original = MakeSurface(c.width, c.height, Distinct);
    original->SaveBitmapFile(dir.file("p.bmp"));

    const std::vector<uint8_t> bytes = ReadFile(dir.file("p.bmp"));
    const size_t stride = size_t(original->Stride);
    ASSERT_EQ(bytes.size(), 54 + stride * size_t(c.height));

    auto loaded = LoadOverPlaceholder(dir.file("p.bmp"));
    ExpectPixels(*loaded, c.width, c.height, Distinct);
    EXPECT_EQ(loaded->Stride, original->Stride);
}

INSTANTIATE_TEST_SUITE_P(Sizes, RoundTripTest,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{2, 1}, SizeCase{3, 2},
                                           SizeCase{4, 4}, SizeCase{5, 3}, SizeCase{7, 1},
                                           SizeCase{1, 7}, SizeCase{101, 3}, SizeCase{64, 33}));

TEST(SaveBitmapFileTest, EmptySurfaceSavesAndLoadsBackEmpty)
{
    TempDir dir;
    TWin empty(0, 0);
    empty.SaveBitmapFile(dir.file("empty.bmp"));
    EXPECT_EQ(ReadFile(dir.file("empty.bmp")).size(), 54u);
    std::unique_ptr<TWin> loaded;
    EXPECT_NO_THROW(loaded = LoadOverPlaceholder(dir.file("empty.bmp")));
    ExpectEmpty(loaded);
}

TEST(SaveBitmapFileTest, ReplacesAnExistingFileKeepingItsPermissions)
{
    TempDir dir;
    const std::string name = dir.file("keep.bmp");
    MakeSurface(4, 4, Distinct)->SaveBitmapFile(name);
    fs::permissions(name, fs::perms(0640));

    auto newer = MakeSurface(2, 3, [](int x, int y) { return Bgr{9, x, y}; });
    newer->SaveBitmapFile(name);

    auto loaded = LoadOverPlaceholder(name);
    ExpectPixels(*loaded, 2, 3, [](int x, int y) { return Bgr{9, x, y}; });
    EXPECT_EQ(fs::status(name).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(ListFolder(dir.path()), (std::set<std::string>{"keep.bmp"}));
}

// ---- failed saves -----------------------------------------------------------

// The message may go on with the system's reason.
void ExpectStartsWith(const std::string &message, const std::string &start)
{
    EXPECT_EQ(message.substr(0, start.size()), start) << message;
}

// The old file and the folder as they were, with no temporary file left.
void ExpectUntouched(const TempDir &dir, const std::set<std::string> &before,
                     const std::string &oldFile, const std::vector<uint8_t> &oldBytes)
{
    EXPECT_EQ(ListFolder(dir.path()), before);
    if (!oldFile.empty()) {
        EXPECT_EQ(ReadFile(oldFile), oldBytes);
    }
}

TEST(SaveBitmapFileTest, TargetThatIsAFolderFails)
{
    TempDir dir;
    const std::string folder = dir.file("pictures");
    fs::create_directory(folder);
    const auto before = ListFolder(dir.path());
    auto w = MakeSurface(2, 2, Distinct);
    try {
        w->SaveBitmapFile(folder);
        FAIL() << "saving over a folder reported success";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + folder + ": it is a folder");
    }
    ExpectUntouched(dir, before, "", {});
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(SaveBitmapFileTest, MissingFolderFails)
{
    TempDir dir;
    const std::string name = dir.file("no-such-folder/out.bmp");
    auto w = MakeSurface(2, 2, Distinct);
    try {
        w->SaveBitmapFile(name);
        FAIL() << "saving into a missing folder reported success";
    } catch (const std::runtime_error &e) {
        ExpectStartsWith(e.what(), "Cannot create file " + name);
    }
    EXPECT_TRUE(ListFolder(dir.path()).empty());
}

TEST(SaveBitmapFileTest, EmptyNameFails)
{
    auto w = MakeSurface(2, 2, Distinct);
    EXPECT_THROW(w->SaveBitmapFile(""), std::runtime_error);
}

TEST(SaveBitmapFileTest, ReadOnlyFolderKeepsTheOldFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which may write into a read-only folder";
    TempDir dir;
    const std::string name = dir.file("old.bmp");
    MakeSurface(3, 3, Distinct)->SaveBitmapFile(name);
    const std::vector<uint8_t> oldBytes = ReadFile(name);
    const auto before = ListFolder(dir.path());
    fs::permissions(dir.path(), fs::perms(0555));

    auto w = MakeSurface(5, 5, [](int, int) { return Bgr{1, 2, 3}; });
    try {
        w->SaveBitmapFile(name);
        ADD_FAILURE() << "saving into a read-only folder reported success";
    } catch (const std::runtime_error &e) {
        ExpectStartsWith(e.what(), "Cannot create file " + name);
    }
    fs::permissions(dir.path(), fs::perms(0700));
    ExpectUntouched(dir, before, name, oldBytes);
}

// Writes that fail half-way: the file size limit stops the temporary file
// after a few bytes, as a full disk would.
TEST(SaveBitmapFileTest, WriteFailingHalfWayKeepsTheOldFile)
{
    TempDir dir;
    const std::string name = dir.file("old.bmp");
    MakeSurface(3, 3, Distinct)->SaveBitmapFile(name);
    const std::vector<uint8_t> oldBytes = ReadFile(name);
    const auto before = ListFolder(dir.path());

    auto big = MakeSurface(200, 200, [](int, int) { return Bgr{1, 2, 3}; });
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    std::string message;
    bool threw = false;
    try {
        big->SaveBitmapFile(name);
    } catch (const std::runtime_error &e) {
        threw = true;
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw) << "a failed write was reported as success";
    const std::string prefix = "Cannot write file " + name + ": ";
    EXPECT_EQ(message.substr(0, prefix.size()), prefix) << message;
    EXPECT_GT(message.size(), prefix.size()) << "the system's reason is missing";
    ExpectUntouched(dir, before, name, oldBytes);
}

// ---- loading ---------------------------------------------------------------

TEST(LoadBitmapFileTest, ReplacesThePlaceholderWithThePicture)
{
    TempDir dir;
    WriteFile(dir.file("p.bmp"), Valid24(5, 3).bytes());
    auto w = LoadOverPlaceholder(dir.file("p.bmp"));
    ExpectPixels(*w, 5, 3, Distinct);
    // Loading again into a surface of another size replaces it too.
    WriteFile(dir.file("q.bmp"), Valid24(2, 6).bytes());
    TWin::LoadBitmapFile(w, dir.file("q.bmp"));
    ExpectPixels(*w, 2, 6, Distinct);
}

TEST(LoadBitmapFileTest, ZeroLengthFileIsAnEmptyPicture)
{
    TempDir dir;
    WriteFile(dir.file("zero.bmp"), {});
    std::unique_ptr<TWin> w;
    EXPECT_NO_THROW(w = LoadOverPlaceholder(dir.file("zero.bmp")));
    ExpectEmpty(w);
}

struct FailureCase {
    const char *name;
    std::vector<uint8_t> bytes;
    std::string message; // empty: the "too large" message, checked by prefix
};

Bmp With(Bmp b, const std::function<void(Bmp &)> &change)
{
    change(b);
    return b;
}

std::vector<uint8_t> Truncated(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> Palette(int entries)
{
    std::vector<uint8_t> p;
    for (int i = 0; i < entries; ++i)
        p.insert(p.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    return p;
}

const char *const kNotValid = "Bitmap image is not valid";
const char *const kReadError = "Stream read error";

std::vector<FailureCase> FailureCases()
{
    const Bmp good = Valid24(3, 2);
    std::vector<uint8_t> notBm = good.bytes();
    notBm[0] = 'X';
    notBm[1] = 'Y';
    std::vector<uint8_t> ba = good.bytes();
    ba[1] = 'A';
    const Bmp eightBit = With(Bmp{}, [](Bmp &b) {
        b.width = 4;
        b.height = 1;
        b.bitCount = 8;
        b.palette = Palette(256);
        b.pixels = {0, 1, 2, 3};
    });
    return {
        {"NotBM", notBm, kNotValid},
        {"BA", ba, kNotValid},
        {"OneByte", {'B'}, kReadError},
        {"ShorterThanTheFileHeader", Truncated(good.bytes(), 13), kReadError},
        {"NotBMAndShorterThanTheFileHeader", {'G', 'I', 'F', '8', '9'}, kReadError},
        {"FileHeaderOnly", Truncated(good.bytes(), 14), kReadError},
        {"InfoHeaderCutShort", Truncated(good.bytes(), 14 + 30), kReadError},
        {"PixelDataOneByteShort", Truncated(good.bytes(), good.bytes().size() - 1), kReadError},
        {"NoPixelData", Truncated(good.bytes(), 54), kReadError},
        {"ColourTablePastTheEnd", Truncated(eightBit.bytes(), 54 + 100 * 4), kReadError},
        {"ColoursUsedPastTheEnd",
         Truncated(With(eightBit, [](Bmp &b) { b.coloursUsed = 4; b.palette = Palette(4); }).bytes(),
                   54 + 3 * 4),
         kReadError},
        // The pixels follow a table of 4 colours where 256 are announced.
        {"ColourTableShorterThanAnnounced",
         With(eightBit, [](Bmp &b) { b.palette = Palette(4); }).bytes(), kReadError},
        {"DataOffsetPastTheEnd", With(good, [](Bmp &b) { b.dataOffset = 5000; }).bytes(),
         kReadError},
        {"UnknownHeaderSize", With(good, [](Bmp &b) { b.headerSize = 41; }).bytes(), kNotValid},
        {"HeaderSizeZero", With(good, [](Bmp &b) { b.headerSize = 0; }).bytes(), kNotValid},
        {"TwoPlanes", With(good, [](Bmp &b) { b.planes = 2; }).bytes(), kNotValid},
        {"SevenBitsAPixel", With(good, [](Bmp &b) { b.bitCount = 7; }).bytes(), kNotValid},
        {"ZeroBitsAPixel", With(good, [](Bmp &b) { b.bitCount = 0; }).bytes(), kNotValid},
        {"RunLengthAt24Bits", With(good, [](Bmp &b) { b.compression = 1; }).bytes(), kNotValid},
        {"UnknownCompression", With(good, [](Bmp &b) { b.compression = 4; }).bytes(), kNotValid},
        {"NegativeWidth", With(good, [](Bmp &b) { b.width = -3; }).bytes(), kNotValid},
        // Sizes no picture could be allocated for, announced by tiny files.
        {"TooWide", With(good, [](Bmp &b) { b.width = (1 << 17) + 1; }).bytes(), ""},
        {"TooManyPixels", With(good, [](Bmp &b) { b.width = 40000; b.height = 40000; }).bytes(),
         "Bitmap image is too large: 40000 x 40000 pixels; at most 536870912 pixels can be "
         "opened"},
        {"WidthIntMax", With(good, [](Bmp &b) { b.width = INT32_MAX; }).bytes(), ""},
        {"HeightIntMin", With(good, [](Bmp &b) { b.height = INT32_MIN; }).bytes(), ""},
        {"HugeTopDown", With(good, [](Bmp &b) { b.height = -200000; }).bytes(), ""},
        {"HugeOs2Header",
         With(good, [](Bmp &b) { b.headerSize = 12; b.width = 65535; b.height = 65535; }).bytes(),
         ""},
        {"HugeRunLength",
         With(eightBit, [](Bmp &b) { b.compression = 1; b.width = 30000; b.height = 30000; })
             .bytes(),
         ""},
        // Just within the limit: refused for its missing pixel data, before
        // two gigabytes are set aside for it.
        {"LargestAllowedButTruncated",
         With(good, [](Bmp &b) { b.width = 23170; b.height = 23170; }).bytes(), kReadError},
    };
}

class LoadFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(LoadFailureTest, ThrowsItsMessageAndLeavesAnEmptySurface)
{
    const FailureCase &c = GetParam();
    TempDir dir;
    const std::string name = dir.file("bad.bmp");
    WriteFile(name, c.bytes);

    auto w = std::make_unique<TWin>(32, 32);
    std::string message;
    try {
        TWin::LoadBitmapFile(w, name);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        message = e.what();
    }
    if (c.message.empty()) {
        EXPECT_EQ(message.rfind("Bitmap image is too large: ", 0), 0u) << message;
    } else {
        EXPECT_EQ(message, c.message);
    }
    ExpectEmpty(w);

    // The decoder in memory agrees with the file reader.
    const QByteArray bytes(reinterpret_cast<const char *>(c.bytes.data()), qsizetype(c.bytes.size()));
    EXPECT_THROW(platform::decodeBitmap(bytes), std::runtime_error);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailureTest, ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<FailureCase> &info) {
                             return std::string(info.param.name);
                         });

TEST(LoadBitmapFileTest, MissingFileNamesTheFileAsPassed)
{
    TempDir dir;
    for (const std::string &name :
         {dir.file("missing.bmp"), std::string("no-such-folder/../missing.bmp"), std::string()}) {
        auto w = std::make_unique<TWin>(32, 32);
        try {
            TWin::LoadBitmapFile(w, name);
            ADD_FAILURE() << "no error for " << name;
        } catch (const std::runtime_error &e) {
            EXPECT_EQ(std::string(e.what()), "Cannot open file " + name);
        }
        ExpectEmpty(w);
    }
}

TEST(LoadBitmapFileTest, FolderCannotBeOpened)
{
    TempDir dir;
    auto w = std::make_unique<TWin>(32, 32);
    const std::string name = dir.path().string();
    try {
        TWin::LoadBitmapFile(w, name);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + name);
    }
    ExpectEmpty(w);
}

TEST(LoadBitmapFileTest, UnreadableFileCannotBeOpened)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which reads any file";
    TempDir dir;
    const std::string name = dir.file("secret.bmp");
    WriteFile(name, Valid24(2, 2).bytes());
    fs::permissions(name, fs::perms::none);
    auto w = std::make_unique<TWin>(32, 32);
    try {
        TWin::LoadBitmapFile(w, name);
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + name);
    }
    ExpectEmpty(w);
}

// ---- other variants the reader accepts ----------------------------------

struct VariantCase {
    const char *name;
    Bmp file;
    int width, height;
    std::function<Bgr(int, int)> colour;
};

std::vector<VariantCase> VariantCases()
{
    std::vector<VariantCase> cases;

    // Rows stored top-down: a negative height.
    {
        Bmp b = Valid24(3, 2);
        std::vector<std::vector<uint8_t>> rows;
        for (int y = 1; y >= 0; --y) { // BottomUp reverses: give bottom first
            std::vector<uint8_t> row;
            for (int x = 0; x < 3; ++x) {
                const Bgr p = Distinct(x, y);
                row.insert(row.end(), {uint8_t(p.b), uint8_t(p.g), uint8_t(p.r)});
            }
            rows.push_back(row);
        }
        b.pixels = BottomUp(rows);
        b.height = -2;
        cases.push_back({"TopDown24", b, 3, 2, Distinct});
    }
    // Eight bits through a colour table of blue, green, red, reserved.
    {
        Bmp b;
        b.width = 3;
        b.height = 2;
        b.bitCount = 8;
        b.coloursUsed = 3;
        b.palette = {10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0};
        b.pixels = BottomUp({{0, 1, 2}, {2, 2, 1}});
        const auto colour = [](int x, int y) {
            static const int index[2][3] = {{0, 1, 2}, {2, 2, 1}};
            const int i = index[y][x];
            return Bgr{10 + 30 * i, 20 + 30 * i, 30 + 30 * i};
        };
        cases.push_back({"Palette8", b, 3, 2, colour});
    }
    // One bit a pixel, nine pixels a row: the row spills into a second byte.
    {
        Bmp b;
        b.width = 9;
        b.height = 2;
        b.bitCount = 1;
        b.palette = {0, 0, 0, 0, 255, 255, 255, 0};
        b.pixels = BottomUp({{0b10101010, 0b10000000}, {0b11110000, 0b00000000}});
        const auto colour = [](int x, int y) {
            const bool on = y == 0 ? (x % 2 == 0) : (x < 4);
            const int v = on ? 255 : 0;
            return Bgr{v, v, v};
        };
        cases.push_back({"Mono", b, 9, 2, colour});
    }
    // 32 bits, the fourth byte unused.
    {
        Bmp b;
        b.width = 2;
        b.height = 2;
        b.bitCount = 32;
        b.pixels = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0};
        const auto colour = [](int x, int y) {
            const int n = ((1 - y) * 2 + x) * 3; // bottom row first
            return Bgr{n + 1, n + 2, n + 3};
        };
        cases.push_back({"Rgb32", b, 2, 2, colour});
    }
    // 32 bits with an alpha mask: the colour is taken as it is, never
    // blended with black.
    {
        Bmp b;
        b.headerSize = 108;
        b.width = 2;
        b.height = 1;
        b.bitCount = 32;
        b.compression = 3;
        b.masks = {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000};
        b.pixels = {10, 20, 30, 0, 40, 50, 60, 128};
        const auto colour = [](int x, int) {
            return x == 0 ? Bgr{10, 20, 30} : Bgr{40, 50, 60};
        };
        cases.push_back({"Argb32", b, 2, 1, colour});
    }
    // The 12-byte header of the oldest variant.
    {
        Bmp b = Valid24(3, 2);
        b.headerSize = 12;
        cases.push_back({"Os2Header", b, 3, 2, Distinct});
    }
    // Run-length coded eight bits: a run of three, then two runs of one.
    {
        Bmp b;
        b.width = 5;
        b.height = 1;
        b.bitCount = 8;
        b.compression = 1;
        b.palette = Palette(256);
        b.pixels = {3, 7, 1, 9, 1, 11, 0, 1};
        const auto colour = [](int x, int) {
            const int v = x < 3 ? 7 : x == 3 ? 9 : 11;
            return Bgr{v, v, v};
        };
        cases.push_back({"RunLength8", b, 5, 1, colour});
    }
    return cases;
}

class VariantTest : public ::testing::TestWithParam<VariantCase> {};

TEST_P(VariantTest, LoadsUprightAsBlueGreenRed)
{
    const VariantCase &c = GetParam();
    TempDir dir;
    WriteFile(dir.file("v.bmp"), c.file.bytes());
    auto w = LoadOverPlaceholder(dir.file("v.bmp"));
    ExpectPixels(*w, c.width, c.height, c.colour);
}

INSTANTIATE_TEST_SUITE_P(Formats, VariantTest, ::testing::ValuesIn(VariantCases()),
                         [](const ::testing::TestParamInfo<VariantCase> &info) {
                             return std::string(info.param.name);
                         });

} // namespace
