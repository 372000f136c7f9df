#pragma once
// TVelbrinSystemMenu: mirrors the top-level items of a popup menu into the
// window menu of the window that owns it, and routes the commands chosen
// there back to those items, so that an entry chosen in the window menu
// runs the same click handler as the item chosen in the popup menu.
//
// The entries are copies taken when a merge runs (their text, marks and
// state do not follow later changes of the items), and a merge only ever
// adds: every effective change of PopupMenu or Position inserts the items
// again. The popup menu must outlive the component, which keeps a plain
// reference to it.

#include "platform/Application.h"

#include <QObject>
#include <cstdint>

class QAction;
class QEvent;
class QMenu;

namespace platform {
class TWindowMenu;
struct TMsg;
}

class TVelbrinSystemMenu final : public QObject {
public:
    // `owner` must be a form; merges fail with an invalid-cast error
    // otherwise. No merge happens here.
    explicit TVelbrinSystemMenu(QObject *owner);
    // Puts back the message hook that was installed before this one's
    // (none, if this one never installed its own).
    ~TVelbrinSystemMenu() override;

    // The menu whose top-level items are mirrored; not owned.
    QMenu *PopupMenu() const { return PopupMenu_; }
    void SetPopupMenu(QMenu *value);

    // -1 appends each entry at the end of the window menu; any other value v
    // puts the item with index i (counting hidden items too) at v + i.
    int32_t Position() const { return Position_; }
    void SetPosition(int32_t value);

    // Once the owner has set all properties: installs the message hook,
    // keeping the one that was there to call first.
    void Loaded();

    void MergeMenu();
    void InsertEntry(QAction *item, platform::TWindowMenu *menu, int32_t position);
    // The application message hook: a system command for any of the
    // program's windows whose id matches an item clicks that item.
    void HookMessage(QObject *receiver, QEvent *event, bool &handled);
    bool DispatchSysCommand(const platform::TMsg &message);
    // Depth-first in item order: an item's own id, then its sub-items, then
    // its next sibling; the first match is clicked and ends the search.
    bool ClickByCommand(const QMenu *parent, uint16_t command);

private:
    QMenu *PopupMenu_ = nullptr;
    int32_t Position_ = -1;
    platform::TApplication::MessageHook SavedHook;
};
