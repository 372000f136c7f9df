// Start-up, the picture window's show-time flow with its failure paths, and
// shut-down.

#include "AppTestSupport.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace {

using StartUp = AppFixture;

TEST_F(StartUp, CreatingTheWindowsSetsUpTheProgramStateAndShowsNothing)
{
    struct Case {
        QStringList args;
        QString fileName;
    };
    for (const Case &c : {Case{{}, QString()},
                          Case{{QStringLiteral("first.bmp")}, QStringLiteral("first.bmp")},
                          Case{{QStringLiteral("a.bmp"), QStringLiteral("b.bmp"), QStringLiteral("c")},
                               QStringLiteral("a.bmp")}}) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        platform::Application->ResetForTest();
        State = TProgramState{};
        sink.played.clear();
        CreateForms(c.args);
        EXPECT_EQ(State.FileName, c.fileName);
        EXPECT_TRUE(State.SoundSwitch);
        ASSERT_TRUE(State.SourceSurface && State.WorkingSurface);
        EXPECT_NE(State.SourceSurface.get(), State.WorkingSurface.get());
        for (TWin *w : {State.SourceSurface.get(), State.WorkingSurface.get()}) {
            EXPECT_EQ(w->width(), 32);
            EXPECT_EQ(w->height(), 32);
        }
        EXPECT_EQ(State.MemoryBank, (std::array<int32_t, 7>{}));
        EXPECT_EQ(State.Form1, form1);
        EXPECT_EQ(State.Form2, form2);
        EXPECT_EQ(State.Form3, form3);
        EXPECT_EQ(State.Form4, form4);
        EXPECT_EQ(platform::Application->MainForm(), form1);
        for (QWidget *w : {static_cast<QWidget *>(form1), static_cast<QWidget *>(form2),
                           static_cast<QWidget *>(form3), static_cast<QWidget *>(form4)})
            EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(form4->RenderCount(), 0);
        EXPECT_TRUE(sink.played.empty());
    }
}

TEST_F(StartUp, ShowingWithAValidPictureFitsTheWindowAtTheCornerAndShowsThePanel)
{
    // Odd sizes: the client area must be exactly the picture's.
    const QString path = MakePicture(QStringLiteral("odd.bmp"), 5, 3);
    Start({path});

    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(form1->ClientWidth(), 5);
    EXPECT_EQ(form1->ClientHeight(), 3);
    EXPECT_EQ(form1->Left(), 0);
    EXPECT_EQ(form1->Top(), 0);
    EXPECT_TRUE(form1->isVisible());
    EXPECT_TRUE(form4->isVisible());
    EXPECT_EQ(sink.played, (std::vector<PlayedCue>{{QStringLiteral("RCLICK"), false}}));

    // Two separate surfaces, each holding the picture as loaded.
    ASSERT_NE(State.SourceSurface.get(), State.WorkingSurface.get());
    const auto expected = PixelsOf(*LoadSurface(path));
    EXPECT_EQ(PixelsOf(*State.SourceSurface), expected);
    EXPECT_EQ(PixelsOf(*State.WorkingSurface), expected);
    EXPECT_EQ(form4->RenderCount(), 0);
}

TEST_F(StartUp, ThePaintDrawsTheWorkingSurfaceIntoTheWindow)
{
    const QString path = MakePicture(QStringLiteral("p.bmp"), 9, 6);
    Start({path});
    const QImage shown = form1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(9, 6));
    const TWin &w = *State.WorkingSurface;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) {
            const uint8_t *p = w.Bits + y * w.Stride + 3 * x;
            EXPECT_EQ(shown.pixel(x, y), qRgb(p[2], p[1], p[0])) << x << "," << y;
        }
}

TEST_F(StartUp, AFailedLoadLeavesTheWindowAtItsDesignPlaceAndReportsTheError)
{
    const QString notBitmap = Path(QStringLiteral("text.bmp"));
    {
        QFile f(notBitmap);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a picture");
    }
    struct Case {
        QString file;
        const char *message;
    };
    for (const Case &c : {Case{Path(QStringLiteral("missing.bmp")), "Cannot open file"},
                          Case{notBitmap, "Bitmap image is not valid"}}) {
        SCOPED_TRACE(c.file.toStdString());
        platform::Application->ResetForTest();
        State = TProgramState{};
        errors.clear();
        sink.played.clear();
        Start({c.file});

        ASSERT_EQ(errors.size(), 1u);
        EXPECT_TRUE(errors[0].contains(QLatin1String(c.message))) << errors[0].toStdString();
        EXPECT_TRUE(form1->isVisible());
        EXPECT_EQ(form1->Left(), 47);
        EXPECT_EQ(form1->Top(), 2);
        EXPECT_EQ(form1->ClientWidth(), 187);
        EXPECT_EQ(form1->ClientHeight(), 68);
        EXPECT_FALSE(form4->isVisible());
        EXPECT_TRUE(sink.played.empty());
        EXPECT_EQ(State.FileName, c.file);
        // The first load failed, so the second never ran.
        EXPECT_TRUE(State.SourceSurface->empty());
        EXPECT_EQ(State.WorkingSurface->width(), 32);
        EXPECT_FALSE(platform::Application->Terminated());

        // A slider change now renders from the empty source without harm.
        form4->ScrollBar1->SetPosition(10);
        EXPECT_EQ(form4->RenderCount(), 1);
    }
}

TEST_F(StartUp, WithoutANameTheOpenDialogAsksAndItsCancelEndsTheProgram)
{
    QString title;
    QStringList filters;
    WhenModal([&](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        ASSERT_TRUE(d);
        title = d->windowTitle();
        filters = d->nameFilters();
        d->reject();
    });
    Start({});
    EXPECT_EQ(title, QStringLiteral("Please Choose a Bitmap to Load and Edit"));
    EXPECT_EQ(filters, QStringList{QStringLiteral("Bitmap Files (*.bmp)")});
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_FALSE(form4->isVisible());
    EXPECT_TRUE(sink.played.empty());
    EXPECT_EQ(State.SourceSurface->width(), 32);
    EXPECT_EQ(State.WorkingSurface->width(), 32);
    EXPECT_TRUE(errors.empty());
}

TEST_F(StartUp, ThePictureChosenInTheDialogIsLoaded)
{
    const QString path = MakePicture(QStringLiteral("chosen.bmp"), 12, 7);
    WhenModal([&](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        ASSERT_TRUE(d);
        d->selectFile(path);
        static_cast<QDialog *>(d)->accept();
    });
    Start({});
    EXPECT_EQ(State.FileName, path);
    EXPECT_EQ(form1->ClientWidth(), 12);
    EXPECT_EQ(form1->ClientHeight(), 7);
    EXPECT_TRUE(form4->isVisible());
    EXPECT_EQ(sink.played, (std::vector<PlayedCue>{{QStringLiteral("RCLICK"), false}}));
    EXPECT_FALSE(platform::Application->Terminated());
}

TEST_F(StartUp, OpenCancelledReloadsTheNameLastChosenInTheDialog)
{
    const QString first = MakePicture(QStringLiteral("first.bmp"), 6, 4, 1);
    const QString second = MakePicture(QStringLiteral("second.bmp"), 10, 5, 2);
    Start({first});
    // Open, pick the second picture.
    WhenModal([&](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        d->selectFile(second);
        static_cast<QDialog *>(d)->accept();
    });
    form4->ScrollBar4->SetPosition(40);
    form4->Open1Click();
    EXPECT_EQ(State.FileName, second);
    EXPECT_EQ(form1->ClientWidth(), 10);
    EXPECT_EQ(form1->Left(), 0);
    // The knobs stay; the new picture shows unadjusted.
    EXPECT_EQ(form4->ScrollBar4->Position(), 40);
    EXPECT_EQ(PixelsOf(*State.WorkingSurface), PixelsOf(*LoadSurface(second)));

    // Open again and cancel: the dialog's kept name is loaded once more,
    // and the dialog showed it in its file field.
    QStringList preset;
    WhenModal([&](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        preset = d->selectedFiles();
        d->reject();
    });
    form4->ScrollBar1->SetPosition(5);
    form4->Open1Click();
    EXPECT_EQ(preset, QStringList{second});
    EXPECT_FALSE(platform::Application->Terminated());
    EXPECT_EQ(State.FileName, second);
    EXPECT_TRUE(form1->isVisible());
    EXPECT_EQ(PixelsOf(*State.WorkingSurface), PixelsOf(*LoadSurface(second)));
    EXPECT_EQ(form4->ScrollBar1->Position(), 5);
    EXPECT_TRUE(errors.empty());
}

TEST_F(StartUp, OpenCancelledWhenNothingWasEverChosenEndsTheProgram)
{
    const QString path = MakePicture(QStringLiteral("cmdline.bmp"), 6, 4);
    Start({path});
    sink.played.clear();
    WhenModal([](QWidget *w) { qobject_cast<QFileDialog *>(w)->reject(); });
    form4->Open1Click();
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_TRUE(State.FileName.isEmpty());
    EXPECT_TRUE(sink.played.empty());
}

using ShutDown = AppFixture;

// Every way of ending runs the same shut-down: the loop returns, the windows
// go in reverse order of creation, the picture window last, freeing both
// surfaces and playing the closing cue to its end.
TEST_F(ShutDown, EveryStopRequestEndsTheLoopAndTheSameShutDownFollows)
{
    struct Case {
        const char *name;
        std::function<void(AppFixture &)> stop;
        bool soundOn;
    };
    const std::vector<Case> cases = {
        {"closing the knob panel", [](AppFixture &) { State.Form4->close(); }, true},
        {"File > Exit", [](AppFixture &) { State.Form4->Exit1->trigger(); }, true},
        {"closing the picture window", [](AppFixture &) { State.Form1->close(); }, true},
        {"Exit with the sound off",
         [](AppFixture &) {
             State.Form1->BeSilent1->trigger();
             State.Form4->Exit1->trigger();
         },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        platform::Application->ResetForTest();
        State = TProgramState{};
        sink.played.clear();
        CreateForms({MakePicture(QStringLiteral("s.bmp"), 4, 4)});
        std::vector<QString> destroyed;
        for (QWidget *w : {static_cast<QWidget *>(form1), static_cast<QWidget *>(form2),
                           static_cast<QWidget *>(form3), static_cast<QWidget *>(form4)})
            QObject::connect(w, &QObject::destroyed, qApp, [&destroyed, role = w->windowRole()] {
                destroyed.push_back(role);
            });
        bool ranAfterStop = false;
        QTimer::singleShot(0, qApp, [&] {
            c.stop(*this);
            ranAfterStop = true; // the handler goes on after the request
        });
        platform::Application->Run();
        EXPECT_TRUE(ranAfterStop);
        EXPECT_TRUE(platform::Application->Terminated());
        EXPECT_TRUE(State.WorkingSurface && State.SourceSurface); // still alive until shut-down

        platform::Application->DestroyForms();
        EXPECT_EQ(destroyed, (std::vector<QString>{QStringLiteral("knobs"), QStringLiteral("help"),
                                                   QStringLiteral("about"), QStringLiteral("picture")}));
        EXPECT_FALSE(State.WorkingSurface);
        EXPECT_FALSE(State.SourceSurface);
        EXPECT_TRUE(errors.empty());
        ASSERT_FALSE(sink.played.empty());
        if (c.soundOn)
            EXPECT_EQ(sink.played.back(), (PlayedCue{QStringLiteral("RAIR"), true}));
        else
            EXPECT_EQ(sink.played.back().name, QStringLiteral("RCLICK"));
        EXPECT_TRUE(platform::Application->Forms().empty());
    }
}

TEST_F(ShutDown, APaintAfterTheSurfacesAreFreedDrawsNothing)
{
    // The closing cue may wait with the picture window still alive.
    Start({MakePicture(QStringLiteral("late.bmp"), 8, 8)});
    form1->FormDestroy();
    form1->FormPaint();
    EXPECT_FALSE(form1->grab().isNull());
}

TEST_F(ShutDown, AStopRequestMadeByTheFirstShowKeepsTheLoopFromRunning)
{
    CreateForms({});
    bool loopRan = false;
    WhenModal([&](QWidget *w) {
        qobject_cast<QFileDialog *>(w)->reject();
        // Runs only if an event loop gets to turn after the dialog.
        QTimer::singleShot(0, qApp, [&] { loopRan = true; });
    });
    platform::Application->Run();
    EXPECT_FALSE(loopRan);
    EXPECT_TRUE(platform::Application->Terminated());
    EXPECT_FALSE(form4->isVisible());
    // Let the pending timer go before the next test.
    QCoreApplication::processEvents();
    EXPECT_TRUE(loopRan);
}

TEST_F(ShutDown, TheStopRequestAlsoEndsAModalLoopThatIsRunning)
{
    Start({MakePicture(QStringLiteral("m.bmp"), 4, 4)});
    bool dialogReturned = false;
    QTimer::singleShot(0, qApp, [&] {
        // A stop request from inside a modal dialog ends both loops.
        WhenModal([](QWidget *) { platform::Application->Terminate(); });
        form4->SaveAs1Click();
        dialogReturned = true;
    });
    platform::Application->Run();
    EXPECT_TRUE(dialogReturned);
    EXPECT_TRUE(errors.empty());
}

} // namespace
