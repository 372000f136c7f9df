#include "platform/WaveDecoder.h"

#include <QFile>
#include <QtEndian>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Registers the sounds compiled into the program; the reference also keeps the
// linker from leaving them out.
static void registerSounds()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(sounds);
        return true;
    }();
    (void)registered;
}

namespace platform {
namespace {

// Read-only view of the wave bytes for the sound library's virtual I/O.
struct MemoryStream {
    const QByteArray *bytes;
    sf_count_t position = 0;
};

sf_count_t streamLength(void *user)
{
    return static_cast<MemoryStream *>(user)->bytes->size();
}

sf_count_t streamSeek(sf_count_t offset, int whence, void *user)
{
    auto *s = static_cast<MemoryStream *>(user);
    sf_count_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = s->position; break;
    case SEEK_END: base = s->bytes->size(); break;
    default: return -1;
    }
    const sf_count_t target = base + offset;
    if (target < 0 || target > s->bytes->size())
        return -1;
    s->position = target;
    return s->position;
}

sf_count_t streamRead(void *destination, sf_count_t count, void *user)
{
    auto *s = static_cast<MemoryStream *>(user);
    const sf_count_t n = std::clamp<sf_count_t>(s->bytes->size() - s->position, 0, count);
    std::memcpy(destination, s->bytes->constData() + s->position, static_cast<size_t>(n));
    s->position += n;
    return n;
}

sf_count_t streamWrite(const void *, sf_count_t, void *)
{
    return 0;
}

sf_count_t streamTell(void *user)
{
    return static_cast<MemoryStream *>(user)->position;
}

// Far beyond any interface sound; keeps a forged header from asking for gigabytes.
constexpr qint64 kMaxSampleBytes = 64 * 1024 * 1024;

bool isPlainPcm(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return true;
    default:
        return false;
    }
}

// The frame count of a RIFF wave file's "fact" chunk, or -1 when it has none.
// Block codecs (ADPCM) fill their last block up; only this count tells where
// the sound really ends.
qint64 factFrames(const QByteArray &bytes)
{
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return -1;
    qsizetype pos = 12;
    while (pos + 8 <= bytes.size()) {
        const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + pos + 4);
        if (bytes.mid(pos, 4) == "fact" && size >= 4 && pos + 12 <= bytes.size())
            return qFromLittleEndian<quint32>(bytes.constData() + pos + 8);
        pos += 8 + qsizetype(size) + (size & 1);
    }
    return -1;
}

} // namespace

DecodedSound DecodeWave(const QByteArray &bytes)
{
    SF_VIRTUAL_IO io{streamLength, streamSeek, streamRead, streamWrite, streamTell};
    MemoryStream stream{&bytes};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(
        sf_open_virtual(&io, SFM_READ, &info, &stream), sf_close);
    if (!file)
        throw std::runtime_error(std::string("not a readable sound: ") + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1)
        throw std::runtime_error("sound has no channels or no sample rate");

    const qint64 frameBytes = qint64(info.channels) * qint64(sizeof(qint16));
    if (info.frames < 0 || info.frames > kMaxSampleBytes / frameBytes)
        throw std::runtime_error("sound is too long");

    // Read as floats in -1..1 (integer formats come out as n/32768), which
    // works alike for every encoding, float files included.
    std::vector<float> decoded(size_t(info.frames) * size_t(info.channels));
    sf_count_t frames = sf_readf_float(file.get(), decoded.data(), info.frames);
    if (frames < 0)
        throw std::runtime_error(std::string("sound data unreadable: ") + sf_strerror(file.get()));
    if (!isPlainPcm(info.format)) {
        const qint64 fact = factFrames(bytes);
        if (fact >= 0 && fact < frames)
            frames = fact;
    }

    DecodedSound sound;
    sound.sampleRate = info.samplerate;
    sound.channels = info.channels;
    sound.frames = frames; // the header's count can overstate the data
    sound.samples.resize(frames * frameBytes);
    auto *out = reinterpret_cast<qint16 *>(sound.samples.data());
    for (qsizetype i = 0; i < qsizetype(frames) * info.channels; ++i)
        out[i] = qint16(std::clamp(std::lrint(decoded[size_t(i)] * 32768.0f), -32768L, 32767L));
    return sound;
}

DecodedSound LoadEmbeddedSound(const QString &name)
{
    registerSounds();
    QFile file(QStringLiteral(":/sounds/%1.wav").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("no embedded sound named " + name.toStdString());
    try {
        return DecodeWave(file.readAll());
    } catch (const std::runtime_error &e) {
        throw std::runtime_error("embedded sound " + name.toStdString() + ": " + e.what());
    }
}

} // namespace platform
