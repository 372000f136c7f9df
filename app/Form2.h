#pragma once
// The about window. Its contents come with the about page; for now it is
// an empty tool window with its caption.

#include "platform/Form.h"

class TForm2 final : public platform::TForm {
public:
    TForm2();
    ~TForm2() override;
};
