#include "menu/MenuBarIconManager.h"

#include "menu/MenuResources.h"
#include "platform/StatusItem.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace plimsy {

MenuBarIconManager::MenuBarIconManager(StatusItem *statusItem)
    : m_statusItem(statusItem)
{
    ensureMenuResources();
}

MenuBarIconState MenuBarIconManager::currentState() const
{
    return hasError ? MenuBarIconState::Error : MenuBarIconState::Normal;
}

void MenuBarIconManager::apply(MenuBarIconState state)
{
    // The item carries the queued change, so a change for an item that is gone simply never runs.
    if (!m_statusItem) {
        return;
    }
    const QPointer<StatusItem> item = m_statusItem;
    QMetaObject::invokeMethod(
        m_statusItem.data(),
        [item, state] {
            if (item) {
                item->setImage(imageName(state));
            }
        },
        Qt::QueuedConnection);
}

QString MenuBarIconManager::imageName(MenuBarIconState state)
{
    return state == MenuBarIconState::Error ? QStringLiteral("menubar_error") : QStringLiteral("terminal_outlined");
}

} // namespace plimsy
