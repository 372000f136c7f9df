#include "platform/ScrollBar.h"

#include "platform/Application.h"

#include <algorithm>

namespace platform {

TScrollBar::TScrollBar(QWidget *parent, int left, int top, int width, int height, int min,
                       int max)
    : QScrollBar(Qt::Horizontal, parent)
{
    setGeometry(left, top, width, height);
    setRange(min, max);
    // An arrow click and a click in the trough each move by one.
    setSingleStep(1);
    setPageStep(1);
    // The slider has no menu of its own.
    setContextMenuPolicy(Qt::NoContextMenu);
    // Connected only now, so the design values raise nothing.
    connect(this, &QAbstractSlider::valueChanged, this, [this] {
        if (!settingByCode_)
            Guarded(OnChange);
    });
}

void TScrollBar::SetPosition(int position)
{
    position = std::clamp(position, minimum(), maximum());
    if (position == value())
        return;
    settingByCode_ = true;
    setValue(position);
    settingByCode_ = false;
    // Raised here rather than from the signal, so that an error in the
    // handler reaches the code that set the position.
    if (OnChange)
        OnChange();
}

} // namespace platform
