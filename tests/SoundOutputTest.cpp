// The sound output without a sound server: decoding the embedded sounds,
// the replaceable sink, and that playing stays silent and never waits when
// there is nowhere to play.
#include "platform/SoundOutput.h"
#include "platform/WaveDecoder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

using platform::DecodedSound;

QByteArray embeddedBytes(const QString &name)
{
    platform::LoadEmbeddedSound(name); // registers the resources
    QFile file(QStringLiteral(":/sounds/%1.wav").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

int peak(const DecodedSound &sound)
{
    const auto *s = reinterpret_cast<const qint16 *>(sound.samples.constData());
    int p = 0;
    for (qsizetype i = 0; i < sound.samples.size() / 2; ++i)
        p = std::max(p, std::abs(int(s[i])));
    return p;
}

struct SoundCase {
    const char *name;
    quint16 formatTag; // 1 PCM, 2 Microsoft ADPCM, 7 u-law
    int channels;
    int sampleRate;
    qint64 frames;     // the intended length; the sounds may differ slightly
};

const SoundCase kSounds[] = {
    {"RSTART", 1, 1, 44100, 15308},
    {"RCLICK", 1, 1, 44100, 608},
    {"RTICK", 2, 2, 22050, 679},
    {"RPOP", 1, 1, 44100, 1311},
    {"RSTRUM", 7, 1, 22050, 4150},
    {"REXIT", 1, 1, 44100, 88201},
    {"RAIR", 1, 1, 44100, 26262},
};

void PrintTo(const SoundCase &c, std::ostream *os)
{
    *os << c.name;
}

class EmbeddedSound : public testing::TestWithParam<SoundCase> {};

TEST_P(EmbeddedSound, IsStoredInItsEncodingAndDecodesToItsLength)
{
    const SoundCase &c = GetParam();
    const QByteArray bytes = embeddedBytes(c.name);
    ASSERT_GE(bytes.size(), 44) << c.name << " is not embedded";
    EXPECT_EQ(bytes.left(4), "RIFF");
    EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 20), c.formatTag);
    if (c.formatTag == 1) { // plain PCM keeps to the 16-byte format chunk
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 16), 16u);
    }

    const DecodedSound sound = platform::DecodeWave(bytes);
    EXPECT_EQ(sound.channels, c.channels);
    EXPECT_EQ(sound.sampleRate, c.sampleRate);
    // Roughly the intended length: within 5 % or 2 ms, whichever is more.
    const double tolerance = std::max(0.05 * double(c.frames), 0.002 * c.sampleRate);
    EXPECT_NEAR(double(sound.frames), double(c.frames), tolerance);
    EXPECT_EQ(sound.samples.size(), sound.frames * sound.channels * 2);
    EXPECT_EQ(sound.durationMs(), sound.frames * 1000 / sound.sampleRate);
    // A decoding slip (wrong scale, wrong codec) shows as silence or noise at full scale.
    EXPECT_GT(peak(sound), 3000) << c.name << " is (nearly) silent";
    EXPECT_LT(peak(sound), 32767) << c.name << " clips";
}

INSTANTIATE_TEST_SUITE_P(All, EmbeddedSound, testing::ValuesIn(kSounds),
                         [](const auto &info) { return std::string(info.param.name); });

// A canonical 44-byte RIFF wave header followed by `data`.
QByteArray waveFile(quint16 formatTag, int channels, int rate, int bits, const QByteArray &data,
                    quint32 dataSizeInHeader = 0)
{
    auto le16 = [](QByteArray &b, quint16 v) { b.append(char(v & 0xff)).append(char(v >> 8)); };
    auto le32 = [&](QByteArray &b, quint32 v) { le16(b, quint16(v & 0xffff)); le16(b, quint16(v >> 16)); };
    const quint32 dataSize = dataSizeInHeader ? dataSizeInHeader : quint32(data.size());
    QByteArray b("RIFF");
    le32(b, 36 + dataSize);
    b.append("WAVEfmt ");
    le32(b, 16);
    le16(b, formatTag);
    le16(b, quint16(channels));
    le32(b, quint32(rate));
    le32(b, quint32(rate * channels * bits / 8));
    le16(b, quint16(channels * bits / 8));
    le16(b, quint16(bits));
    b.append("data");
    le32(b, dataSize);
    return b + data;
}

TEST(DecodeWave, ScalesFloatSamplesToTheInt16Range)
{
    QByteArray data;
    for (float v : {0.5f, -0.5f, 0.25f, 0.0f}) {
        quint32 bits;
        std::memcpy(&bits, &v, 4);
        data.append(reinterpret_cast<const char *>(&bits), 4); // little-endian host
    }
    const DecodedSound sound = platform::DecodeWave(waveFile(3, 1, 8000, 32, data));
    ASSERT_EQ(sound.frames, 4);
    const auto *s = reinterpret_cast<const qint16 *>(sound.samples.constData());
    EXPECT_NEAR(s[0], 16384, 2);
    EXPECT_NEAR(s[1], -16384, 2);
    EXPECT_NEAR(s[2], 8192, 2);
    EXPECT_EQ(s[3], 0);
}

TEST(DecodeWave, KeepsTheFramesThatAreThereWhenTheHeaderClaimsMore)
{
    QByteArray data(200, '\0'); // 100 frames of silence...
    // ...under a header that promises 1000 frames.
    const DecodedSound sound = platform::DecodeWave(waveFile(1, 1, 44100, 16, data, 2000));
    EXPECT_EQ(sound.frames, 100);
    EXPECT_EQ(sound.samples.size(), 200);
}

TEST(DecodeWave, RejectsWhatIsNoSound)
{
    const QByteArray rpop = embeddedBytes("RPOP");
    const struct {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"nothing", QByteArray()},
        {"text", QByteArray("this is not a wave file at all, only some text")},
        {"header cut short", rpop.left(30)},
        {"no channels", waveFile(1, 0, 44100, 16, QByteArray(64, '\0'))},
        {"unknown codec", waveFile(0x7777, 1, 44100, 16, QByteArray(64, '\0'))},
    };
    for (const auto &c : cases)
        EXPECT_THROW(platform::DecodeWave(c.bytes), std::runtime_error) << c.what;
}

TEST(LoadEmbeddedSound, NamesTheSoundThatIsMissing)
{
    try {
        platform::LoadEmbeddedSound("RNOSUCH");
        FAIL() << "no exception";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("RNOSUCH"), std::string::npos) << e.what();
    }
}

struct Recorder : platform::SoundSink {
    std::vector<std::pair<QString, bool>> played;
    void play(const QString &name, bool synchronous) override { played.emplace_back(name, synchronous); }
};

TEST(SoundSink, TakesEveryPlayUntilTheRealOutputIsBack)
{
    Recorder first, second;
    EXPECT_EQ(platform::SetSoundSink(&first), nullptr); // the real output was in place
    platform::PlaySound("RCLICK", false);
    EXPECT_EQ(platform::SetSoundSink(&second), &first);
    platform::PlaySound("RAIR", true);
    platform::PlaySound("RPOP", false);
    EXPECT_EQ(platform::SetSoundSink(nullptr), &second);
    platform::PlaySound("RTICK", false); // the real output (no server here): silent

    const std::vector<std::pair<QString, bool>> firstWant{{"RCLICK", false}};
    const std::vector<std::pair<QString, bool>> secondWant{{"RAIR", true}, {"RPOP", false}};
    EXPECT_EQ(first.played, firstWant);
    EXPECT_EQ(second.played, secondWant);
    EXPECT_EQ(platform::SetSoundSink(nullptr), nullptr);
}

// main() points the output at a sound server that does not exist.
TEST(NoSoundServer, PlayingIsSilentAndNeverWaits)
{
    const qint64 shortest = platform::LoadEmbeddedSound("RAIR").durationMs();
    for (const char *name : {"RAIR", "REXIT", "RTICK", "RSTRUM", "RNOSUCH", ""}) {
        for (bool synchronous : {false, true}) {
            QElapsedTimer clock;
            clock.start();
            EXPECT_NO_THROW(platform::PlaySound(name, synchronous));
            // Far less than the sound itself lasts: nothing was waited for.
            EXPECT_LT(clock.elapsed(), shortest / 2) << name << (synchronous ? " sync" : " async");
        }
    }
}

TEST(NoSoundServer, UnknownSoundIsSilentEvenSynchronously)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_NO_THROW(platform::PlaySound("RNOSUCH", true));
    EXPECT_LT(clock.elapsed(), 300);
}

} // namespace

int main(int argc, char **argv)
{
    // No sound server at all, and nothing written to the user's own folders.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    qputenv("PULSE_SERVER", ("unix:" + home.path() + "/no-server").toLocal8Bit());
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
