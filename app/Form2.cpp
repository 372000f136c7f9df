#include "app/Form2.h"

#include "app/ProgramState.h"

TForm2::TForm2() : TForm(Frame::Tool, QStringLiteral("About Orvantis"))
{
    setWindowRole(QStringLiteral("about"));
    SetFixedClientSize(474, 447);
    SetStayOnTop(true);
    SetCenterOnFirstShow(true);
    OnCreate = [this] { State.Form2 = this; };
}

TForm2::~TForm2() { State.Form2 = nullptr; }
