// The pictures of the help and about windows, as the program's resources
// hold them.

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

uint32_t Le32(const QByteArray &b, int at) { return qFromLittleEndian<uint32_t>(b.constData() + at); }
uint16_t Le16(const QByteArray &b, int at) { return qFromLittleEndian<uint16_t>(b.constData() + at); }

} // namespace

TEST(PicturesTest, BitmapsAreUncompressed24BitBottomUpOfTheirSizes)
{
    struct Case {
        const char *path;
        int width, height;
    };
    for (const Case &c : {Case{":/pictures/avenue.bmp", 150, 112},
                          Case{":/pictures/banner.bmp", 478, 128},
                          Case{":/pictures/knobpanel.bmp", 303, 201}}) {
        SCOPED_TRACE(c.path);
        QFile file(c.path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GE(bytes.size(), 54);
        EXPECT_EQ(bytes.left(2), QByteArray("BM"));
        EXPECT_EQ(Le32(bytes, 10), 54u);               // pixels right after the headers
        EXPECT_EQ(Le32(bytes, 14), 40u);               // information header
        EXPECT_EQ(int32_t(Le32(bytes, 18)), c.width);
        EXPECT_EQ(int32_t(Le32(bytes, 22)), c.height); // positive: bottom-up
        EXPECT_EQ(Le16(bytes, 28), 24u);
        EXPECT_EQ(Le32(bytes, 30), 0u);                // no compression
        const int stride = (c.width * 3 + 3) & ~3;
        EXPECT_EQ(bytes.size(), 54 + stride * c.height);
        EXPECT_EQ(QImage(c.path).size(), QSize(c.width, c.height));
    }
}

TEST(PicturesTest, IconIsA64PixelImageWithATransparencyMask)
{
    const QImage icon(":/pictures/tv.ico");
    ASSERT_EQ(icon.size(), QSize(64, 64));
    ASSERT_TRUE(icon.hasAlphaChannel());
    // The corners around the set are clear; the screen and cabinet are solid.
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(63, 63)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(63, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(25, 37)), 255);
    EXPECT_EQ(qAlpha(icon.pixel(4, 40)), 255);
}

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
