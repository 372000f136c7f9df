#pragma once
// Menu items: a caption of "-" makes a separator; a chosen item runs its
// handler under the error guard.
//
// Every item has a command id, a 16-bit number unique within the program,
// given in the order items first need one. Ids stay below 0xF000, where the
// standard window commands begin.

#include <QString>
#include <cstdint>
#include <functional>

class QAction;
class QWidget;

namespace platform {

// Appends an item to a menu bar or a menu.
QAction *AddMenuItem(QWidget *menu, const QString &caption,
                     std::function<void()> handler = nullptr);

uint16_t CommandOf(QAction *item);
// Gives an item a chosen id; only for tests that need two items to share one.
void SetCommandForTest(QAction *item, uint16_t id);

// "-" for a separator, else the item's text.
QString CaptionOf(const QAction *item);

// A radio item shows a dot rather than a tick when it is checked.
bool IsRadioItem(const QAction *item);
void SetRadioItem(QAction *item, bool on);

// Where a menu breaks into a new column before the item.
enum class TMenuBreak { mbNone, mbBreak, mbBarBreak };
TMenuBreak BreakOf(const QAction *item);
void SetBreak(QAction *item, TMenuBreak value);

// The default item of the menu it stands in.
bool IsDefaultItem(const QAction *item);

bool HasSubItems(const QAction *item);

// True for a top-level item of a menu bar.
bool IsMenuBarItem(const QAction *item);

// The item's click, as when it is chosen from its menu; nothing happens for
// a disabled item.
void Click(QAction *item);

} // namespace platform
