#pragma once
// Menu items: a caption of "-" makes a separator; a chosen item runs its
// handler under the error guard.

#include <QString>
#include <functional>

class QAction;
class QWidget;

namespace platform {

// Appends an item to a menu bar or a menu.
QAction *AddMenuItem(QWidget *menu, const QString &caption,
                     std::function<void()> handler = nullptr);

} // namespace platform
