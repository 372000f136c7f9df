#include "platform/WindowMenu.h"

#include "platform/Form.h"
#include "platform/Menus.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>

namespace platform {

namespace {

uint32_t versionOverride = 0;

TMenuEntry Standard(uint16_t id, const char *text)
{
    TMenuEntry e;
    e.id = id;
    e.text = QString::fromLatin1(text);
    return e;
}

TMenuEntry Separator()
{
    TMenuEntry e;
    e.type = MFT_SEPARATOR;
    return e;
}

std::vector<TMenuEntry> StandardEntries()
{
    return {Standard(SC_RESTORE, "&Restore"), Standard(SC_MOVE, "&Move"),
            Standard(SC_SIZE, "&Size"),       Standard(SC_MINIMIZE, "Mi&nimize"),
            Standard(SC_MAXIMIZE, "Ma&ximize"), Separator(),
            Standard(SC_CLOSE, "&Close\tAlt+F4")};
}

// The cursor position packed as a long parameter, x in the low word.
intptr_t CursorParam()
{
    const QPoint p = QCursor::pos();
    return intptr_t((uint32_t(uint16_t(p.y())) << 16) | uint16_t(p.x()));
}

// Choosing any item of a shown window menu sends its command to `owner`.
void PostOnChoice(QAction *action, TForm *owner, uint16_t id)
{
    QObject::connect(action, &QAction::triggered, owner,
                     [owner, id] { PostMessage(owner, WM_SYSCOMMAND, id, CursorParam()); });
}

// A shown copy of a shared sub-menu, as it is at this moment; its items
// send their commands like the window menu's own entries.
void MirrorSubMenu(QMenu *target, const QMenu *shared, TForm *owner)
{
    for (QAction *item : shared->actions()) {
        if (!item->isVisible())
            continue;
        if (item->isSeparator()) {
            target->addSeparator();
            continue;
        }
        if (HasSubItems(item)) {
            MirrorSubMenu(target->addMenu(item->text()), item->menu(), owner);
            continue;
        }
        QString text = item->text();
        if (!item->shortcut().isEmpty())
            text += QLatin1Char('\t') + item->shortcut().toString(QKeySequence::NativeText);
        QAction *shown = target->addAction(text);
        shown->setEnabled(item->isEnabled());
        shown->setCheckable(item->isCheckable());
        shown->setChecked(item->isChecked());
        PostOnChoice(shown, owner, CommandOf(item));
    }
}

} // namespace

TWindowMenu::TWindowMenu(TForm *owner) : owner_(owner), entries_(StandardEntries()) {}

TWindowMenu::~TWindowMenu()
{
    delete shown_;
}

void TWindowMenu::InsertAt(uint32_t position, TMenuEntry entry)
{
    const size_t at = std::min<size_t>(position, entries_.size());
    entries_.insert(entries_.begin() + ptrdiff_t(at), std::move(entry));
}

bool TWindowMenu::InsertBefore(uint16_t id, TMenuEntry entry)
{
    for (size_t i = 0; i < entries_.size(); ++i)
        if (!entries_[i].subMenu && !(entries_[i].type & MFT_SEPARATOR) && entries_[i].id == id) {
            entries_.insert(entries_.begin() + ptrdiff_t(i), std::move(entry));
            return true;
        }
    return false;
}

void TWindowMenu::Revert() { entries_ = StandardEntries(); }

void TWindowMenu::UpdateStandardStates()
{
    const Qt::WindowFlags flags = owner_->windowFlags();
    const bool minimized = owner_->isMinimized();
    const bool maximized = owner_->isMaximized();
    const bool framed = !(flags & Qt::FramelessWindowHint);
    const bool sizable = framed && owner_->minimumSize() != owner_->maximumSize();
    const bool canMaximize = framed && (flags & Qt::WindowMaximizeButtonHint) &&
                             !(flags & Qt::Tool) && sizable;
    const bool canMinimize = (flags & Qt::WindowMinimizeButtonHint) || !(flags & Qt::Tool);
    for (TMenuEntry &e : entries_) {
        if (e.subMenu || (e.type & MFT_SEPARATOR))
            continue;
        bool enabled = true;
        switch (e.id) {
        case SC_RESTORE: enabled = minimized || maximized; break;
        case SC_MOVE: enabled = !maximized; break;
        case SC_SIZE: enabled = sizable && !maximized && !minimized; break;
        case SC_MINIMIZE: enabled = canMinimize && !minimized; break;
        case SC_MAXIMIZE: enabled = canMaximize && !maximized; break;
        default: continue;
        }
        e.state = (e.state & ~MFS_GRAYED) | (enabled ? 0 : MFS_GRAYED);
    }
}

void TWindowMenu::Popup(const QPoint &globalPos)
{
    delete shown_;
    UpdateStandardStates();
    auto *menu = new QMenu(owner_);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setSeparatorsCollapsible(false);
    for (const TMenuEntry &e : entries_) {
        if (e.type & MFT_SEPARATOR) {
            menu->addSeparator();
            continue;
        }
        if (e.subMenu) {
            MirrorSubMenu(menu->addMenu(e.text), e.subMenu, owner_);
            continue;
        }
        QAction *action = menu->addAction(e.text);
        action->setEnabled(!(e.state & MFS_GRAYED));
        if (e.state & MFS_CHECKED) {
            action->setCheckable(true);
            action->setChecked(true);
            // A radio entry shows its mark as a dot.
            if (e.type & MFT_RADIOCHECK)
                (new QActionGroup(menu))->addAction(action);
        }
        if (e.state & MFS_DEFAULT) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
            menu->setDefaultAction(action);
        }
        // Column breaks (MFT_MENUBREAK, MFT_MENUBARBREAK) are kept in the
        // entry but have no look here: the toolkit's menus are one column.
        PostOnChoice(action, owner_, e.id);
    }
    shown_ = menu;
    menu->popup(globalPos);
}

TWindowMenu *GetSystemMenu(TForm *window, bool revert)
{
    if (!window)
        return nullptr;
    TWindowMenu *menu = window->WindowMenu();
    if (revert) {
        menu->Revert();
        return nullptr;
    }
    return menu;
}

uint32_t GetVersion()
{
    if (versionOverride)
        return versionOverride;
    // The toolkit's version: major in the low byte, minor in the next.
    return uint32_t(QT_VERSION_MAJOR) | (uint32_t(QT_VERSION_MINOR) << 8);
}

void SetVersionForTest(uint32_t version) { versionOverride = version; }

bool InsertMenuA(TWindowMenu *menu, uint32_t position, uint32_t flags, uintptr_t idOrSubMenu,
                 const char *text)
{
    constexpr uint32_t known = MF_GRAYED | MF_DISABLED | MF_CHECKED | MF_POPUP |
                               MF_MENUBARBREAK | MF_MENUBREAK | MF_BYPOSITION | MF_SEPARATOR;
    if (!menu || (flags & ~known))
        return false; // bitmaps and owner-drawn entries are not offered
    TMenuEntry e;
    e.type = flags & (MF_SEPARATOR | MF_MENUBREAK | MF_MENUBARBREAK);
    e.state = (flags & MF_CHECKED) | ((flags & (MF_GRAYED | MF_DISABLED)) ? MFS_GRAYED : 0);
    if (flags & MF_POPUP) {
        e.subMenu = reinterpret_cast<QMenu *>(idOrSubMenu);
        if (!e.subMenu)
            return false;
    } else {
        e.id = uint16_t(idOrSubMenu);
    }
    if (!(e.type & MF_SEPARATOR) && text)
        e.text = QString::fromLatin1(text);
    if (flags & MF_BYPOSITION) {
        menu->InsertAt(position, std::move(e));
        return true;
    }
    return menu->InsertBefore(uint16_t(position), std::move(e));
}

bool InsertMenuItemA(TWindowMenu *menu, uint32_t position, bool byPosition,
                     const MENUITEMINFOA *info)
{
    if (!menu || !info ||
        (info->cbSize != kMenuItemInfoSize && info->cbSize != kMenuItemInfoSizeWithoutBitmap))
        return false;
    TMenuEntry e;
    const uint32_t mask = info->fMask;
    if (mask & MIIM_TYPE) {
        e.type = info->fType & (MFT_SEPARATOR | MFT_MENUBREAK | MFT_MENUBARBREAK | MFT_RADIOCHECK);
        if (!(e.type & MFT_SEPARATOR) && info->dwTypeData)
            e.text = QString::fromLatin1(info->dwTypeData);
    }
    if (mask & MIIM_STATE)
        e.state = info->fState & (MFS_CHECKED | MFS_GRAYED | MFS_DEFAULT);
    if (mask & MIIM_ID)
        e.id = uint16_t(info->wID);
    if (mask & MIIM_SUBMENU)
        e.subMenu = info->hSubMenu;
    if (mask & MIIM_DATA)
        e.data = info->dwItemData;
    if (byPosition) {
        menu->InsertAt(position, std::move(e));
        return true;
    }
    return menu->InsertBefore(uint16_t(position), std::move(e));
}

QEvent::Type TMessageEvent::EventType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

void PostMessage(TForm *window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    TMsg msg;
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = uint32_t(clock.elapsed());
    msg.pt = QCursor::pos();
    QCoreApplication::postEvent(window, new TMessageEvent(msg));
}

} // namespace platform
