// Reading robustness across the BMP format: every variant the reader accepts
// must come out upright with the colours an independent decoder
// (ImageMagick's convert) sees, and every damaged file must end in one of
// the reader's messages, never a crash or a hang. The files come from
// scripts/make-bmp-variants.py, which also seeds the load fuzzer.

#include "imaging/Win.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string name;
    std::string expect; // "ok", "empty", "either", "nothing" or the start of a message
};

const std::vector<std::string> kMessages = {"Bitmap image is not valid", "Stream read error",
                                            "Bitmap image is too large", "Not enough memory"};

bool StartsWith(const std::string &s, const std::string &prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool KnownMessage(const std::string &m)
{
    for (const std::string &k : kMessages)
        if (StartsWith(m, k))
            return true;
    return false;
}

std::string Quote(const std::string &s)
{
    return "'" + s + "'";
}

QByteArray ReadAll(const std::string &path)
{
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    return f.readAll();
}

// An 8-bit binary PPM: width, height and RGB bytes.
struct Ppm {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Ppm ReadPpm(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    Ppm p;
    in >> magic >> p.width >> p.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255)
        throw std::runtime_error("not an 8-bit PPM: " + path);
    p.rgb.resize(size_t(p.width) * size_t(p.height) * 3);
    in.read(reinterpret_cast<char *>(p.rgb.data()), std::streamsize(p.rgb.size()));
    return p;
}

// What loading a file yields: the surface, or the message of the refusal.
struct Outcome {
    std::unique_ptr<TWin> win;
    bool refused = false;
    std::string message;
};

Outcome Load(const QByteArray &bytes)
{
    Outcome o;
    try {
        TWin::LoadBitmapBytes(o.win, bytes);
    } catch (const std::runtime_error &e) {
        o.refused = true;
        o.message = e.what();
    }
    return o;
}

// A width or a height of 0 in the information header.
bool AnnouncesNoPixels(const QByteArray &b)
{
    const auto le = [&](int at, int n) {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = v << 8 | uint8_t(b[at + i]);
        return v;
    };
    if (b.size() < 26)
        return false;
    if (le(14, 4) == 12)
        return le(18, 2) == 0 || le(20, 2) == 0;
    return le(18, 4) == 0 || le(22, 4) == 0;
}

class BitmapVariants : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new QTemporaryDir();
        ASSERT_TRUE(dir_->isValid());
        const std::string cmd = "python3 " + Quote(LUMIVANE_SOURCE_DIR "/scripts/make-bmp-variants.py") +
                                " " + Quote(Dir());
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        std::ifstream manifest(Dir() + "/MANIFEST");
        std::string line;
        while (std::getline(manifest, line)) {
            const size_t tab = line.find('\t');
            ASSERT_NE(tab, std::string::npos) << line;
            entries_->push_back({line.substr(0, tab), line.substr(tab + 1)});
        }
        ASSERT_GT(entries_->size(), 50u);
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }

    static std::string Dir() { return dir_->path().toStdString(); }
    static std::string Path(const Entry &e) { return Dir() + "/" + e.name; }
    static std::vector<Entry> With(const std::string &expect, bool match = true)
    {
        std::vector<Entry> out;
        for (const Entry &e : *entries_)
            if ((e.expect == expect) == match)
                out.push_back(e);
        return out;
    }

    static QTemporaryDir *dir_;
    static std::vector<Entry> *entries_;
};

QTemporaryDir *BitmapVariants::dir_ = nullptr;
std::vector<Entry> *BitmapVariants::entries_ = new std::vector<Entry>();

TEST_F(BitmapVariants, EveryAcceptedVariantMatchesAnIndependentDecoder)
{
    const std::vector<Entry> good = With("ok");
    ASSERT_GE(good.size(), 30u);
    for (const Entry &e : good) {
        SCOPED_TRACE(e.name);
        std::unique_ptr<TWin> win;
        ASSERT_NO_THROW(TWin::LoadBitmapFile(win, Path(e)));
        const std::string ppm = Path(e) + ".ppm";
        const std::string cmd = "convert " + Quote(Path(e)) + " -alpha off -depth 8 " +
                                Quote("ppm:" + ppm) + " 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        const Ppm ref = ReadPpm(ppm);
        ASSERT_EQ(win->width(), ref.width);
        ASSERT_EQ(win->height(), ref.height);
        // convert widens 5- and 6-bit channels to the full byte as we do,
        // but leaves 4-bit ones at the top of it; there only the bits the
        // file holds can be compared.
        const uint8_t held = e.name == "ok-bf16-v3-alpha-masks.bmp" ? 0xF0 : 0xFF;
        int wrong = 0;
        for (int y = 0; y < ref.height; ++y)
            for (int x = 0; x < ref.width; ++x) {
                const uint8_t *ours = win->Bits + intptr_t(y) * win->Stride + 3 * x;
                const uint8_t *theirs = ref.rgb.data() + (size_t(y) * ref.width + x) * 3;
                if ((ours[2] & held) != (theirs[0] & held) || (ours[1] & held) != (theirs[1] & held) ||
                    (ours[0] & held) != (theirs[2] & held)) {
                    if (++wrong <= 3)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << "): ours r" << int(ours[2])
                                      << " g" << int(ours[1]) << " b" << int(ours[0])
                                      << ", convert's r" << int(theirs[0]) << " g"
                                      << int(theirs[1]) << " b" << int(theirs[2]);
                }
            }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(BitmapVariants, EveryBrokenFileEndsInItsMessageWithAnEmptySurface)
{
    const std::vector<Entry> broken = With("ok", false);
    ASSERT_GE(broken.size(), 40u);
    for (const Entry &e : broken) {
        SCOPED_TRACE(e.name + " (" + e.expect + ")");
        auto win = std::make_unique<TWin>(2, 2);
        std::string message;
        try {
            TWin::LoadBitmapFile(win, Path(e));
        } catch (const std::runtime_error &err) {
            message = err.what();
        }
        ASSERT_TRUE(win);
        if (e.expect == "empty") {
            EXPECT_EQ(message, "");
            EXPECT_TRUE(win->empty());
        } else if (e.expect == "nothing") {
            // No pixels: a refusal, or an empty picture.
            EXPECT_TRUE(message.empty() || KnownMessage(message)) << message;
            EXPECT_TRUE(win->empty());
        } else if (e.expect == "either") {
            // Damaged run-length data: a reader may make what it can of it.
            if (message.empty())
                EXPECT_FALSE(win->empty());
            else
                EXPECT_TRUE(KnownMessage(message)) << message;
        } else {
            EXPECT_TRUE(StartsWith(message, e.expect)) << "got: '" << message << "'";
            EXPECT_TRUE(win->empty());
            EXPECT_EQ(win->width(), 0);
            EXPECT_EQ(win->height(), 0);
        }
    }
}

// A file cut short anywhere is refused; uncompressed ones always with
// "Stream read error", since their size is known from the headers.
TEST_F(BitmapVariants, EveryCutOfEveryGoodFileIsRefusedOrReadWhole)
{
    int tried = 0;
    for (const Entry &e : With("ok")) {
        SCOPED_TRACE(e.name);
        const QByteArray whole = ReadAll(Path(e));
        const bool runLength = e.name.find("rle") != std::string::npos;
        for (qsizetype n = 1; n < whole.size(); ++n) {
            const Outcome o = Load(whole.left(n));
            ++tried;
            if (runLength && o.refused) {
                ASSERT_TRUE(KnownMessage(o.message)) << "cut at " << n << ": " << o.message;
            } else if (!runLength) {
                ASSERT_TRUE(o.refused) << "cut at " << n << " of " << whole.size();
                ASSERT_EQ(o.message, "Stream read error") << "cut at " << n;
            }
            ASSERT_TRUE(o.win);
            ASSERT_EQ(o.win->empty(), o.refused) << "cut at " << n;
        }
    }
    std::printf("[          ] %d cut files tried\n", tried);
}

// Each byte of the headers and colour table set to 0, to 255 and with its
// top bit flipped: the reader takes the file or refuses it with a message.
TEST_F(BitmapVariants, EveryChangedHeaderByteEndsInAPictureOrAMessage)
{
    int tried = 0, refused = 0;
    for (const Entry &e : With("ok")) {
        SCOPED_TRACE(e.name);
        const QByteArray whole = ReadAll(Path(e));
        const uint32_t offset = uint8_t(whole[10]) | uint8_t(whole[11]) << 8;
        for (qsizetype at = 0; at < qsizetype(offset) && at < whole.size(); ++at)
            for (int change = 0; change < 3; ++change) {
                QByteArray bytes = whole;
                bytes[at] = change == 0 ? char(0) : change == 1 ? char(0xFF) : char(bytes[at] ^ 0x80);
                const Outcome o = Load(bytes);
                ++tried;
                ASSERT_TRUE(o.win);
                if (o.refused) {
                    ++refused;
                    ASSERT_TRUE(KnownMessage(o.message)) << "byte " << at << ": " << o.message;
                    ASSERT_TRUE(o.win->empty());
                } else {
                    // Taken: a picture, or the empty picture of a header
                    // that announces no pixels.
                    ASSERT_EQ(o.win->empty(), AnnouncesNoPixels(bytes)) << "byte " << at;
                }
            }
    }
    std::printf("[          ] %d changed files tried, %d refused\n", tried, refused);
}

} // namespace
