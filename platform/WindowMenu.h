#pragma once
// The window menu: the list of a window's own commands that the user opens
// with Alt+Space. The desktop keeps no such menu for a program here, so
// the layer keeps one for each window that asks for it, starting with the
// standard window commands, and shows it when the key is pressed.
//
// Entries are inserted by position or before a command, with the flag
// words of the classic calls. Choosing an entry posts a system command
// message (WM_SYSCOMMAND, the entry's id in the low 16 bits of the word
// parameter) to the window through the program's message queue, so the
// application's message hook sees it before the window does; a command
// nobody handled reaches the window, which carries out the standard ones.

#include <QEvent>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <vector>

class QAction;
class QMenu;

namespace platform {

class TForm;

// Message numbers.
constexpr uint32_t WM_SYSCOMMAND = 0x0112;

// The standard window commands.
constexpr uint16_t SC_SIZE = 0xF000;
constexpr uint16_t SC_MOVE = 0xF010;
constexpr uint16_t SC_MINIMIZE = 0xF020;
constexpr uint16_t SC_MAXIMIZE = 0xF030;
constexpr uint16_t SC_CLOSE = 0xF060;
constexpr uint16_t SC_RESTORE = 0xF120;

// Flag words of InsertMenuA.
constexpr uint32_t MF_BYCOMMAND = 0x0000;
constexpr uint32_t MF_STRING = 0x0000;
constexpr uint32_t MF_ENABLED = 0x0000;
constexpr uint32_t MF_GRAYED = 0x0001;
constexpr uint32_t MF_DISABLED = 0x0002;
constexpr uint32_t MF_CHECKED = 0x0008;
constexpr uint32_t MF_POPUP = 0x0010;
constexpr uint32_t MF_MENUBARBREAK = 0x0020;
constexpr uint32_t MF_MENUBREAK = 0x0040;
constexpr uint32_t MF_BYPOSITION = 0x0400;
constexpr uint32_t MF_SEPARATOR = 0x0800;

// Type and state words of the item-info record; the same numbers.
constexpr uint32_t MFT_STRING = 0x0000;
constexpr uint32_t MFT_MENUBARBREAK = 0x0020;
constexpr uint32_t MFT_MENUBREAK = 0x0040;
constexpr uint32_t MFT_RADIOCHECK = 0x0200;
constexpr uint32_t MFT_SEPARATOR = 0x0800;
constexpr uint32_t MFS_ENABLED = 0x0000;
constexpr uint32_t MFS_GRAYED = 0x0003;
constexpr uint32_t MFS_DISABLED = MFS_GRAYED;
constexpr uint32_t MFS_CHECKED = 0x0008;
constexpr uint32_t MFS_DEFAULT = 0x1000;

// Which fields of the record count.
constexpr uint32_t MIIM_STATE = 0x01;
constexpr uint32_t MIIM_ID = 0x02;
constexpr uint32_t MIIM_SUBMENU = 0x04;
constexpr uint32_t MIIM_CHECKMARKS = 0x08;
constexpr uint32_t MIIM_TYPE = 0x10;
constexpr uint32_t MIIM_DATA = 0x20;

// A sub-menu is one of the toolkit's menus, shared with whoever built it.
using HMENU = QMenu *;

struct MENUITEMINFOA {
    uint32_t cbSize = 0;
    uint32_t fMask = 0;
    uint32_t fType = 0;
    uint32_t fState = 0;
    uint32_t wID = 0;
    HMENU hSubMenu = nullptr;
    const void *hbmpChecked = nullptr;
    const void *hbmpUnchecked = nullptr;
    uintptr_t dwItemData = 0;
    const char *dwTypeData = nullptr;
    uint32_t cch = 0;
    const void *hbmpItem = nullptr;
};
// The record's size as the classic call counts it: 48 with the item
// bitmap, 44 for the older record without it.
constexpr uint32_t kMenuItemInfoSize = 48;
constexpr uint32_t kMenuItemInfoSizeWithoutBitmap = 44;

// One entry of a window menu.
struct TMenuEntry {
    uint32_t type = MFT_STRING;
    uint32_t state = MFS_ENABLED;
    uint16_t id = 0;
    HMENU subMenu = nullptr; // a pop-up entry's sub-menu, shared
    uintptr_t data = 0;
    QString text;
};

class TWindowMenu {
public:
    explicit TWindowMenu(TForm *owner);
    ~TWindowMenu();
    TWindowMenu(const TWindowMenu &) = delete;
    TWindowMenu &operator=(const TWindowMenu &) = delete;

    TForm *Owner() const { return owner_; }
    const std::vector<TMenuEntry> &Entries() const { return entries_; }

    // Inserts before the entry at `position`, or at the end when there are
    // fewer entries.
    void InsertAt(uint32_t position, TMenuEntry entry);
    // Inserts before the entry with command `id`; false when there is none.
    bool InsertBefore(uint16_t id, TMenuEntry entry);
    // Back to the standard entries only.
    void Revert();

    // Shows the menu at a point of the screen; returns at once. Choosing an
    // entry posts its system command to the owner.
    void Popup(const QPoint &globalPos);
    // The menu on the screen while it is open, else null.
    QMenu *Shown() const { return shown_.data(); }

private:
    void UpdateStandardStates();

    TForm *owner_;
    std::vector<TMenuEntry> entries_;
    QPointer<QMenu> shown_;
};

// The window's own menu, the same one on every call. With revert set it is
// put back to the standard entries and null is returned.
TWindowMenu *GetSystemMenu(TForm *window, bool revert);

// The low byte is the major version of the window-menu layer; major
// versions 4 and above know InsertMenuItemA. Tests may stand in another
// value (0 puts the real one back).
uint32_t GetVersion();
void SetVersionForTest(uint32_t version);

// Insert an entry at a position (MF_BYPOSITION) or before a command. With
// MF_POPUP, `idOrSubMenu` is the sub-menu. False when nothing was inserted.
bool InsertMenuA(TWindowMenu *menu, uint32_t position, uint32_t flags, uintptr_t idOrSubMenu,
                 const char *text);
bool InsertMenuItemA(TWindowMenu *menu, uint32_t position, bool byPosition,
                     const MENUITEMINFOA *info);

// The queued message record.
struct TMsg {
    TForm *hwnd = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    uint32_t time = 0;
    QPoint pt;
};

// A message travelling through the program's event queue.
class TMessageEvent final : public QEvent {
public:
    explicit TMessageEvent(const TMsg &msg) : QEvent(EventType()), Msg(msg) {}
    static QEvent::Type EventType();
    TMsg Msg;
};

// Posts `message` to `window` through the program's queue.
void PostMessage(TForm *window, uint32_t message, uintptr_t wParam, intptr_t lParam);

} // namespace platform
