#pragma once
// A multi-line text: long lines wrapped, a vertical scroll bar only. Read
// only, it still takes the keyboard focus and moves and scrolls with the
// keys, and it keeps Return and Enter for itself rather than letting them
// press the window's default button.

#include <QPlainTextEdit>

namespace platform {

class TMemo final : public QPlainTextEdit {
public:
    explicit TMemo(QWidget *parent = nullptr);

    void SetReadOnly(bool on);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace platform
