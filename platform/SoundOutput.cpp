// STAND-IN for the real sound output, only so that the program links until
// the real one is merged: hands every cue to the installed sink and plays
// nothing itself. Replace this file with the real implementation.

#include "platform/SoundOutput.h"

namespace platform {

namespace {
SoundSink *currentSink = nullptr;
}

void PlaySound(const QString &name, bool synchronous)
{
    if (currentSink)
        currentSink->play(name, synchronous);
}

SoundSink *SetSoundSink(SoundSink *sink)
{
    SoundSink *old = currentSink;
    currentSink = sink;
    return old;
}

} // namespace platform
