#pragma once
// The help window. Its contents come with the help page; for now it is an
// empty window with its caption.

#include "platform/Form.h"

class TForm3 final : public platform::TForm {
public:
    TForm3();
    ~TForm3() override;
};
