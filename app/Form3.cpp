#include "app/Form3.h"

#include "app/ProgramState.h"
#include "controls/Line.h"
#include "platform/Application.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

// A picture control that takes the size of its picture.
QLabel *MakePicture(QWidget *parent, int left, int top, const QString &resource)
{
    auto *image = new QLabel(parent);
    image->setPixmap(QPixmap(resource));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->move(left, top);
    image->adjustSize();
    return image;
}

TLine *MakeLine(QWidget *parent, int left, int top, int width, int height,
                TLineDirection direction)
{
    auto *line = new TLine(parent);
    line->setGeometry(left, top, width, height);
    line->SetDirection(direction);
    line->SetLineColor(Qt::black);
    line->SetArrowColor(Qt::black);
    line->SetLineWidth(1);
    return line;
}

// A label of fixed width whose height follows its text, wrapped at word
// boundaries, on an opaque background of the window's colour.
QLabel *MakeLabel(QWidget *parent, int left, int top, int width, const QString &text)
{
    auto *label = new QLabel(parent);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    label->setFont(font);
    // Plain text keeps the two blanks after each full stop.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setText(text);
    label->setAutoFillBackground(true);
    label->setGeometry(left, top, width, label->heightForWidth(width));
    return label;
}

} // namespace

TForm3::TForm3() : TForm(Frame::Sizeable, QStringLiteral("Lumivane Help"))
{
    Q_INIT_RESOURCE(pictures);
    setWindowRole(QStringLiteral("help"));
    SetStayOnTop(true);
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setPixelSize(11);
    setFont(designFont);
    // Where it was designed, not centred. The client starts at the size a
    // classic frame leaves of the outer size and takes the rest once the
    // real frame is known.
    move(182, 178);
    resize(628, 432);
    SetFrameSize(636, 459);

    QWidget *client = Client();
    Image2 = MakePicture(client, 24, 16, QStringLiteral(":/pictures/avenue.bmp"));
    Image1 = MakePicture(client, 144, 112, QStringLiteral(":/pictures/knobpanel.bmp"));
    // The photograph to the text about the picture window, the sliders and
    // the buttons in the panel's picture to the texts about them.
    Line1 = MakeLine(client, 296, 196, 181, 41, drLeftRight);
    Line2 = MakeLine(client, 320, 296, 77, 49, drUpDown);
    Line3 = MakeLine(client, 100, 276, 65, 41, drLeftRight);
    Line4 = MakeLine(client, 140, 48, 85, 41, drLeftRight);
    Label1 = MakeLabel(client, 228, 40, 310,
                       QStringLiteral("Look Ma.  No Scrollbars!  The actual-sized image you are "
                                      "editing appears on the screen behind the Lumivane Control "
                                      "Panel.  It can be dragged around like a piece of cardboard "
                                      "with your mouse."));
    Label2 = MakeLabel(client, 156, 344, 425,
                       QStringLiteral("This allows you to temporarily save the settings in two "
                                      "Memory Banks: A and B.  Adjust the sliders then press it.  "
                                      "The sliders will return to their respective initial "
                                      "states.  Then you can change sliders again for bank B."));
    Label3 = MakeLabel(client, 20, 256, 93,
                       QStringLiteral("Resets all knobs to zero state and clears all memories."));
    Label4 = MakeLabel(client, 476, 160, 135,
                       QStringLiteral("These sliders mimic television control knobs and in "
                                      "real-time change a duplicate of your image.  Nothing is "
                                      "permanent until you save however."));
    Button1 = new QPushButton(QStringLiteral("Close Help"), client);
    Button1->setGeometry(544, 12, 79, 25);
    connect(Button1, &QPushButton::clicked, this,
            [this] { platform::Guarded([this] { Button1Click(); }); });
    Button1->setFocus();

    OnCreate = [this] { State.Form3 = this; };
}

TForm3::~TForm3() { State.Form3 = nullptr; }

void TForm3::Button1Click() { Hide(); }
