#pragma once

#include "core/Account.h"
#include "core/AccountManager.h"
#include "core/Server.h"
#include "core/Site.h"
#include "menu/AppState.h"
#include "notifications/WebhookStorage.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>

#include <optional>

namespace plimsy::test {

inline Server server(qint64 id, std::optional<QString> name, std::optional<QString> accountId = std::nullopt)
{
    Server s;
    s.id = id;
    s.name = std::move(name);
    s.accountId = std::move(accountId);
    return s;
}

inline Site site(qint64 id, std::optional<QString> name, std::optional<qint64> serverId)
{
    Site s;
    s.id = id;
    s.name = std::move(name);
    s.serverId = serverId;
    return s;
}

inline Account account(const QString &uuid, std::optional<QList<qint64>> hidden = std::nullopt)
{
    Account a;
    a.name = uuid;
    a.uuid = uuid;
    a.hiddenServers = std::move(hidden);
    return a;
}

// Loaded records, stored accounts and webhook registrations of one test, in a defaults file of its own.
struct ActionBarRecords
{
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    WebhookStorage webhooks{defaults};
    AppState state;

    void setAccounts(const QList<Account> &accounts) { AccountManager::saveAccounts(accounts, defaults); }
};

} // namespace plimsy::test
