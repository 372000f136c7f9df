#include "app/Form2.h"

#include "app/ProgramState.h"

TForm2::TForm2() : TForm(Frame::Tool, QStringLiteral("About Orvantis"))
{
    setWindowRole(QStringLiteral("about"));
    SetFixedClientSize(473, 445);
    OnCreate = [this] { State.Form2 = this; };
}
