#pragma once
// The real sound output: plays decoded sounds on the default audio device.

#include "platform/SoundOutput.h"

#include <QHash>
#include <QMutex>

#include <memory>

class QThread;

namespace platform {

struct DecodedSound;
class AudioWorker;

// The device is driven from a thread of its own. Waiting for a synchronous
// sound therefore blocks the caller outright instead of running its event
// loop, which at shut-down would dispatch events to half-destroyed windows.
class AudioOutput final : public SoundSink {
public:
    AudioOutput();
    ~AudioOutput() override;
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    void play(const QString &name, bool synchronous) override;

    // How much longer than its own length a synchronous sound may hold up
    // the caller: stream set-up, the device buffer still to drain, and the
    // stream's close.
    static constexpr int kSyncMarginMs = 500;

private:
    // Past the sound server client's own 30 s connection time-out.
    static constexpr int kThreadEndWaitMs = 35'000;

    std::shared_ptr<const DecodedSound> sound(const QString &name);

    QMutex cacheLock_;
    QHash<QString, std::shared_ptr<const DecodedSound>> cache_; // null: not playable
    QThread *thread_;
    AudioWorker *worker_; // lives in thread_
};

} // namespace platform
