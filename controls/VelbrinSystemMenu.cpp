#include "controls/VelbrinSystemMenu.h"

#include "platform/Form.h"
#include "platform/Menus.h"
#include "platform/WindowMenu.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <stdexcept>

namespace {

// The toolkit's error for a checked conversion to the wrong class.
struct EInvalidCast : std::runtime_error {
    EInvalidCast() : std::runtime_error("Invalid class typecast") {}
};

} // namespace

TVelbrinSystemMenu::TVelbrinSystemMenu(QObject *owner) : QObject(owner) {}

TVelbrinSystemMenu::~TVelbrinSystemMenu()
{
    if (platform::Application)
        platform::Application->OnMessage = SavedHook;
}

void TVelbrinSystemMenu::SetPopupMenu(QMenu *value)
{
    if (value == PopupMenu_)
        return;
    PopupMenu_ = value;
    MergeMenu();
}

void TVelbrinSystemMenu::SetPosition(int32_t value)
{
    if (value == Position_)
        return;
    Position_ = value;
    MergeMenu();
}

void TVelbrinSystemMenu::Loaded()
{
    if (!platform::Application)
        return; // no program to hook into
    SavedHook = platform::Application->OnMessage;
    platform::Application->OnMessage = [this](QObject *receiver, QEvent *event) {
        bool handled = false;
        HookMessage(receiver, event, handled);
        return handled;
    };
}

void TVelbrinSystemMenu::MergeMenu()
{
    // A component without a form to own it has no window menu; neither has
    // one whose owner is of another kind.
    auto *form = dynamic_cast<platform::TForm *>(parent());
    if (!form)
        throw EInvalidCast();
    platform::TWindowMenu *menu = platform::GetSystemMenu(form, false);
    if (!PopupMenu_)
        return;
    const QList<QAction *> items = PopupMenu_->actions();
    for (int i = 0; i < items.size(); ++i)
        InsertEntry(items[i], menu, Position_ == -1 ? -1 : Position_ + i);
}

void TVelbrinSystemMenu::InsertEntry(QAction *item, platform::TWindowMenu *menu, int32_t position)
{
    using namespace platform;
    if (!item->isVisible())
        return;
    const bool popup = HasSubItems(item);
    QString text = CaptionOf(item);
    if (!popup && !item->shortcut().isEmpty() && !IsMenuBarItem(item))
        text += QLatin1Char('\t') + item->shortcut().toString(QKeySequence::NativeText);
    const QByteArray ansi = text.toLatin1();

    const uint32_t separator = CaptionOf(item) == QLatin1String("-") ? MFT_SEPARATOR : 0;
    uint32_t brk = 0;
    switch (BreakOf(item)) {
    case TMenuBreak::mbNone: break;
    case TMenuBreak::mbBreak: brk = MFT_MENUBREAK; break;
    case TMenuBreak::mbBarBreak: brk = MFT_MENUBARBREAK; break;
    }
    const uint32_t check = item->isChecked() ? MFS_CHECKED : 0;
    const uint32_t enable = item->isEnabled() ? 0 : MFS_DISABLED;
    const uint32_t radio = IsRadioItem(item) ? MFT_RADIOCHECK : 0;
    const uint32_t dflt = IsDefaultItem(item) ? MFS_DEFAULT : 0;
    QMenu *subMenu = popup ? item->menu() : nullptr;

    // The results of the inserts are not looked at: an entry that cannot be
    // inserted is left out, and the others still go in.
    if ((GetVersion() & 0xFF) < 4) {
        const uint32_t flags = separator | brk | check | enable | MF_BYPOSITION;
        if (popup)
            InsertMenuA(menu, uint32_t(position), flags | MF_POPUP,
                        reinterpret_cast<uintptr_t>(subMenu), ansi.constData());
        else
            InsertMenuA(menu, uint32_t(position), flags, CommandOf(item), ansi.constData());
        return;
    }
    MENUITEMINFOA info;
    info.cbSize = kMenuItemInfoSize;
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_TYPE | MIIM_DATA;
    info.fType = radio | brk | separator;
    info.fState = check | enable | dflt;
    info.wID = CommandOf(item);
    info.hSubMenu = subMenu;
    info.dwItemData = 0;
    info.dwTypeData = ansi.constData();
    InsertMenuItemA(menu, uint32_t(position), true, &info);
}

void TVelbrinSystemMenu::HookMessage(QObject *receiver, QEvent *event, bool &handled)
{
    if (SavedHook && SavedHook(receiver, event))
        handled = true;
    if (handled || event->type() != platform::TMessageEvent::EventType())
        return;
    const platform::TMsg &message = static_cast<platform::TMessageEvent *>(event)->Msg;
    if (message.message == platform::WM_SYSCOMMAND)
        handled = DispatchSysCommand(message);
}

bool TVelbrinSystemMenu::DispatchSysCommand(const platform::TMsg &message)
{
    if (!PopupMenu_)
        return false;
    return ClickByCommand(PopupMenu_, uint16_t(message.wParam & 0xFFFF));
}

bool TVelbrinSystemMenu::ClickByCommand(const QMenu *parent, uint16_t command)
{
    for (QAction *child : parent->actions()) {
        if (platform::CommandOf(child) == command) {
            platform::Click(child);
            return true;
        }
        if (child->menu() && ClickByCommand(child->menu(), command))
            return true;
    }
    return false;
}
