#include "platform/Menus.h"

#include "platform/Application.h"

#include <QAction>
#include <QWidget>

namespace platform {

QAction *AddMenuItem(QWidget *menu, const QString &caption, std::function<void()> handler)
{
    auto *item = new QAction(menu);
    if (caption == QLatin1String("-"))
        item->setSeparator(true);
    else
        item->setText(caption);
    menu->addAction(item);
    if (handler)
        QObject::connect(item, &QAction::triggered, item, [handler] { Guarded(handler); });
    return item;
}

} // namespace platform
