#include "app/Form2.h"

#include "app/ProgramState.h"
#include "platform/Application.h"
#include "platform/Memo.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#ifndef LUMIVANE_VERSION
#define LUMIVANE_VERSION "0.0.0"
#endif
#ifndef LUMIVANE_BUILD
#define LUMIVANE_BUILD "local"
#endif

namespace {

const char *const kTerms =
    "LUMIVANE TERMS OF USE\n"
    "\n"
    "Lumivane is freeware. You may use it at home and at work, on as many "
    "computers as you like, without paying anything.\n"
    "\n"
    "You may give away copies of Lumivane, as long as you give it away whole "
    "and unchanged and ask nothing for it.\n"
    "\n"
    "You may not sell Lumivane, rent it out, or pass it off as your own work.\n"
    "\n"
    "Lumivane changes only the pictures you tell it to save. Keep copies of "
    "pictures that matter to you: Save writes over the file you opened, "
    "without asking.\n"
    "\n"
    "Lumivane comes as it is, without any warranty. Orvantis is not liable "
    "for any loss or damage that comes from using it, or from being unable "
    "to use it.\n"
    "\n"
    "The pictures you make with Lumivane are yours.\n"
    "\n"
    "If you agree to these terms, choose \"Yes I Agree.\" If you do not, "
    "choose \"No. I Don't Agree.\" and Lumivane will close.\n";

// A static text in the product's face that takes the size of its text.
QLabel *MakeStaticText(QWidget *parent, int left, int top, const QString &text)
{
    auto *label = new QLabel(text, parent);
    QFont font(QStringLiteral("Verdana"));
    font.setPixelSize(13);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->move(left, top);
    label->adjustSize();
    return label;
}

} // namespace

TForm2::TForm2() : TForm(Frame::Tool, QStringLiteral("About Orvantis"))
{
    Q_INIT_RESOURCE(pictures);
    setWindowRole(QStringLiteral("about"));
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setPixelSize(11);
    setFont(designFont);
    SetFixedClientSize(474, 447);
    SetStayOnTop(true);
    SetCenterOnFirstShow(true);

    QWidget *client = Client();
    // The banner unscaled from its control's corner: its four leftmost
    // columns lie outside the window.
    Image1 = new QLabel(client);
    Image1->setPixmap(QPixmap(QStringLiteral(":/pictures/banner.bmp")));
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setGeometry(-4, 0, 481, 133);
    Image2 = new QLabel(client);
    Image2->setPixmap(QPixmap(QStringLiteral(":/pictures/tv.ico")));
    Image2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image2->setGeometry(40, 152, 64, 64);

    OKButton1 = new QPushButton(QStringLiteral("Yes I Agree. [OK]"), client);
    QFont bold = designFont;
    bold.setBold(true);
    OKButton1->setFont(bold);
    OKButton1->setGeometry(164, 412, 301, 29);
    OKButton1->setDefault(true);
    OKButton1->setAutoDefault(true);
    SetDefaultButton(OKButton1);
    connect(OKButton1, &QPushButton::clicked, this,
            [this] { platform::Guarded([this] { OKButton1Click(); }); });

    Memo1 = new platform::TMemo(client);
    QFont memoFont(QStringLiteral("MS Sans Serif"));
    memoFont.setPixelSize(12);
    Memo1->setFont(memoFont);
    Memo1->setGeometry(4, 236, 465, 169);
    Memo1->setPlainText(QString::fromLatin1(kTerms));
    Memo1->SetReadOnly(true);
    Memo1->setToolTip(QStringLiteral("The Lumivane Terms of Use: read them, then answer below"));

    Button1 = new QPushButton(QStringLiteral("No. I Don't Agree."), client);
    Button1->setGeometry(8, 412, 153, 29);
    Button1->setAutoDefault(true);
    connect(Button1, &QPushButton::clicked, this,
            [this] { platform::Guarded([this] { Button1Click(); }); });

    StaticText1 = MakeStaticText(client, 132, 140, QStringLiteral("Orvantis: Lumivane"));
    StaticText2 = MakeStaticText(client, 132, 156,
                                 QStringLiteral("Version %1, build %2")
                                     .arg(QLatin1String(LUMIVANE_VERSION),
                                          QLatin1String(LUMIVANE_BUILD)));
    StaticText3 = MakeStaticText(client, 132, 196,
                                 QStringLiteral("Copyright \u00a9 2026 Orvantis"));
    StaticText4 = MakeStaticText(client, 132, 172,
                                 QStringLiteral("Freeware.  All rights reserved."));
    StaticText5 = MakeStaticText(client, 132, 212, QStringLiteral("lumivane@orvantis.example"));

    setTabOrder(OKButton1, Memo1);
    setTabOrder(Memo1, Button1);

    OnCreate = [this] { State.Form2 = this; };
    OnWindowPaint = [this] { FormPaint(); };
}

TForm2::~TForm2() { State.Form2 = nullptr; }

void TForm2::OKButton1Click() { Hide(); }

void TForm2::Button1Click() { platform::Application->Terminate(); }

void TForm2::FormPaint()
{
    // Focus into the terms, which makes this the active window. Not while a
    // modal window holds the input: this one takes none then.
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != this)
        return;
    if (!Memo1->hasFocus())
        Memo1->setFocus(Qt::OtherFocusReason);
    if (!isActiveWindow())
        activateWindow();
}
