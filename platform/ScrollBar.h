#pragma once
// A horizontal slider with an integer range. Setting the position clamps it
// into the range and, when that changes the position, raises the change
// handler before the setter returns; the user's moves raise it the same way.
// Building the slider raises nothing.

#include <QScrollBar>
#include <functional>

namespace platform {

class TScrollBar final : public QScrollBar {
public:
    TScrollBar(QWidget *parent, int left, int top, int width, int height, int min, int max);

    int Position() const { return value(); }
    void SetPosition(int position);

    std::function<void()> OnChange;

private:
    bool settingByCode_ = false;
};

} // namespace platform
