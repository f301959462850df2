#pragma once

#include "actionbar/ActionBarItem.h"
#include "core/Account.h"
#include "core/Server.h"
#include "core/Site.h"

#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace plimsy {

class LoadedRecords;
class UserDefaults;
class WebhookStorage;

// A server or site whose name begins the query, for scoping the list to its commands.
struct MatchedEntity
{
    qint64 serverId = 0;
    std::optional<qint64> siteId; // absent for a server
    QString name;
    int score = 0;

    bool operator==(const MatchedEntity &) const = default;
};

// Where the palette's commands come from; each member left empty takes the application's own.
struct ActionBarSources
{
    const LoadedRecords *records = nullptr;   // the loaded servers and sites
    UserDefaults *defaults = nullptr;         // the stored accounts
    const WebhookStorage *webhooks = nullptr; // the registrations behind "Disable Notifications"
};

// Builds the palette's commands from the last refresh's servers and sites and the stored accounts. Holds no
// state: every call reads its sources afresh. GUI thread.
class ActionBarDataSource
{
public:
    using Sources = ActionBarSources;

    static QList<ActionBarItem> allItems(const Sources &sources = {});
    static QList<ActionBarItem> globalItems();
    static QList<ActionBarItem> serverItems(const Server &server, const std::shared_ptr<const Account> &account);
    static QList<ActionBarItem> siteItems(const Site &site,
                                          const Server &server,
                                          const std::shared_ptr<const Account> &account,
                                          const QSet<QString> &duplicateNames,
                                          const WebhookStorage &webhooks);
    static QSet<QString> duplicateSiteNames(const QList<Site> &sites);

    // The loaded servers and sites whose names match one word, best first; none under an entity score of 30.
    static QList<MatchedEntity> matchingEntities(const QString &query, const Sources &sources = {});
    // Both texts already lowercased; none when the name does not match.
    static std::optional<int> entityMatchScore(const QString &query, const QString &name);

    static QString siteDisplayName(const Site &site);
    static QString serverEntityName(const Server &server);
};

} // namespace plimsy
