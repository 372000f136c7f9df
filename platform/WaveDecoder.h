#pragma once
// Decoding of wave sounds into plain 16-bit samples ready for the audio output.

#include <QByteArray>
#include <QString>

namespace platform {

struct DecodedSound {
    int sampleRate = 0;
    int channels = 0;
    qint64 frames = 0;
    QByteArray samples; // interleaved signed 16-bit, native byte order

    qint64 durationMs() const { return sampleRate > 0 ? frames * 1000 / sampleRate : 0; }
};

// Decodes a complete RIFF wave file held in memory, in any encoding the
// sound library reads (PCM, Microsoft ADPCM, u-law, float, ...).
// Throws std::runtime_error with the reason when the bytes are not a sound.
DecodedSound DecodeWave(const QByteArray &bytes);

// Reads and decodes the embedded sound ":/sounds/<name>.wav".
// Throws std::runtime_error when there is no such sound or it cannot be decoded.
DecodedSound LoadEmbeddedSound(const QString &name);

} // namespace platform
