// The real output path: a private sound server is started for the test with
// one output that writes what it plays into a named pipe, in real time; the
// probe program plays the sounds through it, and the test reads the pipe.
// (A silent output's monitor, recorded with parec, was tried first: it drops
// the first 20 ms or so of every new stream and starts late, which hides
// the short sounds.) Skipped, with the reason, where no server can be started.
#include "platform/AudioOutput.h"
#include "platform/WaveDecoder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

constexpr int kRate = 44100; // the recording: mono, 16-bit
constexpr int kLoud = 328;   // 1 % of full scale: above this a sample is sound

struct Span {
    double start, end; // seconds
    double length() const { return end - start; }
};

// Stretches of sound separated by at least `gapSeconds` of silence.
std::vector<Span> soundSpans(const std::vector<qint16> &samples, int rate, int channels, double gapSeconds)
{
    std::vector<Span> spans;
    const qsizetype gap = qsizetype(gapSeconds * rate);
    qsizetype first = -1, last = -1;
    for (qsizetype f = 0; f < qsizetype(samples.size()) / channels; ++f) {
        bool loud = false;
        for (int c = 0; c < channels; ++c)
            loud = loud || std::abs(int(samples[size_t(f * channels + c)])) > kLoud;
        if (!loud)
            continue;
        if (first >= 0 && f - last > gap) {
            spans.push_back({double(first) / rate, double(last + 1) / rate});
            first = -1;
        }
        if (first < 0)
            first = f;
        last = f;
    }
    if (first >= 0)
        spans.push_back({double(first) / rate, double(last + 1) / rate});
    return spans;
}

// The stretch of a sound as stored, measured like a recording.
Span storedSpan(const QString &name)
{
    const platform::DecodedSound s = platform::LoadEmbeddedSound(name);
    const auto *p = reinterpret_cast<const qint16 *>(s.samples.constData());
    const std::vector<qint16> samples(p, p + s.samples.size() / 2);
    const std::vector<Span> spans = soundSpans(samples, s.sampleRate, s.channels, 1e9);
    return spans.empty() ? Span{0, 0} : Span{spans.front().start, spans.back().end};
}

class SoundServer {
public:
    // Empty when it started; otherwise why not.
    QString start()
    {
        for (const char *tool : {"pulseaudio", "pactl", "cat"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                return QString("%1 is not installed").arg(tool);
        if (!dir_.isValid())
            return "no temporary folder";
        // A server of our own, reached only through its socket; nothing of the
        // user's own session (display, home, runtime folder) is touched.
        const QString socket = dir_.path() + "/pulse.sock";
        env_ = QProcessEnvironment::systemEnvironment();
        env_.remove("DISPLAY");
        env_.insert("HOME", dir_.path() + "/home");
        env_.insert("XDG_CONFIG_HOME", dir_.path() + "/home/.config");
        env_.insert("XDG_RUNTIME_DIR", dir_.path() + "/run");
        env_.insert("PULSE_SERVER", "unix:" + socket);
        QDir().mkpath(dir_.path() + "/home");
        QDir().mkpath(dir_.path() + "/run");
        QFile::setPermissions(dir_.path() + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        server_.setProcessEnvironment(env_);
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start("pulseaudio",
                      {"--daemonize=no", "--use-pid-file=no", "--exit-idle-time=-1", "--disallow-exit", "-n",
                       "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                       QString("--load=module-pipe-sink sink_name=test_sink file=%1 format=s16le rate=%2 "
                               "channels=1 use_system_clock_for_timing=yes")
                           .arg(pipe(), QString::number(kRate)),
                       "--log-target=file:" + dir_.path() + "/pulse.log"});
        if (!server_.waitForStarted(5000))
            return "the sound server did not start";
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            if (server_.state() != QProcess::Running || server_.waitForFinished(0))
                return "the sound server ended at once; its log ends: " + logTail();
            if (run("pactl", {"info"}))
                return run("pactl", {"set-default-sink", "test_sink"}) ? QString() : "no pipe output";
            QThread::msleep(100);
        }
        return "the sound server did not answer within 10 s; its log ends: " + logTail();
    }

    // A server that stops answering, as a hung one does, and one that goes on.
    void freeze() { ::kill(pid_t(server_.processId()), SIGSTOP); }
    void thaw() { ::kill(pid_t(server_.processId()), SIGCONT); }

    ~SoundServer()
    {
        if (server_.state() != QProcess::NotRunning) {
            thaw();
            server_.terminate();
            if (!server_.waitForFinished(5000)) {
                server_.kill();
                server_.waitForFinished(2000);
            }
        }
    }

    const QProcessEnvironment &environment() const { return env_; }
    QString pipe() const { return dir_.path() + "/output.pipe"; }

private:
    QString logTail() const
    {
        QFile log(dir_.path() + "/pulse.log");
        if (!log.open(QIODevice::ReadOnly))
            return "(no log)";
        return QString::fromLocal8Bit(log.readAll().right(600));
    }

    bool run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(program, args);
        return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QTemporaryDir dir_;
    QProcessEnvironment env_;
    QProcess server_;
};

struct ProbeRun {
    std::vector<Span> sounds;     // what reached the output, from the start of the probe
    QMap<QString, qint64> callMs; // how long each play call took
    qint64 probeMs = 0;           // how long the probe ran, from start to exit
    QString failure;
};

// Records the output while the probe plays `steps`. `whileRunning` is called
// with 0 just before the probe starts, then now and then with the time since
// its start, and with -1 once it has ended.
ProbeRun recordProbe(const SoundServer &server, const QStringList &steps, double gapSeconds,
                     const std::function<void(qint64)> &whileRunning, int probeTimeoutMs)
{
    ProbeRun result;
    const QProcessEnvironment &env = server.environment();
    QProcess rec;
    rec.start("cat", {server.pipe()});
    QByteArray data;
    auto pump = [&](int ms) {
        if (rec.waitForReadyRead(ms))
            data += rec.readAllStandardOutput();
    };
    // Read away what the output wrote before anyone listened.
    const QDeadlineTimer flowing(10000);
    while (data.size() < kRate / 5 * 2 && !flowing.hasExpired() && rec.state() != QProcess::NotRunning)
        pump(50);
    if (data.size() < kRate / 5 * 2) {
        result.failure = "the output wrote nothing into its pipe";
        return result;
    }
    data += rec.readAllStandardOutput();
    const qsizetype mark = data.size();

    QProcess probe;
    probe.setProcessEnvironment(env);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer probeClock;
    probeClock.start();
    if (whileRunning)
        whileRunning(0); // about to start
    probe.start(LUMIVANE_SOUND_PROBE, steps);
    while (!probe.waitForFinished(5)) {
        pump(10);
        if (whileRunning)
            whileRunning(probeClock.elapsed());
        if (probeClock.hasExpired(probeTimeoutMs) || probe.state() == QProcess::NotRunning)
            break;
    }
    result.probeMs = probeClock.elapsed();
    if (probe.state() != QProcess::NotRunning || probe.exitStatus() != QProcess::NormalExit ||
        probe.exitCode() != 0) {
        result.failure = QString("the probe failed or hung after %1 ms: ").arg(result.probeMs) +
                         probe.readAllStandardOutput();
        probe.kill();
        probe.waitForFinished();
        return result;
    }
    if (whileRunning)
        whileRunning(-1); // the probe has ended
    // Keep recording a while after the probe has ended, so a sound the end of
    // the process might have cut is recorded in full if it did play on.
    const qsizetype after = data.size() + kRate * 2; // one second more
    const QDeadlineTimer tail(10000);
    while (data.size() < after && !tail.hasExpired())
        pump(50);
    rec.terminate();
    rec.waitForFinished(5000);

    for (const QByteArray &line : probe.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 2)
            result.callMs[QString::fromUtf8(f[0])] = f[1].toLongLong();
    }
    const auto *p = reinterpret_cast<const qint16 *>(data.constData() + mark);
    const std::vector<qint16> samples(p, p + (data.size() - mark) / 2);
    result.sounds = soundSpans(samples, kRate, 1, gapSeconds);
    return result;
}

class SoundDevice : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server_ = new SoundServer;
        whyNot_ = new QString(server_->start());
        if (!whyNot_->isEmpty())
            std::fprintf(stderr, "SKIPPING the sound device tests: %s\n", qPrintable(*whyNot_));
    }
    static void TearDownTestSuite()
    {
        delete server_;
        delete whyNot_;
    }
    void SetUp() override
    {
        if (!whyNot_->isEmpty())
            GTEST_SKIP() << "no private sound server: " << whyNot_->toStdString();
    }

    ProbeRun probe(const QStringList &steps, double gapSeconds = 0.15,
                   const std::function<void(qint64)> &whileRunning = {}, int probeTimeoutMs = 30000)
    {
        ProbeRun run = recordProbe(*server_, steps, gapSeconds, whileRunning, probeTimeoutMs);
        EXPECT_TRUE(run.failure.isEmpty()) << run.failure.toStdString();
        return run;
    }

    static SoundServer *server_;
    static QString *whyNot_;
};
SoundServer *SoundDevice::server_ = nullptr;
QString *SoundDevice::whyNot_ = nullptr;

std::string describe(const std::vector<Span> &spans)
{
    std::string s;
    for (const Span &x : spans)
        s += " [" + std::to_string(x.start) + " - " + std::to_string(x.end) + "]";
    return s.empty() ? " nothing" : s;
}

// How closely a recorded stretch must match the stored one: resampling and
// the output's 20 ms blocks blur the edges a little.
constexpr double kSpanTolerance = 0.025;

// The output's own bound on a synchronous play, plus time for the probe to be
// scheduled on a busy machine.
constexpr qint64 kLongestWaitMs = platform::AudioOutput::kSyncMarginMs + 200;

TEST_F(SoundDevice, EverySoundReachesTheOutputWholeAndSynchronousPlayLastsItsLength)
{
    const QStringList names{"RSTART", "RCLICK", "RTICK", "RPOP", "RSTRUM", "REXIT", "RAIR"};
    QStringList steps;
    for (const QString &n : names)
        steps << "sync:" + n << "sleep:400";
    const ProbeRun run = probe(steps);
    ASSERT_EQ(run.sounds.size(), size_t(names.size())) << "recorded:" << describe(run.sounds);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const Span want = storedSpan(names[i]);
        EXPECT_NEAR(run.sounds[size_t(i)].length(), want.length(), kSpanTolerance) << names[i].toStdString();
        const qint64 lengthMs = platform::LoadEmbeddedSound(names[i]).durationMs();
        // Returns when the sound has ended, but not much later.
        EXPECT_GE(run.callMs[names[i]], lengthMs - 10) << names[i].toStdString();
        EXPECT_LE(run.callMs[names[i]], lengthMs + kLongestWaitMs) << names[i].toStdString();
    }
}

TEST_F(SoundDevice, ShutDownSoundIsNotCutByTheEndOfTheProgram)
{
    // As at shut-down: the event loop has been ended with exit(), then the
    // sound is played synchronously and the process ends right after. RAIR is
    // the shut-down sound; the short ones are the easiest to lose whole.
    for (const QString name : {"RAIR", "RCLICK", "RTICK"}) {
        const ProbeRun run = probe({"exit", "sync:" + name});
        ASSERT_EQ(run.sounds.size(), 1u) << name.toStdString() << " recorded:" << describe(run.sounds);
        EXPECT_NEAR(run.sounds[0].length(), storedSpan(name).length(), kSpanTolerance) << name.toStdString();
        const qint64 lengthMs = platform::LoadEmbeddedSound(name).durationMs();
        EXPECT_GE(run.callMs[name], lengthMs - 10) << name.toStdString();
        EXPECT_LE(run.callMs[name], lengthMs + kLongestWaitMs) << name.toStdString();
        std::printf("%s: %lld ms call for a %lld ms sound; recorded%s\n", qPrintable(name),
                    static_cast<long long>(run.callMs[name]), static_cast<long long>(lengthMs),
                    describe(run.sounds).c_str());
    }
}

TEST_F(SoundDevice, NewSoundStopsTheOneStillSounding)
{
    // REXIT lasts 2 s; RPOP, 0.3 s after it, cuts it off.
    const ProbeRun run = probe({"async:REXIT", "sleep:300", "sync:RPOP", "sleep:1000"});
    ASSERT_FALSE(run.sounds.empty()) << "nothing recorded";
    const Span all{run.sounds.front().start, run.sounds.back().end};
    EXPECT_NEAR(all.length(), 0.300 + storedSpan("RPOP").length(), 0.08) << "recorded:" << describe(run.sounds);
    // The asynchronous call came back long before its 2 s were up.
    EXPECT_LT(run.callMs["REXIT"], 250);
}

TEST_F(SoundDevice, ServerThatHangsMidSoundHoldsTheCallerUpNoLongerThanTheBound)
{
    const qint64 lengthMs = platform::LoadEmbeddedSound("REXIT").durationMs();
    bool frozen = false;
    const ProbeRun run = probe({"exit", "sync:REXIT"}, 0.15, [&](qint64 ms) {
        if (ms >= 500 && !frozen) {
            server_->freeze();
            frozen = true;
        } else if (ms < 0) {
            server_->thaw();
        }
    });
    server_->thaw();
    EXPECT_TRUE(frozen);
    EXPECT_LE(run.callMs["REXIT"], lengthMs + kLongestWaitMs);
    // And the program's end is not held up either.
    EXPECT_LE(run.probeMs, lengthMs + kLongestWaitMs + 2000);
}

TEST_F(SoundDevice, ServerThatNeverAnswersHoldsUpNoSoundCall)
{
    // The first sound connects to the server. That must not freeze the
    // caller; the process's end then waits for the client library's own
    // 30 s connection time-out, and must end cleanly after it.
    const qint64 lengthMs = platform::LoadEmbeddedSound("RAIR").durationMs();
    bool frozen = false;
    const ProbeRun run = probe({"async:RCLICK", "exit", "sync:RAIR"}, 0.15, [&](qint64 ms) {
        if (!frozen) {
            server_->freeze();
            frozen = true;
        } else if (ms < 0) {
            server_->thaw();
        }
    }, 60000);
    server_->thaw();
    EXPECT_LT(run.callMs["RCLICK"], 250);
    EXPECT_LE(run.callMs["RAIR"], lengthMs + kLongestWaitMs);
    std::printf("the probe ended %lld ms after its start\n", static_cast<long long>(run.probeMs));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
