#pragma once
// Sound output: plays the program's embedded wave sounds, one at a time.
// Failures (no device, no sound server, no such sound) are silent.

#include <QString>

namespace platform {

// Plays the embedded wave sound `name` (a resource ":/sounds/<name>.wav",
// e.g. "RCLICK"). A sound still playing is stopped first. Asynchronous
// playing returns at once; synchronous playing returns when the sound has
// ended (never later than its length plus a small margin).
void PlaySound(const QString &name, bool synchronous);

// Where played sounds go; tests install a recorder in place of the device.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    virtual void play(const QString &name, bool synchronous) = 0;
};

// Replaces the sink (nullptr restores the real output). Returns the old one.
SoundSink *SetSoundSink(SoundSink *sink);

} // namespace platform
