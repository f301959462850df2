#pragma once

#include "core/Account.h"

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
