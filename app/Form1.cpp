#include "app/Form1.h"

#include "app/Form2.h"
#include "app/Form3.h"
#include "app/Form4.h"
#include "app/ProgramState.h"
#include "controls/VelbrinSystemMenu.h"
#include "platform/Application.h"
#include "platform/Menus.h"
#include "platform/SoundOutput.h"

#include <QMenu>

TForm1::TForm1() : TForm(Frame::None, QStringLiteral("Lumivane"))
{
    setWindowRole(QStringLiteral("picture"));
    move(47, 2);
    resize(187, 68);
    SetMoveByClientDrag(true);

    PopupMenu1 = new QMenu(this);
    Help1 = platform::AddMenuItem(PopupMenu1, QStringLiteral("Help"), [this] { Help1Click(); });
    About1 = platform::AddMenuItem(PopupMenu1, QStringLiteral("About"), [this] { About1Click(); });
    platform::AddMenuItem(PopupMenu1, QStringLiteral("-"));
    // Radio items that no command ever checks, so neither shows a mark.
    BeSilent1 = platform::AddMenuItem(PopupMenu1, QStringLiteral("Be Silent"),
                                      [this] { BeSilent1Click(); });
    NoSounds1 = platform::AddMenuItem(PopupMenu1, QStringLiteral("Make Noise"),
                                      [this] { NoSounds1Click(); });
    platform::SetRadioItem(BeSilent1, true);
    platform::SetRadioItem(NoSounds1, true);
    // Closes the list off from the system's own items once the list is
    // mirrored into the system menu.
    platform::AddMenuItem(PopupMenu1, QStringLiteral("-"));
    PopupMenu1->setSeparatorsCollapsible(false);
    SetPopupMenu(PopupMenu1);

    // As a stored design is read: the position first, while there is no
    // menu to merge yet, then the menu, then the hook once all is set.
    VelbrinSystemMenu1 = new TVelbrinSystemMenu(this);
    VelbrinSystemMenu1->SetPosition(0);
    VelbrinSystemMenu1->SetPopupMenu(PopupMenu1);
    VelbrinSystemMenu1->Loaded();

    SaveDialog1.Title = QStringLiteral("Save New Bitmap");
    SaveDialog1.Filter = QStringLiteral("Bitmap Files|*.bmp");
    SaveDialog1.DefaultExt = QStringLiteral("bmp");
    OpenDialog1.Title = QStringLiteral("Please Choose a Bitmap to Load and Edit");
    OpenDialog1.Filter = QStringLiteral("Bitmap Files|*.bmp");

    OnCreate = [this] { FormCreate(); };
    OnShow = [this] { FormShow(); };
    OnPaint = [this] { FormPaint(); };
    OnResize = [this] { FormPaint(); };
    OnDestroy = [this] { FormDestroy(); };
}

void TForm1::FormCreate()
{
    State.Form1 = this;
    State.FileName = platform::Application->ParamStr(1);
    State.SoundSwitch = true;
    State.SourceSurface = std::make_unique<TWin>(32, 32);
    State.WorkingSurface = std::make_unique<TWin>(32, 32);
}

void TForm1::FormShow()
{
    if (State.FileName.isEmpty()) {
        OpenDialog1.Execute();
        // After a cancel this is the name last confirmed in the dialog.
        const QString chosen = OpenDialog1.FileName;
        if (chosen.isEmpty()) {
            platform::Application->Terminate();
            return;
        }
        State.FileName = chosen;
    }
    const std::string name = State.FileName.toStdString();
    State.LoadFailed = true;
    TWin::LoadBitmapFile(State.SourceSurface, name);
    TWin::LoadBitmapFile(State.WorkingSurface, name);
    State.LoadFailed = false;

    SetClientWidth(State.WorkingSurface->width());
    SetClientHeight(State.WorkingSurface->height());
    SetLeft(0);
    SetTop(0);
    FormPaint();
    State.Form4->Show();
    Beeper(1);
}

void TForm1::FormPaint()
{
    // Nothing to draw once shut-down has freed the surfaces.
    if (!State.WorkingSurface)
        return;
    platform::DrawingContext *canvas = Canvas();
    if (!canvas) {
        // Outside a paint: paint now, which comes back here with a canvas.
        PaintNow();
        return;
    }
    TWin &working = *State.WorkingSurface;
    working.Draw(*canvas, 0, 0, 0, working.width(), working.height(), ClientWidth(),
                 ClientHeight());
}

TForm1::~TForm1() { State.Form1 = nullptr; }

void TForm1::FormDestroy()
{
    State.WorkingSurface.reset();
    State.SourceSurface.reset();
    Beeper(7);
}

void TForm1::Help1Click()
{
    State.Form3->Show();
    Beeper(5);
}

void TForm1::About1Click()
{
    State.Form2->Show();
    Beeper(4);
}

void TForm1::BeSilent1Click() { State.SoundSwitch = false; }

void TForm1::NoSounds1Click()
{
    State.SoundSwitch = true;
    Beeper(0);
}

void TForm1::Beeper(int32_t n)
{
    if (!State.SoundSwitch)
        return;
    if (n < 0 || n > 7)
        return;
    switch (n) {
    case 0: platform::PlaySound(QStringLiteral("RSTART"), false); break;
    case 1: platform::PlaySound(QStringLiteral("RCLICK"), false); break;
    case 2: platform::PlaySound(QStringLiteral("RTICK"), false); break;
    case 3: platform::PlaySound(QStringLiteral("RPOP"), false); break;
    case 4: platform::PlaySound(QStringLiteral("RSTRUM"), false); break;
    case 5: platform::PlaySound(QStringLiteral("REXIT"), false); break;
    case 6: platform::PlaySound(QStringLiteral("RAIR"), false); break;
    case 7: platform::PlaySound(QStringLiteral("RAIR"), true); break;
    }
}
