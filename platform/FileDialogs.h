#pragma once
// Modal open and save dialogs. Each keeps a file name of its own: it fills
// the dialog's file field when the dialog opens, and a confirmed choice
// replaces it; a cancel leaves it as it was.

#include <QString>

namespace platform {

class TFileDialog {
public:
    QString Title;
    // Pairs of description and pattern separated by bars:
    // "Bitmap Files|*.bmp".
    QString Filter;
    // Added to a name typed without an extension; empty for none.
    QString DefaultExt;
    QString FileName;

    // Runs the dialog; true when the user confirmed a name.
    bool Execute();

protected:
    explicit TFileDialog(bool save) : save_(save) {}

private:
    bool save_;
};

// Does not require that a typed name exists.
class TOpenDialog final : public TFileDialog {
public:
    TOpenDialog() : TFileDialog(false) {}
};

// Replaces an existing file without a question.
class TSaveDialog final : public TFileDialog {
public:
    TSaveDialog() : TFileDialog(true) {}
};

// "Bitmap Files|*.bmp" becomes {"Bitmap Files (*.bmp)"}.
QStringList NameFiltersFrom(const QString &filter);

} // namespace platform
