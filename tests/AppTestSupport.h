#pragma once
// Shared pieces of the application tests: a recording sound sink, pictures
// written to a temporary folder, and a driver for modal windows, which run
// loops of their own and must be answered from inside them.

#include "app/Form1.h"
#include "app/Form2.h"
#include "app/Form3.h"
#include "app/Form4.h"
#include "app/ProgramState.h"
#include "imaging/NoiseGenerator.h"
#include "imaging/Win.h"
#include "platform/Application.h"
#include "platform/SoundOutput.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <utility>
#include <vector>

struct PlayedCue {
    QString name;
    bool synchronous;
    bool operator==(const PlayedCue &o) const { return name == o.name && synchronous == o.synchronous; }
};

inline void PrintTo(const PlayedCue &cue, std::ostream *os)
{
    *os << cue.name.toStdString() << (cue.synchronous ? " (sync)" : "");
}

class RecordingSink final : public platform::SoundSink {
public:
    void play(const QString &name, bool synchronous) override { played.push_back({name, synchronous}); }
    std::vector<PlayedCue> played;
};

// Calls `act` with the first modal window that shows up, from inside its
// loop. Each call answers one modal window.
inline void WhenModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("modal-driver"));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, act] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        act(modal);
    });
    timer->start(5);
}

// The bytes of a surface's pixels, row by row without padding.
inline std::vector<uint8_t> PixelsOf(const TWin &win)
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < win.height(); ++y)
        out.insert(out.end(), win.Bits + intptr_t(y) * win.Stride,
                   win.Bits + intptr_t(y) * win.Stride + 3 * intptr_t(win.width()));
    return out;
}

inline std::unique_ptr<TWin> LoadSurface(const QString &path)
{
    std::unique_ptr<TWin> win;
    TWin::LoadBitmapFile(win, path.toStdString());
    return win;
}

inline QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs the program's start-up in the test process: the four windows in
// their order of creation, with a recording sink and errors collected
// instead of shown in boxes.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::Application->ResetForTest();
        State = TProgramState{};
        NoiseGenerator::Seed = 0;
        platform::Application->SetErrorPresenter([this](const QString &m) { errors.push_back(m); });
        previousSink = platform::SetSoundSink(&sink);
        ASSERT_TRUE(dir.isValid());
    }

    void TearDown() override
    {
        platform::Application->ResetForTest();
        platform::Application->SetErrorPresenter(nullptr);
        platform::SetSoundSink(previousSink);
        State = TProgramState{};
        // Timers of drivers that found nothing to answer.
        for (QTimer *t : qApp->findChildren<QTimer *>(QStringLiteral("modal-driver"),
                                                      Qt::FindDirectChildrenOnly))
            delete t;
    }

    void CreateForms(const QStringList &args)
    {
        platform::Application->SetArguments(QStringList{QStringLiteral("lumivane")} + args);
        form1 = platform::Application->CreateForm<TForm1>();
        form2 = platform::Application->CreateForm<TForm2>();
        form3 = platform::Application->CreateForm<TForm3>();
        form4 = platform::Application->CreateForm<TForm4>();
    }

    // Creates the windows and shows the picture window, as the loop's start
    // does.
    void Start(const QStringList &args)
    {
        CreateForms(args);
        form1->Show();
    }

    QString Path(const QString &name) const { return dir.filePath(name); }

    // A w x h picture whose every pixel differs from its neighbours.
    QString MakePicture(const QString &name, int w, int h, int seed = 1)
    {
        TWin win(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t *p = win.Bits + y * win.Stride + 3 * x;
                p[0] = uint8_t(seed * 37 + x * 29 + y * 11);
                p[1] = uint8_t(seed * 53 + x * 7 + y * 41);
                p[2] = uint8_t(seed * 17 + x * 13 + y * 23 + (x * y) % 7);
            }
        const QString path = Path(name);
        win.SaveBitmapFile(path.toStdString());
        return path;
    }

    void SetKnobs(const std::array<int, 7> &values)
    {
        const auto bars = form4->ScrollBars();
        for (size_t i = 0; i < bars.size(); ++i)
            bars[i]->SetPosition(values[i]);
    }

    std::array<int, 7> Knobs() const
    {
        std::array<int, 7> out{};
        const auto bars = form4->ScrollBars();
        for (size_t i = 0; i < bars.size(); ++i)
            out[i] = bars[i]->Position();
        return out;
    }

    std::vector<QString> CueNames() const
    {
        std::vector<QString> names;
        for (const PlayedCue &c : sink.played)
            names.push_back(c.name);
        return names;
    }

    QTemporaryDir dir;
    RecordingSink sink;
    platform::SoundSink *previousSink = nullptr;
    std::vector<QString> errors;
    TForm1 *form1 = nullptr;
    TForm2 *form2 = nullptr;
    TForm3 *form3 = nullptr;
    TForm4 *form4 = nullptr;
};
