// Memory bounds of loading: a header announcing more than the reader's limit
// is refused with a clear message before anything is allocated; a picture
// within it loads whatever its size; a picture the system has no memory for
// is refused with a message, not a crash or an empty picture.

#include "imaging/Win.h"
#include "platform/BitmapReader.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define LUMIVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMIVANE_ASAN 1
#endif
#endif

namespace {

void Put(QByteArray &b, int at, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = char(v >> (8 * i));
}

// An 8-bit run-length file of any announced size: a grey palette and data
// that ends the picture at once. Tiny on disk, as large as it says in memory.
QByteArray Rle8(int32_t width, int32_t height)
{
    QByteArray b(54 + 1024, '\0');
    b[0] = 'B';
    b[1] = 'M';
    Put(b, 10, 54 + 1024, 4);
    Put(b, 14, 40, 4);
    Put(b, 18, uint32_t(width), 4);
    Put(b, 22, uint32_t(height), 4);
    Put(b, 26, 1, 2);
    Put(b, 28, 8, 2);
    Put(b, 30, 1, 4); // RLE8
    for (int i = 0; i < 256; ++i)
        Put(b, 54 + 4 * i, uint32_t(i * 0x010101), 4);
    b.append("\x04\x07\x00\x01", 4); // four pixels of colour 7, end of picture
    Put(b, 2, uint32_t(b.size()), 4);
    return b;
}

std::string LoadMessage(const QByteArray &bytes, std::unique_ptr<TWin> &win)
{
    try {
        TWin::LoadBitmapBytes(win, bytes);
    } catch (const std::runtime_error &e) {
        return e.what();
    }
    return "";
}

const std::string kTooLarge = "Bitmap image is too large: ";

TEST(MemoryBounds, HeadersAnnouncingMoreThanTheLimitAreRefusedWithTheirSize)
{
    const struct {
        int32_t width, height;
        std::string size;
    } cases[] = {
        {131073, 1, "131073 x 1"},          // one column past the side limit
        {1, -131073, "1 x 131073"},         // a top-down one row past it
        {131072, 4097, "131072 x 4097"},    // sides allowed, pixels not
        {23171, 23171, "23171 x 23171"},    // just past 2^29 pixels
        {INT32_MAX, INT32_MAX, "2147483647 x 2147483647"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        auto win = std::make_unique<TWin>(4, 4);
        EXPECT_EQ(LoadMessage(Rle8(c.width, c.height), win),
                  kTooLarge + c.size + " pixels; at most 536870912 pixels can be opened");
        ASSERT_TRUE(win);
        EXPECT_TRUE(win->empty());
    }
}

// The refusal comes before the decoder or the surface asks for memory: with
// the process's address space capped far below the announced picture, the
// message is still the size refusal, not an allocation failure.
TEST(MemoryBounds, TheRefusalAllocatesNothingLarge)
{
#ifdef LUMIVANE_ASAN
    GTEST_SKIP() << "an address-space cap and AddressSanitizer's shadow memory exclude each other";
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit cap{256u << 20, 256u << 20};
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(3);
        std::unique_ptr<TWin> win;
        const std::string m = LoadMessage(Rle8(131072, 131072), win);
        _exit(m.rfind(kTooLarge, 0) == 0 && win && win->empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST(MemoryBounds, PicturesAtTheLimitsOfEachSideLoad)
{
    const struct {
        int32_t width, height;
    } cases[] = {{131072, 1}, {1, 131072}, {1, -131072}, {4096, 4096}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::unique_ptr<TWin> win;
        ASSERT_EQ(LoadMessage(Rle8(c.width, c.height), win), "");
        ASSERT_EQ(win->width(), c.width);
        ASSERT_EQ(win->height(), c.height < 0 ? -c.height : c.height);
        // The four pixels of the data, at the start of the bottom row
        // (the top row when stored top-down); the rest takes the first colour.
        const int32_t dataRow = c.height < 0 ? 0 : win->height() - 1;
        const int32_t otherRow = c.height < 0 ? win->height() - 1 : 0;
        EXPECT_EQ(win->ReadPixel(0, dataRow), 7);
        EXPECT_EQ(win->ReadGreen(), 7);
        EXPECT_EQ(win->ReadRed(), 7);
        EXPECT_EQ(win->ReadPixel(win->width() - 1, otherRow), 0);
    }
}

// A picture within the limit that the system cannot hold is refused with a
// message about memory, the surface left empty, and nothing crashes.
TEST(MemoryBounds, APictureTheSystemCannotHoldIsRefusedWithAMessage)
{
#ifdef LUMIVANE_ASAN
    GTEST_SKIP() << "an address-space cap and AddressSanitizer's shadow memory exclude each other";
#else
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // 2^28 pixels need about 2.5 GiB; allow 1 GiB.
        const rlimit cap{1u << 30, 1u << 30};
        if (setrlimit(RLIMIT_AS, &cap) != 0)
            _exit(3);
        auto win = std::make_unique<TWin>(4, 4);
        const std::string m = LoadMessage(Rle8(16384, 16384), win);
        const bool clear = m == "Not enough memory to open a picture of 16384 x 16384 pixels";
        if (!clear)
            std::fprintf(stderr, "message: '%s'\n", m.c_str());
        _exit(clear && win && win->empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// A file of gigabytes whose start is no bitmap, or a small picture followed
// by gigabytes, is never read whole: the headers decide how much is read.
// The files are sparse, so they take no room on disk.
class HugeFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // `start`, then zeros up to 8 GiB; false when the file system would
    // really store them.
    bool MakeSparse(const std::string &path, const QByteArray &start)
    {
        {
            std::ofstream out(path, std::ios::binary);
            out.write(start.constData(), start.size());
        }
        std::filesystem::resize_file(path, uintmax_t(8) << 30);
        struct stat st {};
        if (stat(path.c_str(), &st) != 0 || st.st_blocks * 512 > (16 << 20)) {
            std::filesystem::remove(path);
            return false;
        }
        return true;
    }

    std::string Path(const char *name) { return dir_.filePath(name).toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(HugeFiles, NoBitmapIsRefusedWithoutBeingRead)
{
    const std::string path = Path("movie.bmp");
    if (!MakeSparse(path, QByteArray("\x89PNG\r\n\x1a\n", 8)))
        GTEST_SKIP() << "this file system stores no sparse files; 8 GiB would be written";
    auto win = std::make_unique<TWin>(2, 2);
    std::string message;
    try {
        TWin::LoadBitmapFile(win, path);
    } catch (const std::runtime_error &e) {
        message = e.what();
    }
    EXPECT_EQ(message, "Bitmap image is not valid");
    EXPECT_TRUE(win->empty());
}

TEST_F(HugeFiles, APictureFollowedByGigabytesLoads)
{
    const std::string path = Path("padded.bmp");
    if (!MakeSparse(path, Rle8(300, 200)))
        GTEST_SKIP() << "this file system stores no sparse files; 8 GiB would be written";
    std::unique_ptr<TWin> win;
    ASSERT_NO_THROW(TWin::LoadBitmapFile(win, path));
    EXPECT_EQ(win->width(), 300);
    EXPECT_EQ(win->height(), 200);
    EXPECT_EQ(win->ReadPixel(0, 199), 7);
}

// A device that never ends is not read to its end.
TEST(EndlessFiles, AreRefusedAfterTheirStart)
{
    auto win = std::make_unique<TWin>(2, 2);
    try {
        TWin::LoadBitmapFile(win, "/dev/zero");
        ADD_FAILURE() << "/dev/zero was read as a picture";
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()), "Bitmap image is not valid");
    }
    EXPECT_TRUE(win->empty());
}

} // namespace
