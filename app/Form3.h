#pragma once
// The help window: one fixed, annotated page. A picture of the knob panel
// and a sample photograph, four explanatory labels, and four lines tying
// each label to what it explains. "Close Help" and the close box hide it.

#include "platform/Form.h"

class QLabel;
class QPushButton;
class TLine;

class TForm3 final : public platform::TForm {
public:
    TForm3();
    ~TForm3() override;

    void Button1Click();

    // In creation order, which is also the order they are painted in.
    QLabel *Image2, *Image1;
    TLine *Line1, *Line2, *Line3, *Line4;
    QLabel *Label1, *Label2, *Label3, *Label4;
    QPushButton *Button1;
};
