#pragma once
// The knob panel: seven sliders whose positions are the knob values, Reset,
// Memory A<>B, and the program's menu bar. Every change of a position
// renders the working surface anew from the source and repaints the picture.

#include "platform/Form.h"
#include "platform/ScrollBar.h"

#include <array>
#include <cstdint>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

class TForm4 final : public platform::TForm {
public:
    TForm4();
    ~TForm4() override;

    void ScrollBar1Change();
    void Button1Click();
    void Button2Click();
    void FormClose();

    void File1Click();
    void Open1Click();
    void Save1Click();
    void SaveAs1Click();
    void BeSilent1Click();
    void MakeNoise1Click();
    void Exit1Click();
    void Help1Click();
    void About1Click();
    void Minimize1Click();

    platform::TScrollBar *ScrollBar1, *ScrollBar2, *ScrollBar3, *ScrollBar4, *ScrollBar5,
        *ScrollBar6, *ScrollBar7;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
    QPushButton *Button1, *Button2;

    QMenuBar *MainMenu1;
    QMenu *File1;
    QAction *Open1, *Save1, *SaveAs1, *BeSilent1, *MakeNoise1, *Exit1;
    QAction *Help1, *About1, *Minimize1;

    // The sliders in slider order.
    std::array<platform::TScrollBar *, 7> ScrollBars() const;

    // How many renders have run; lets tests see that a set position that
    // changes nothing renders nothing.
    int RenderCount() const { return renderCount_; }

private:
    int renderCount_ = 0;
};
