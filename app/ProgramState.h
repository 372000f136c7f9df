#pragma once
// The values every window shares, reached directly by all of them.

#include "imaging/Win.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class TForm1;
class TForm2;
class TForm3;
class TForm4;

struct TProgramState {
    // The picture's file as the user gave it.
    QString FileName;
    // No cue plays while it is off.
    bool SoundSwitch = true;
    // Two separate surfaces, each loaded from the file by a load of its own:
    // every render reads the untouched source and writes the working one.
    std::unique_ptr<TWin> SourceSurface;
    std::unique_ptr<TWin> WorkingSurface;
    // The second set of knob values, in slider order.
    std::array<int32_t, 7> MemoryBank{};
    // Set while the surfaces do not hold the picture of FileName because
    // loading it failed; Save must not write over that file then.
    bool LoadFailed = false;

    TForm1 *Form1 = nullptr;
    TForm2 *Form2 = nullptr;
    TForm3 *Form3 = nullptr;
    TForm4 *Form4 = nullptr;
};

extern TProgramState State;
