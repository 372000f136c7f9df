#include "app/Form4.h"

#include "app/Form1.h"
#include "app/ProgramState.h"
#include "platform/Application.h"
#include "platform/Menus.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <stdexcept>

namespace {

struct SliderDesign {
    const char *caption;
    int top;
    int min;
    int max;
};

// Neighbours overlap by one pixel: each is 17 high, 16 apart.
constexpr SliderDesign kSliders[7] = {
    {"Red Tint", 0, -255, 255},     {"Green Tint", 16, -255, 255},
    {"Blue Tint", 32, -255, 255},   {"Brightness", 48, -255, 255},
    {"Contrast", 64, -1024, 1024},  {"Intensity", 80, -2048, 2048},
    {"SmoothFX", 96, -128, 5},
};

} // namespace

TForm4::TForm4() : TForm(Frame::Tool, QStringLiteral("Lumivane"))
{
    setWindowRole(QStringLiteral("knobs"));
    SetStayOnTop(true);
    SetCenterOnFirstShow(true);
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setPixelSize(11);
    setFont(designFont);

    MainMenu1 = new QMenuBar;
    File1 = MainMenu1->addMenu(QStringLiteral("File"));
    connect(File1, &QMenu::aboutToShow, this, [this] { platform::Guarded([this] { File1Click(); }); });
    Open1 = platform::AddMenuItem(File1, QStringLiteral("Open"), [this] { Open1Click(); });
    Save1 = platform::AddMenuItem(File1, QStringLiteral("Save"), [this] { Save1Click(); });
    SaveAs1 = platform::AddMenuItem(File1, QStringLiteral("SaveAs"), [this] { SaveAs1Click(); });
    platform::AddMenuItem(File1, QStringLiteral("-"));
    BeSilent1 = platform::AddMenuItem(File1, QStringLiteral("Be Silent"), [this] { BeSilent1Click(); });
    MakeNoise1 = platform::AddMenuItem(File1, QStringLiteral("Make Noise"), [this] { MakeNoise1Click(); });
    platform::AddMenuItem(File1, QStringLiteral("-"));
    Exit1 = platform::AddMenuItem(File1, QStringLiteral("Exit"), [this] { Exit1Click(); });
    Help1 = platform::AddMenuItem(MainMenu1, QStringLiteral("Help"), [this] { Help1Click(); });
    About1 = platform::AddMenuItem(MainMenu1, QStringLiteral("About"), [this] { About1Click(); });
    Minimize1 = platform::AddMenuItem(MainMenu1, QStringLiteral("Min"), [this] { Minimize1Click(); });
    SetMenuBar(MainMenu1);
    SetFixedClientSize(295, 148);

    QWidget *client = Client();
    platform::TScrollBar **bars[7] = {&ScrollBar1, &ScrollBar2, &ScrollBar3, &ScrollBar4,
                                      &ScrollBar5, &ScrollBar6, &ScrollBar7};
    QLabel **labels[7] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7};
    for (int i = 0; i < 7; ++i) {
        const SliderDesign &d = kSliders[i];
        auto *bar = new platform::TScrollBar(client, 0, d.top, 233, 17, d.min, d.max);
        bar->OnChange = [this] { ScrollBar1Change(); };
        *bars[i] = bar;
        auto *label = new QLabel(QString::fromLatin1(d.caption), client);
        label->move(240, d.top + 4);
        label->adjustSize();
        label->resize(label->width(), 13);
        *labels[i] = label;
    }
    Button1 = new QPushButton(QStringLiteral("Reset"), client);
    Button1->setGeometry(4, 120, 137, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Button1Click(); }); });
    Button2 = new QPushButton(QStringLiteral("Memory A<>B"), client);
    Button2->setGeometry(144, 120, 137, 25);
    connect(Button2, &QPushButton::clicked, this, [this] { platform::Guarded([this] { Button2Click(); }); });
    // Tab order follows the design: the sliders top to bottom, then the
    // buttons.
    QWidget *previous = ScrollBar1;
    for (QWidget *next : {static_cast<QWidget *>(ScrollBar2), static_cast<QWidget *>(ScrollBar3),
                          static_cast<QWidget *>(ScrollBar4), static_cast<QWidget *>(ScrollBar5),
                          static_cast<QWidget *>(ScrollBar6), static_cast<QWidget *>(ScrollBar7),
                          static_cast<QWidget *>(Button1), static_cast<QWidget *>(Button2)}) {
        setTabOrder(previous, next);
        previous = next;
    }

    OnCreate = [this] { State.Form4 = this; };
    OnClose = [this] { FormClose(); };
}

TForm4::~TForm4() { State.Form4 = nullptr; }

std::array<platform::TScrollBar *, 7> TForm4::ScrollBars() const
{
    return {ScrollBar1, ScrollBar2, ScrollBar3, ScrollBar4, ScrollBar5, ScrollBar6, ScrollBar7};
}

void TForm4::ScrollBar1Change()
{
    ++renderCount_;
    TWin &source = *State.SourceSurface;
    State.WorkingSurface->Composite(
        source, source.width() / 2, source.height() / 2, 0.0f, 1.0f, 1.0f, 0.0f, 0, 0, -256,
        ScrollBar4->Position(), float(ScrollBar5->Position()) / 512.0f + 1.0f,
        float(ScrollBar6->Position()) / 512.0f, ScrollBar1->Position(), ScrollBar2->Position(),
        ScrollBar3->Position(), ScrollBar7->Position(), 1, 0, 0, 0, 0);
    State.Form1->FormPaint();
}

void TForm4::Button1Click()
{
    State.Form1->Beeper(3);
    const auto bars = ScrollBars();
    for (platform::TScrollBar *bar : bars)
        bar->SetPosition(0);
    for (size_t i = 0; i < bars.size(); ++i)
        State.MemoryBank[i] = bars[i]->Position();
}

void TForm4::Button2Click()
{
    State.Form1->Beeper(3);
    const auto bars = ScrollBars();
    for (size_t i = 0; i < bars.size(); ++i) {
        const int32_t scratch = bars[i]->Position();
        bars[i]->SetPosition(State.MemoryBank[i]);
        State.MemoryBank[i] = scratch;
    }
}

void TForm4::FormClose() { platform::Application->Terminate(); }

void TForm4::File1Click() { State.Form1->Beeper(1); }

void TForm4::Open1Click()
{
    State.FileName.clear();
    State.Form1->Hide();
    State.Form1->Show();
}

void TForm4::Save1Click()
{
    if (State.LoadFailed)
        throw std::runtime_error(
            QStringLiteral("Nothing was loaded from %1, so Save will not write over it. Use "
                           "SaveAs to save the picture under a name.")
                .arg(State.FileName)
                .toStdString());
    if (State.FileName.isEmpty())
        return;
    State.WorkingSurface->SaveBitmapFile(State.FileName.toStdString());
}

void TForm4::SaveAs1Click()
{
    platform::TSaveDialog &dialog = State.Form1->SaveDialog1;
    dialog.FileName = State.FileName;
    if (!dialog.Execute())
        return;
    State.FileName = dialog.FileName;
    // The picture on screen is now meant for this name.
    State.LoadFailed = false;
    if (!State.FileName.isEmpty())
        State.WorkingSurface->SaveBitmapFile(State.FileName.toStdString());
}

void TForm4::BeSilent1Click() { State.Form1->BeSilent1Click(); }

void TForm4::MakeNoise1Click() { State.Form1->NoSounds1Click(); }

void TForm4::Exit1Click() { platform::Application->Terminate(); }

void TForm4::Help1Click() { State.Form1->Help1Click(); }

void TForm4::About1Click() { State.Form1->About1Click(); }

void TForm4::Minimize1Click()
{
    State.Form1->Beeper(5);
    platform::Application->Minimize();
}
