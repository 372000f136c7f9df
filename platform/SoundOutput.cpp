#include "platform/SoundOutput.h"

#include "platform/AudioOutput.h"

#include <QCoreApplication>

namespace platform {
namespace {

SoundSink *installed = nullptr;
AudioOutput *real = nullptr;

// The real output is made on first use and goes with the application object.
// Without one (not yet, or no longer) sounds are silent: nothing would end
// the output's thread before the program's static clean-up.
AudioOutput *realOutput()
{
    if (!QCoreApplication::instance() || QCoreApplication::closingDown())
        return real;
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
