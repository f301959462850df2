#include "menu/MenuAction.h"

#include "core/Logger.h"
#include "menu/StatusMenuController.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

#include <exception>

namespace plimsy::MenuActions {

void connect(QAction *item, StatusMenuController *target, MenuAction action)
{
    // Queued: an action may rebuild the menu, and must not delete the item while the menu is still
    // handling the click on it.
    const QPointer<QAction> guard(item);
    QObject::connect(
        item,
        &QAction::triggered,
        target,
        [target, guard, action] {
            if (!guard) {
                return;
            }
            try {
                (target->*action)(guard);
            } catch (const std::exception &error) {
                log(QStringLiteral("[StatusMenu] Menu action failed: ") + QString::fromUtf8(error.what()));
            }
        },
        Qt::QueuedConnection);
}

QAction *make(QMenu *menu,
              const QString &title,
              StatusMenuController *target,
              MenuAction action,
              const QVariant &representedObject)
{
    QAction *item = MenuItems::makeItem(menu, title);
    if (representedObject.isValid()) {
        MenuItems::setRepresentedObject(item, representedObject);
    }
    connect(item, target, action);
    return item;
}

QAction *add(QMenu *menu,
             const QString &title,
             StatusMenuController *target,
             MenuAction action,
             const QVariant &representedObject)
{
    QAction *item = make(menu, title, target, action, representedObject);
    menu->addAction(item);
    return item;
}

void addSeparator(QMenu *menu)
{
    menu->addAction(MenuItems::makeSeparator(menu));
}

} // namespace plimsy::MenuActions
