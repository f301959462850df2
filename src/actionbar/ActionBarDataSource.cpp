#include "actionbar/ActionBarDataSource.h"

#include "core/AccountManager.h"
#include "core/LoadedRecords.h"
#include "core/Puny.h"
#include "notifications/WebhookStorage.h"
#include "platform/UserDefaults.h"

#include <QHash>

#include <algorithm>

namespace plimsy {

namespace {

using Type = ActionBarCommandType;

struct CommandRow
{
    Type type;
    const char *prefix;
    const char *title;
    const char *words;
};

// Server commands in list order; their conditions are in serverItems.
const CommandRow ServerRows[] = {
    {Type::rebootServer, "reboot-server-", "Reboot Server", " reboot restart server vps"},
    {Type::rebootPHP, "reboot-php-", "Reboot PHP", " reboot restart php"},
    {Type::rebootMySQL, "reboot-mysql-", "Reboot MySQL", " reboot restart mysql database db"},
    {Type::rebootNginx, "reboot-nginx-", "Reboot Nginx", " reboot restart nginx web server"},
    {Type::rebootPostgres, "reboot-postgres-", "Reboot Postgres", " reboot restart postgres postgresql database db"},
    {Type::openTerminal, "terminal-", "Open Terminal", " terminal ssh console"},
    {Type::copyIPAddress, "copy-ip-", "Copy IP Address", " copy ip address clipboard"},
    {Type::uploadSSHKey, "ssh-key-", "Upload SSH Key", " upload ssh key"},
    {Type::viewNginxAccessLogs, "nginx-access-", "View Nginx Access Logs", " view nginx access logs"},
    {Type::viewNginxErrorLogs, "nginx-error-", "View Nginx Error Logs", " view nginx error logs"},
    {Type::openForgeServer, "forge-server-", "Open in Forge", " open forge browser server"},
};

const CommandRow SiteRows[] = {
    {Type::deploySite, "deploy-", "Deploy Site", " deploy site push "},
    {Type::editEnv, "edit-env-", "Edit .env", " edit env environment variables "},
    {Type::editNginx, "edit-nginx-", "Edit Nginx Config", " edit nginx config configuration "},
    {Type::editDeploymentScript, "edit-deploy-", "Edit Deployment Script", " edit deployment script "},
    {Type::viewDeploymentLog, "deployment-log-", "View Deployment Log", " view deployment log "},
    {Type::viewSiteLog, "site-log-", "View Site Log", " view site log laravel "},
    {Type::visitSite, "visit-", "Visit Site", " visit open site browser url "},
    {Type::openForge, "forge-", "Open in Forge", " open forge browser "},
    {Type::openTerminalForSite, "terminal-site-", "Open Terminal", " terminal ssh console site "},
    {Type::rebootPhpForSite, "reboot-php-site-", "Reboot PHP", " reboot restart php site "},
    {Type::toggleSiteNotifications, "notify-", "Enable Notifications", " notify notification deploy webhook "},
};

struct GlobalRow
{
    Type type;
    const char *id;
    const char *title;
    const char *subtitle;
    const char *words;
};

const GlobalRow GlobalRows[] = {
    {Type::refresh,
     "global-refresh",
     "Refresh Servers",
     "Reload all server data",
     "refresh reload update servers data"},
    {Type::openPreferences,
     "global-preferences",
     "Open Preferences",
     "Plimsy settings",
     "preferences settings options configure"},
    {Type::about, "global-about", "About Plimsy", "Version, links and log files", "about version info logs help"},
    {Type::quit, "global-quit", "Quit Plimsy", "Close Plimsy and its tray icon", "quit exit close stop"},
};

const LoadedRecords *recordsOf(const ActionBarDataSource::Sources &sources)
{
    return sources.records ? sources.records : LoadedRecords::current();
}

UserDefaults &defaultsOf(const ActionBarDataSource::Sources &sources)
{
    return sources.defaults ? *sources.defaults : UserDefaults::standard();
}

const WebhookStorage &webhooksOf(const ActionBarDataSource::Sources &sources)
{
    return sources.webhooks ? *sources.webhooks : WebhookStorage::shared();
}

ActionBarItem makeItem(const CommandRow &row, qint64 id, const QString &subtitle, const QString &searchableText)
{
    ActionBarItem item;
    item.id = QLatin1String(row.prefix) + QString::number(id);
    item.type = row.type;
    item.title = QString::fromUtf8(row.title);
    item.subtitle = subtitle;
    item.searchableText = searchableText;
    return item;
}

// In site items a server without a name is just "Server".
QString serverNameInSiteItems(const Server &server)
{
    return server.name.value_or(QStringLiteral("Server"));
}

// The first stored account when the server names none, else the one with its UUID.
std::shared_ptr<const Account> accountOf(const Server &server, const QList<std::shared_ptr<const Account>> &accounts)
{
    if (!server.accountId) {
        return accounts.isEmpty() ? nullptr : accounts.first();
    }
    const auto found = std::find_if(
        accounts.begin(), accounts.end(), [&](const auto &account) { return account->uuid == server.accountId; });
    return found == accounts.end() ? nullptr : *found;
}

bool isHidden(const Server &server, const Account &account)
{
    return account.hiddenServers && account.hiddenServers->contains(server.id);
}

bool isPostgres(const Server &server)
{
    return server.databaseType && server.databaseType->startsWith(QLatin1String("postgres"));
}

// Walks the loaded servers as the palette sees them: each once (first occurrence), with its resolved account,
// hidden ones and those of unknown accounts left out, with those of its sites not seen before.
template <typename Visit>
void walkEntities(const LoadedRecords &records, const QList<std::shared_ptr<const Account>> &accounts, Visit visit)
{
    const QList<Server> servers = records.servers();
    const QList<Site> sites = records.sites();
    QHash<qint64, QList<const Site *>> sitesByServer;
    for (const Site &site : sites) {
        if (site.serverId) {
            sitesByServer[*site.serverId].append(&site);
        }
    }
    QSet<qint64> seenServers;
    QSet<qint64> seenSites;
    for (const Server &server : servers) {
        if (seenServers.contains(server.id)) {
            continue;
        }
        seenServers.insert(server.id);
        const auto account = accountOf(server, accounts);
        if (!account || isHidden(server, *account)) {
            continue;
        }
        QList<const Site *> ownSites;
        for (const Site *site : sitesByServer.value(server.id)) {
            if (!seenSites.contains(site->id)) {
                seenSites.insert(site->id);
                ownSites.append(site);
            }
        }
        visit(server, account, ownSites);
    }
}

QList<std::shared_ptr<const Account>> storedAccounts(UserDefaults &defaults)
{
    QList<std::shared_ptr<const Account>> accounts;
    for (const Account &account : AccountManager::loadAccounts(defaults)) {
        accounts.append(std::make_shared<const Account>(account));
    }
    return accounts;
}

} // namespace

QString ActionBarDataSource::siteDisplayName(const Site &site)
{
    if (!site.name) {
        return QStringLiteral("Site ") + QString::number(site.id);
    }
    return decodeIDNADomain(*site.name).value_or(*site.name);
}

QString ActionBarDataSource::serverEntityName(const Server &server)
{
    return server.name.value_or(QStringLiteral("Server ") + QString::number(server.id));
}

QList<ActionBarItem> ActionBarDataSource::globalItems()
{
    QList<ActionBarItem> items;
    for (const GlobalRow &row : GlobalRows) {
        ActionBarItem item;
        item.id = QLatin1String(row.id);
        item.type = row.type;
        item.title = QString::fromUtf8(row.title);
        item.subtitle = QString::fromUtf8(row.subtitle);
        item.searchableText = QString::fromUtf8(row.words);
        items.append(item);
    }
    return items;
}

QList<ActionBarItem> ActionBarDataSource::serverItems(const Server &server,
                                                      const std::shared_ptr<const Account> &account)
{
    const QString name = serverEntityName(server);
    const bool postgres = isPostgres(server);
    QList<ActionBarItem> items;
    for (const CommandRow &row : ServerRows) {
        switch (row.type) {
        case Type::rebootPHP:
            if (!server.phpVersion) {
                continue;
            }
            break;
        case Type::rebootMySQL:
            // A Postgres server also reports a database status; restarting MySQL there does nothing.
            if (postgres || (server.databaseType != QLatin1String("mysql") && !server.dbStatus)) {
                continue;
            }
            break;
        case Type::rebootPostgres:
            if (!postgres) {
                continue;
            }
            break;
        default:
            break;
        }
        QString subtitle = name;
        if (row.type == Type::copyIPAddress) {
            const bool usePrivate = server.usePrivateIp.value_or(false) && server.privateIpAddress;
            subtitle +=
                QStringLiteral(" - ") + (usePrivate ? *server.privateIpAddress : server.ipAddress.value_or(QString()));
        }
        ActionBarItem item = makeItem(row, server.id, subtitle, name + QLatin1String(row.words));
        item.entityName = name;
        item.account = account;
        item.serverId = server.id;
        items.append(std::move(item));
    }
    return items;
}

QList<ActionBarItem> ActionBarDataSource::siteItems(const Site &site,
                                                    const Server &server,
                                                    const std::shared_ptr<const Account> &account,
                                                    const QSet<QString> &duplicateNames,
                                                    const WebhookStorage &webhooks)
{
    const QString name = siteDisplayName(site);
    const QString serverName = serverNameInSiteItems(server);
    const QString subtitle = name + QStringLiteral(" on ") + serverName;
    const QString entityName =
        duplicateNames.contains(name) ? name + QStringLiteral(" (") + serverName + QLatin1Char(')') : name;
    QList<ActionBarItem> items;
    for (const CommandRow &row : SiteRows) {
        if (row.type == Type::rebootPhpForSite && !site.phpVersion) {
            continue;
        }
        ActionBarItem item = makeItem(row, site.id, subtitle, name + QLatin1String(row.words) + serverName);
        if (row.type == Type::toggleSiteNotifications && webhooks.registration(site.id)) {
            item.title = QStringLiteral("Disable Notifications");
        }
        item.entityName = entityName;
        item.account = account;
        item.serverId = server.id;
        item.siteId = site.id;
        items.append(std::move(item));
    }
    return items;
}

QSet<QString> ActionBarDataSource::duplicateSiteNames(const QList<Site> &sites)
{
    QHash<QString, QSet<qint64>> idsByName;
    for (const Site &site : sites) {
        idsByName[siteDisplayName(site)].insert(site.id);
    }
    QSet<QString> duplicates;
    for (auto it = idsByName.cbegin(); it != idsByName.cend(); ++it) {
        if (it.value().size() > 1) {
            duplicates.insert(it.key());
        }
    }
    return duplicates;
}

QList<ActionBarItem> ActionBarDataSource::allItems(const Sources &sources)
{
    const LoadedRecords *records = recordsOf(sources);
    QList<ActionBarItem> items;
    if (records && records->isLoadingData()) {
        ActionBarItem loading;
        loading.id = QStringLiteral("loading");
        loading.type = Type::refresh;
        loading.title = QStringLiteral("Loading...");
        loading.subtitle = QStringLiteral("Server data is being loaded");
        loading.searchableText = QStringLiteral("loading");
        items.append(std::move(loading));
    } else {
        items = globalItems();
        const auto accounts = storedAccounts(defaultsOf(sources));
        if (records && !accounts.isEmpty()) {
            const QSet<QString> duplicates = duplicateSiteNames(records->sites());
            const WebhookStorage &webhooks = webhooksOf(sources);
            walkEntities(*records, accounts, [&](const Server &server, const auto &account, const auto &ownSites) {
                items.append(serverItems(server, account));
                for (const Site *site : ownSites) {
                    items.append(siteItems(*site, server, account, duplicates, webhooks));
                }
            });
        }
    }
    for (ActionBarItem &item : items) {
        item.prepareForSearch();
    }
    return items;
}

QList<MatchedEntity> ActionBarDataSource::matchingEntities(const QString &query, const Sources &sources)
{
    const LoadedRecords *records = recordsOf(sources);
    if (!records || records->isLoadingData()) {
        return {};
    }
    const auto accounts = storedAccounts(defaultsOf(sources));
    if (accounts.isEmpty()) {
        return {};
    }
    QString q = query.toLower();
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!q.isEmpty() && isBlank(q.front())) {
        q.remove(0, 1);
    }
    while (!q.isEmpty() && isBlank(q.back())) {
        q.chop(1);
    }
    if (q.isEmpty()) {
        return {};
    }
    QList<MatchedEntity> entities;
    walkEntities(*records, accounts, [&](const Server &server, const auto &, const auto &ownSites) {
        for (const Site *site : ownSites) {
            const QString name = siteDisplayName(*site);
            if (const auto score = entityMatchScore(q, name.toLower())) {
                entities.append({server.id, site->id, name, *score + 10});
            }
        }
        const QString name = serverEntityName(server);
        if (const auto score = entityMatchScore(q, name.toLower())) {
            entities.append({server.id, std::nullopt, name, *score});
        }
    });
    entities.removeIf([](const MatchedEntity &entity) { return entity.score < 30; });
    std::stable_sort(entities.begin(), entities.end(), [](const MatchedEntity &a, const MatchedEntity &b) {
        return a.score > b.score;
    });
    return entities;
}

std::optional<int> ActionBarDataSource::entityMatchScore(const QString &query, const QString &name)
{
    const SearchText q(query);
    const SearchText text(name);
    const int length = int(q.characterCount());
    if (text.text() == q.text()) {
        return 200;
    }
    if (text.hasPrefixAt(q, 0)) {
        return 100 + 5 * length;
    }
    if (text.find(q)) {
        return 50 + 3 * length;
    }
    int score = 0;
    int consecutive = 0;
    qsizetype next = 0;
    for (qsizetype i = 0; i < text.characterCount(); ++i) {
        if (text.character(i) == q.character(next)) {
            consecutive += 1;
            score += 1 + 2 * consecutive;
            if (++next == q.characterCount()) {
                return score;
            }
        } else {
            consecutive = 0;
        }
    }
    return std::nullopt;
}

} // namespace plimsy
