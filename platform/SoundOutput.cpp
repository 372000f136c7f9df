#include "platform/SoundOutput.h"

#include "platform/AudioOutput.h"

#include <QCoreApplication>

namespace platform {
namespace {

SoundSink *installed = nullptr;
AudioOutput *real = nullptr;

// The real output is made on first use and goes with the application object,
// whose event machinery it needs.
AudioOutput *realOutput()
{
    if (!QCoreApplication::instance())
        return nullptr;
    if (!real) {
        real = new AudioOutput;
        qAddPostRoutine([] {
            delete real;
            real = nullptr;
        });
    }
    return real;
}

} // namespace

void PlaySound(const QString &name, bool synchronous)
{
    if (installed)
        installed->play(name, synchronous);
    else if (AudioOutput *output = realOutput())
        output->play(name, synchronous);
}

SoundSink *SetSoundSink(SoundSink *sink)
{
    SoundSink *old = installed;
    installed = sink;
    return old;
}

} // namespace platform
