#include "app/Form3.h"

#include "app/ProgramState.h"

TForm3::TForm3() : TForm(Frame::Sizeable, QStringLiteral("Lumivane Help"))
{
    setWindowRole(QStringLiteral("help"));
    resize(628, 432);
    OnCreate = [this] { State.Form3 = this; };
}

TForm3::~TForm3() { State.Form3 = nullptr; }
