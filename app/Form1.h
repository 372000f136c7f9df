#pragma once
// The picture window: the working surface at actual size in a frameless
// window, dragged by any point of the picture. It runs the show-time flow
// (obtain a name, load, fit, paint, bring up the knob panel), plays the
// sound cues, and its creation and destruction set up and release the
// program state.

#include "platform/FileDialogs.h"
#include "platform/Form.h"

#include <cstdint>

class QAction;
class QMenu;
class TVelbrinSystemMenu;

class TForm1 final : public platform::TForm {
public:
    TForm1();
    ~TForm1() override;

    void FormCreate();
    void FormShow();
    void FormPaint();
    void FormDestroy();

    void Help1Click();
    void About1Click();
    void BeSilent1Click();
    void NoSounds1Click();

    // Plays sound cue n (0 to 7) unless the sound switch is off.
    void Beeper(int32_t n);

    QMenu *PopupMenu1 = nullptr;
    QAction *Help1 = nullptr;
    QAction *About1 = nullptr;
    QAction *BeSilent1 = nullptr;
    QAction *NoSounds1 = nullptr;
    // Puts PopupMenu1's items at the top of the window's window menu.
    TVelbrinSystemMenu *VelbrinSystemMenu1 = nullptr;
    platform::TSaveDialog SaveDialog1;
    platform::TOpenDialog OpenDialog1;
};
