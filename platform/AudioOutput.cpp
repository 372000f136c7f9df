#include "platform/AudioOutput.h"

#include "platform/WaveDecoder.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QDeadlineTimer>
#include <QMediaDevices>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <stdexcept>

namespace platform {

// Owns the one sound that may be sounding; used only on the output thread.
class AudioWorker : public QObject {
public:
    AudioWorker()
        : drain_(new QTimer(this)), // children, so they move to the output thread too
          settle_(new QTimer(this))
    {
        drain_->setInterval(kDrainPollMs);
        connect(drain_, &QTimer::timeout, this, [this] { drainTick(); });
        settle_->setSingleShot(true);
        settle_->setInterval(kSettleMs);
        connect(settle_, &QTimer::timeout, this, [this] { finish(); });
    }

    ~AudioWorker() override
    {
        // At the program's end: the multimedia library's own clean-up, which
        // follows, must not meet the server's answer to this stream's end.
        const bool sounding = sink_ != nullptr;
        stop();
        if (sounding)
            QThread::msleep(kSettleMs);
    }

    // `done` (may be null) is released once the sound has ended or failed.
    void start(std::shared_ptr<const DecodedSound> sound, std::shared_ptr<QSemaphore> done)
    {
        stop();
        ++generation_;
        done_ = std::move(done);
        if (!sound || sound->frames == 0) {
            finish();
            return;
        }
        // Asked here rather than by the caller: the first question connects
        // to the sound server, which may hang.
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) { // no device, no server: silence
            finish();
            return;
        }
        QAudioFormat format;
        format.setSampleRate(sound->sampleRate);
        format.setChannelCount(sound->channels);
        format.setSampleFormat(QAudioFormat::Int16);
        lengthUs_ = sound->frames * 1'000'000 / sound->sampleRate;

        buffer_ = std::make_unique<QBuffer>();
        buffer_->setData(sound->samples);
        buffer_->open(QIODevice::ReadOnly);
        sink_ = std::make_unique<QAudioSink>(device, format);
        connect(sink_.get(), &QAudioSink::stateChanged, this,
                [this](QAudio::State state) { stateChanged(state); });
        sink_->start(buffer_.get());
        if (sink_->error() != QAudio::NoError)
            ended();
    }

private:
    void stateChanged(QAudio::State state)
    {
        if (state == QAudio::IdleState && !drain_->isActive()) {
            // Idle only means every byte has been handed to the sound server.
            // The sound has ended once the play position has reached its end
            // and the server's own buffer (about the sink's buffer length) has
            // played out: leaving earlier, e.g. by ending the program, cuts
            // the tail off.
            const qint64 bytesPerSecond = sink_->format().bytesForDuration(1'000'000);
            const qint64 bufferMs = bytesPerSecond > 0 ? sink_->bufferSize() * 1000 / bytesPerSecond : 0;
            drainFloor_.setRemainingTime(bufferMs + kDrainSlackMs);
            drainLimit_.setRemainingTime(2 * bufferMs + kDrainSlackMs);
            drain_->start();
        } else if (state == QAudio::StoppedState) {
            // Not from inside the sink's own signal: ending the sound
            // destroys the sink.
            QMetaObject::invokeMethod(
                this,
                [this, generation = generation_] {
                    if (generation == generation_)
                        ended();
                },
                Qt::QueuedConnection);
        }
    }

    void drainTick()
    {
        const bool played = sink_->processedUSecs() >= lengthUs_ || drainLimit_.hasExpired();
        if (played && drainFloor_.hasExpired())
            ended();
    }

    // The sound has played out or failed. Its stream is closed at once, not
    // kept until the next sound or the program's end: the multimedia library
    // (Qt 6.4) tears its server connection down at exit without stopping its
    // own thread first, and that thread may be answering the server's notice
    // of this stream's end just then, which aborts the process. A waiting
    // caller, who may end the program next, is released once that notice
    // has had time to be answered.
    void ended()
    {
        if (!sink_) {
            if (!settle_->isActive())
                finish();
            return;
        }
        closeSink();
        if (done_)
            settle_->start();
    }

    // Stops the sound still sounding, if any.
    void stop()
    {
        closeSink();
        finish();
    }

    void closeSink()
    {
        drain_->stop();
        settle_->stop();
        if (sink_) {
            sink_->disconnect(this);
            sink_->stop();
        }
        sink_.reset();
        buffer_.reset();
    }

    void finish()
    {
        if (done_) {
            done_->release();
            done_.reset();
        }
    }

    static constexpr int kDrainPollMs = 5;
    static constexpr int kDrainSlackMs = 40;
    // The server's notice that the output has gone idle, and the library's
    // question about it, take well under a millisecond on an idle machine.
    static constexpr int kSettleMs = 80;

    QTimer *drain_;
    QTimer *settle_;
    int generation_ = 0; // which sound a queued state change belongs to
    QDeadlineTimer drainFloor_;
    QDeadlineTimer drainLimit_;
    qint64 lengthUs_ = 0;
    std::unique_ptr<QBuffer> buffer_; // declared before sink_: the sink reads it
    std::unique_ptr<QAudioSink> sink_;
    std::shared_ptr<QSemaphore> done_;
};

AudioOutput::AudioOutput()
    : thread_(new QThread), worker_(new AudioWorker)
{
    thread_->setObjectName(QStringLiteral("sound output"));
    worker_->moveToThread(thread_);
    QObject::connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_->start();
}

AudioOutput::~AudioOutput()
{
    thread_->quit();
    // Normally at once. A sound server that has stopped answering keeps the
    // thread in the multimedia library's connection attempt until that times
    // out (30 s); the library's own clean-up at exit waits for it anyway, and
    // going on without the thread would tear the library down under it.
    if (thread_->wait(QDeadlineTimer(kThreadEndWaitMs)))
        delete thread_;
}

std::shared_ptr<const DecodedSound> AudioOutput::sound(const QString &name)
{
    QMutexLocker lock(&cacheLock_);
    auto it = cache_.find(name);
    if (it == cache_.end()) {
        std::shared_ptr<const DecodedSound> decoded;
        try {
            decoded = std::make_shared<const DecodedSound>(LoadEmbeddedSound(name));
        } catch (const std::runtime_error &) {
            // A sound that cannot be played is simply not heard; the caller
            // goes on unchanged. Remembered so it is not tried again.
        }
        it = cache_.insert(name, decoded);
    }
    return it.value();
}

void AudioOutput::play(const QString &name, bool synchronous)
{
    std::shared_ptr<const DecodedSound> decoded = sound(name);
    const bool wait = synchronous && decoded && decoded->frames > 0;
    auto done = wait ? std::make_shared<QSemaphore>() : nullptr;

    // Even a sound that will not play stops the one still sounding.
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, decoded, done] { worker->start(decoded, done); },
        Qt::QueuedConnection);
    // Without a device the output thread answers at once.
    if (wait)
        done->tryAcquire(1, int(decoded->durationMs()) + kSyncMarginMs);
}

} // namespace platform
