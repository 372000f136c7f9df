// The menu commands of both menus, the sound cues they play, and saving.

#include "AppTestSupport.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace {

using Cues = AppFixture;

TEST_F(Cues, BeeperPlaysEachCueByNameAndOnlyCueSevenWaits)
{
    CreateForms({});
    const std::vector<PlayedCue> expected = {
        {QStringLiteral("RSTART"), false}, {QStringLiteral("RCLICK"), false},
        {QStringLiteral("RTICK"), false},  {QStringLiteral("RPOP"), false},
        {QStringLiteral("RSTRUM"), false}, {QStringLiteral("REXIT"), false},
        {QStringLiteral("RAIR"), false},   {QStringLiteral("RAIR"), true},
    };
    for (int32_t n : {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, INT32_MIN, INT32_MAX})
        form1->Beeper(n);
    EXPECT_EQ(sink.played, expected);

    // With the switch off nothing plays, the closing cue included.
    sink.played.clear();
    State.SoundSwitch = false;
    for (int32_t n = 0; n <= 7; ++n)
        form1->Beeper(n);
    EXPECT_TRUE(sink.played.empty());
}

TEST_F(Cues, CommandsPlayTheirCuesFromEitherMenu)
{
    Start({MakePicture(QStringLiteral("c.bmp"), 4, 4)});
    struct Case {
        const char *what;
        QAction *item;
        std::vector<QString> cues;
        QWidget *shown;
    };
    const std::vector<Case> cases = {
        {"panel Help", form4->Help1, {QStringLiteral("REXIT")}, form3},
        {"popup Help", form1->Help1, {QStringLiteral("REXIT")}, form3},
        {"panel About", form4->About1, {QStringLiteral("RSTRUM")}, form2},
        {"popup About", form1->About1, {QStringLiteral("RSTRUM")}, form2},
        {"panel Be Silent", form4->BeSilent1, {}, nullptr},
        {"Help while silent", form4->Help1, {}, form3},
        {"panel Make Noise", form4->MakeNoise1, {QStringLiteral("RSTART")}, nullptr},
        {"popup Be Silent", form1->BeSilent1, {}, nullptr},
        {"popup Make Noise", form1->NoSounds1, {QStringLiteral("RSTART")}, nullptr},
        {"Save", form4->Save1, {}, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        sink.played.clear();
        c.item->trigger();
        EXPECT_EQ(CueNames(), c.cues);
        if (c.shown) {
            EXPECT_TRUE(c.shown->isVisible());
        }
    }
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(State.Form1->BeSilent1->isChecked());
    EXPECT_FALSE(State.Form1->NoSounds1->isChecked());
}

TEST_F(Cues, OpeningTheFileMenuClicksEvenWithoutAChoice)
{
    Start({MakePicture(QStringLiteral("f.bmp"), 4, 4)});
    sink.played.clear();
    form4->File1->popup(QPoint(10, 10));
    form4->File1->hide();
    EXPECT_EQ(CueNames(), std::vector<QString>{QStringLiteral("RCLICK")});
}

TEST_F(Cues, MinPlaysItsCueAndTakesEveryWindowOffTheScreen)
{
    Start({MakePicture(QStringLiteral("n.bmp"), 4, 4)});
    form1->Help1Click();
    form1->About1Click();
    sink.played.clear();
    form4->Minimize1->trigger();
    EXPECT_EQ(CueNames(), std::vector<QString>{QStringLiteral("REXIT")});
    for (QWidget *w : {static_cast<QWidget *>(form1), static_cast<QWidget *>(form2),
                       static_cast<QWidget *>(form3), static_cast<QWidget *>(form4)})
        EXPECT_TRUE(w->isMinimized()) << w->windowRole().toStdString();

    // Bringing one back brings back all.
    form4->showNormal();
    for (QWidget *w : {static_cast<QWidget *>(form1), static_cast<QWidget *>(form2),
                       static_cast<QWidget *>(form3), static_cast<QWidget *>(form4)})
        EXPECT_FALSE(w->isMinimized()) << w->windowRole().toStdString();
}

TEST_F(Cues, TheMenusHoldTheirItemsInOrder)
{
    CreateForms({});
    const auto captions = [](const QList<QAction *> &actions) {
        QStringList out;
        for (QAction *a : actions)
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    EXPECT_EQ(captions(form4->MainMenu1->actions()),
              (QStringList{"File", "Help", "About", "Min"}));
    EXPECT_EQ(captions(form4->File1->actions()),
              (QStringList{"Open", "Save", "SaveAs", "-", "Be Silent", "Make Noise", "-", "Exit"}));
    EXPECT_EQ(captions(form1->PopupMenu1->actions()),
              (QStringList{"Help", "About", "-", "Be Silent", "Make Noise", "-"}));
    for (QAction *a : form4->File1->actions())
        EXPECT_TRUE(a->shortcut().isEmpty());
}

using Saving = AppFixture;

// Answers the save dialog by typing `typed` into its file field, after
// recording what the dialog was preset with.
struct SaveAnswer {
    QString title, preset, suffix;
    QStringList filters;
    bool confirmsOverwrite = true;
};

void AnswerSave(SaveAnswer &seen, const QString &typed)
{
    WhenModal([&seen, typed](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        ASSERT_TRUE(d);
        seen.title = d->windowTitle();
        seen.preset = d->selectedFiles().value(0);
        seen.suffix = d->defaultSuffix();
        seen.filters = d->nameFilters();
        seen.confirmsOverwrite = !d->testOption(QFileDialog::DontConfirmOverwrite);
        if (typed.isNull()) {
            d->reject();
            return;
        }
        auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        ASSERT_TRUE(edit);
        // A user's typing drops the preset's selection in the file list;
        // the offscreen field never has the focus that makes it do so.
        for (QAbstractItemView *view : d->findChildren<QAbstractItemView *>())
            if (view->selectionModel())
                view->selectionModel()->clearSelection();
        edit->setText(typed);
        static_cast<QDialog *>(d)->accept();
    });
}

TEST_F(Saving, SaveWritesTheAdjustedPictureOverTheOpenedFile)
{
    const QString path = MakePicture(QStringLiteral("open.bmp"), 7, 5);
    Start({path});
    SetKnobs({30, 0, 0, -20, 200, 0, 0});
    const auto adjusted = PixelsOf(*State.WorkingSurface);
    ASSERT_NE(adjusted, PixelsOf(*LoadSurface(path)));
    form4->Save1->trigger();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(PixelsOf(*LoadSurface(path)), adjusted);
}

TEST_F(Saving, SaveAsAddsTheExtensionAndLaterSavesGoToTheNewName)
{
    const QString path = MakePicture(QStringLiteral("orig.bmp"), 6, 6);
    const QByteArray original = FileBytes(path);
    Start({path});
    SetKnobs({0, 50, 0, 0, 0, 0, 0});

    SaveAnswer seen;
    AnswerSave(seen, Path(QStringLiteral("copy")));
    form4->SaveAs1->trigger();
    EXPECT_EQ(seen.title, QStringLiteral("Save New Bitmap"));
    EXPECT_EQ(seen.preset, path);
    EXPECT_EQ(seen.suffix, QStringLiteral("bmp"));
    EXPECT_EQ(seen.filters, QStringList{QStringLiteral("Bitmap Files (*.bmp)")});
    EXPECT_FALSE(seen.confirmsOverwrite);

    const QString copy = Path(QStringLiteral("copy.bmp"));
    EXPECT_EQ(State.FileName, copy);
    EXPECT_EQ(PixelsOf(*LoadSurface(copy)), PixelsOf(*State.WorkingSurface));
    EXPECT_EQ(FileBytes(path), original);

    // Save now writes to the new name.
    form4->ScrollBar3->SetPosition(-70);
    form4->Save1->trigger();
    EXPECT_EQ(PixelsOf(*LoadSurface(copy)), PixelsOf(*State.WorkingSurface));
    EXPECT_EQ(FileBytes(path), original);

    // Onto an existing file: replaced without a question (no second modal).
    form4->ScrollBar3->SetPosition(0);
    AnswerSave(seen, path);
    form4->SaveAs1->trigger();
    EXPECT_EQ(State.FileName, path);
    EXPECT_EQ(PixelsOf(*LoadSurface(path)), PixelsOf(*State.WorkingSurface));
    EXPECT_TRUE(errors.empty());
}

TEST_F(Saving, ACancelledSaveAsChangesNothing)
{
    const QString path = MakePicture(QStringLiteral("keep.bmp"), 5, 5);
    const QByteArray original = FileBytes(path);
    Start({path});
    form4->ScrollBar1->SetPosition(99);
    SaveAnswer seen;
    AnswerSave(seen, QString());
    form4->SaveAs1->trigger();
    EXPECT_EQ(State.FileName, path);
    EXPECT_EQ(FileBytes(path), original);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("keep.bmp")});
}

TEST_F(Saving, AFailedSaveShowsTheErrorAndLeavesWhatWasThere)
{
    Start({MakePicture(QStringLiteral("w.bmp"), 5, 5)});
    form4->ScrollBar1->SetPosition(12);
    // A folder where the file should be: no write can replace it.
    const QString folder = Path(QStringLiteral("taken.bmp"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString noFolder = Path(QStringLiteral("no/such/folder/x.bmp"));
    for (const QString &name : {folder, noFolder}) {
        SCOPED_TRACE(name.toStdString());
        errors.clear();
        State.FileName = name; // as a confirmed SaveAs leaves it
        form4->Save1->trigger();
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_FALSE(errors[0].isEmpty());
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(QDir(folder).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(noFolder));
}

TEST_F(Saving, AFailedSaveAsStillTakesTheChosenName)
{
    const QString path = MakePicture(QStringLiteral("a.bmp"), 5, 5);
    Start({path});
    const QString target = Path(QStringLiteral("missing-folder/out"));
    SaveAnswer seen;
    AnswerSave(seen, target);
    form4->SaveAs1->trigger();
    EXPECT_EQ(State.FileName, target + QStringLiteral(".bmp"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(State.FileName));
}

TEST_F(Saving, AfterAFailedLoadSaveRefusesAndSaveAsStillSaves)
{
    // The file exists but cannot be read as a picture: Save must not put
    // the picture on screen over it.
    const QString unreadable = Path(QStringLiteral("odd.bmp"));
    {
        QFile f(unreadable);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM but nothing else of a bitmap");
    }
    const QByteArray original = FileBytes(unreadable);
    Start({unreadable});
    ASSERT_EQ(errors.size(), 1u);
    errors.clear();

    form4->Save1->trigger();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Nothing was loaded from")));
    EXPECT_TRUE(errors[0].contains(unreadable));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("SaveAs")));
    EXPECT_EQ(FileBytes(unreadable), original);

    errors.clear();
    SaveAnswer seen;
    AnswerSave(seen, Path(QStringLiteral("rescued")));
    form4->SaveAs1->trigger();
    EXPECT_TRUE(errors.empty());
    const QString rescued = Path(QStringLiteral("rescued.bmp"));
    EXPECT_EQ(PixelsOf(*LoadSurface(rescued)), PixelsOf(*State.WorkingSurface));
    // The picture now belongs to that name, so Save writes there again.
    form4->Save1->trigger();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(FileBytes(unreadable), original);

    // A later good load lifts the refusal for the file it came from.
    const QString good = MakePicture(QStringLiteral("good.bmp"), 3, 3);
    WhenModal([&](QWidget *w) {
        auto *d = qobject_cast<QFileDialog *>(w);
        d->selectFile(good);
        static_cast<QDialog *>(d)->accept();
    });
    form4->Open1->trigger();
    form4->ScrollBar2->SetPosition(-40);
    form4->Save1->trigger();
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(PixelsOf(*LoadSurface(good)), PixelsOf(*State.WorkingSurface));
}

} // namespace
