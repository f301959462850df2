#pragma once

#include "core/Account.h"
#include "platform/MenuItems.h"

#include <QMetaType>

#include <memory>
#include <optional>

namespace plimsy {

// What a server or site item acts on; the actions read it back from the clicked item.
struct MenuRepresenter
{
    qint64 serverId = 0;
    std::optional<qint64> siteId; // absent on server items
    std::shared_ptr<const Account> account;
};

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::MenuRepresenter)

namespace plimsy {

// The clicked item's payload; none without an item or when it carries something else.
inline std::optional<MenuRepresenter> clickedRepresenter(const QAction *sender)
{
    return sender ? MenuItems::representedObject<MenuRepresenter>(sender) : std::nullopt;
}

} // namespace plimsy
