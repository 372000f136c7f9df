// Plays embedded sounds through the real output, as a script given on the
// command line, and reports how long each play call took. Run by the sound
// output tests in a process of its own, so that the end of the process right
// after a synchronous sound (the program's shut-down) is part of what is tested.
//
//   sound_play_probe STEP...
//     async:NAME   play NAME and return at once
//     sync:NAME    play NAME and wait for its end
//     sleep:MS     run the event loop for MS milliseconds
//     exit         run the event loop and end it with QCoreApplication::exit
//
// Prints one line "NAME MILLISECONDS" per play step.
#include "platform/SoundOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    for (const QString &step : app.arguments().mid(1)) {
        const QString verb = step.section(':', 0, 0);
        const QString arg = step.section(':', 1);
        if (verb == "async" || verb == "sync") {
            QElapsedTimer clock;
            clock.start();
            platform::PlaySound(arg, verb == "sync");
            std::printf("%s %lld\n", qPrintable(arg), static_cast<long long>(clock.elapsed()));
            std::fflush(stdout);
        } else if (verb == "sleep") {
            QTimer::singleShot(arg.toInt(), &app, [] { QCoreApplication::exit(0); });
            app.exec();
        } else if (verb == "exit") {
            QTimer::singleShot(0, &app, [] { QCoreApplication::exit(0); });
            app.exec();
        } else {
            std::fprintf(stderr, "unknown step %s\n", qPrintable(step));
            return 2;
        }
    }
    return 0;
}
