#include "platform/Menus.h"

#include "platform/Application.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QVariant>
#include <QWidget>
#include <stdexcept>

namespace platform {

namespace {

constexpr const char *kCommand = "lumivaneCommand";
constexpr const char *kRadio = "lumivaneRadioItem";
constexpr const char *kBreak = "lumivaneBreak";

uint16_t nextCommand = 1;

} // namespace

QAction *AddMenuItem(QWidget *menu, const QString &caption, std::function<void()> handler)
{
    auto *item = new QAction(menu);
    if (caption == QLatin1String("-"))
        item->setSeparator(true);
    else
        item->setText(caption);
    CommandOf(item);
    menu->addAction(item);
    if (handler)
        QObject::connect(item, &QAction::triggered, item, [handler] { Guarded(handler); });
    return item;
}

uint16_t CommandOf(QAction *item)
{
    const QVariant held = item->property(kCommand);
    if (held.isValid())
        return uint16_t(held.toUInt());
    if (nextCommand >= 0xF000)
        throw std::runtime_error("Out of menu command ids");
    const uint16_t id = nextCommand++;
    item->setProperty(kCommand, uint(id));
    return id;
}

void SetCommandForTest(QAction *item, uint16_t id) { item->setProperty(kCommand, uint(id)); }

QString CaptionOf(const QAction *item)
{
    return item->isSeparator() ? QStringLiteral("-") : item->text();
}

bool IsRadioItem(const QAction *item) { return item->property(kRadio).toBool(); }

void SetRadioItem(QAction *item, bool on) { item->setProperty(kRadio, on); }

TMenuBreak BreakOf(const QAction *item)
{
    return TMenuBreak(item->property(kBreak).toInt());
}

void SetBreak(QAction *item, TMenuBreak value) { item->setProperty(kBreak, int(value)); }

bool IsDefaultItem(const QAction *item)
{
    for (QObject *o : item->associatedObjects())
        if (auto *menu = qobject_cast<QMenu *>(o); menu && menu->defaultAction() == item)
            return true;
    return false;
}

bool HasSubItems(const QAction *item) { return item->menu() && !item->menu()->actions().isEmpty(); }

bool IsMenuBarItem(const QAction *item)
{
    const QList<QObject *> in = item->associatedObjects();
    return !in.isEmpty() && qobject_cast<QMenuBar *>(in.front());
}

void Click(QAction *item) { item->trigger(); }

} // namespace platform
