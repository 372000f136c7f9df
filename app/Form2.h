#pragma once
// The about window: the product, its version, notices and the maker's
// address, with the terms of use and two answers to them. Agreeing only
// closes the window; disagreeing ends the program. Every paint puts the
// keyboard focus into the terms.

#include "platform/Form.h"

class QLabel;
class QPushButton;
namespace platform {
class TMemo;
}

class TForm2 final : public platform::TForm {
public:
    TForm2();
    ~TForm2() override;

    void OKButton1Click();
    void Button1Click();
    void FormPaint();

    // In creation order.
    QLabel *Image1, *Image2;
    QPushButton *OKButton1;
    platform::TMemo *Memo1;
    QPushButton *Button1;
    QLabel *StaticText1, *StaticText2, *StaticText3, *StaticText4, *StaticText5;
};
