#pragma once

#include "core/Account.h"
#include "menu/MenuRepresenter.h"
#include "platform/MenuItems.h"

#include <QAction>

#include <memory>
#include <optional>

namespace plimsy::test {

// A clicked item as the menus make it: a server's (no site id) or a site's, owned by `owner`.
inline QAction *representedItem(QObject *owner, qint64 serverId, std::optional<qint64> siteId, const Account &account)
{
    auto *action = new QAction(owner);
    MenuItems::setRepresentedObject(
        action, QVariant::fromValue(MenuRepresenter{serverId, siteId, std::make_shared<const Account>(account)}));
    return action;
}

} // namespace plimsy::test
