#include "menu/LoadServers.h"

#include "core/Logger.h"
#include "core/Puny.h"
#include "core/RunDetached.h"
#include "forge/ForgeAPIController.h"
#include "forge/ForgeAPIError.h"
#include "menu/MainMenu.h"
#include "menu/MenuLog.h"
#include "menu/ServerMenu.h"
#include "menu/SiteMenu.h"
#include "menu/StatusMenuController.h"
#include "platform/NetworkError.h"
#include "platform/TemplateImage.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QDataStream>
#include <QHash>
#include <QJsonDocument>
#include <QMenu>
#include <QSet>

#include <algorithm>
#include <exception>

namespace plimsy {

namespace {

QString nameOr(const std::optional<QString> &name, const QString &fallback)
{
    return name.value_or(fallback);
}

QString idText(qint64 id)
{
    return QString::number(id);
}

bool listHolds(const std::optional<QList<qint64>> &list, qint64 id)
{
    return list && list->contains(id);
}

// The error as diagnostic lines print it: a Forge error by its case, anything else by its text.
QString plainDescription(const std::exception &error)
{
    if (const auto *forge = dynamic_cast<const ForgeAPIError *>(&error)) {
        return forge->caseName();
    }
    return QString::fromUtf8(error.what());
}

// Everything a server's item and its submenus show: an item of the last refresh with the same key can
// stay as it is.
QByteArray contentKey(const QAction &item, bool monitoring, const Account &account, const QList<Site> &sites)
{
    QByteArray key;
    QDataStream out(&key, QIODevice::WriteOnly);
    out << item.text() << item.isVisible() << monitoring
        << QJsonDocument(account.toJson()).toJson(QJsonDocument::Compact);
    for (const Site &site : sites) {
        out << site.id << ServerMenu::siteTitle(site) << SiteMenu::deployTitle(&site);
    }
    return key;
}

template <typename T> void stableSortByName(QList<T> &items, const std::function<QString(const T &)> &nameOf)
{
    // Each name is worked out once; the sort then compares the ready keys.
    QList<std::pair<QString, T>> keyed;
    keyed.reserve(items.size());
    for (T &item : items) {
        keyed.append({nameOf(item), std::move(item)});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    items.clear();
    for (auto &entry : keyed) {
        items.append(std::move(entry.second));
    }
}

} // namespace

LoadServers::LoadServers(StatusMenuController *delegate, QMenu *parentMenu, std::optional<int> targetPosition)
    : m_delegate(delegate)
    , m_parentMenu(parentMenu)
    , m_targetPosition(targetPosition)
    , m_generation(delegate ? delegate->refreshGeneration() : 0)
{
}

LoadServers::~LoadServers()
{
    // A load that was superseded or failed leaves its items unplaced.
    for (const QPointer<QAction> &item : std::as_const(m_serverItems)) {
        if (item && m_parentMenu) {
            MenuItems::removeItem(m_parentMenu, item);
        }
    }
}

void LoadServers::start(const Account &account)
{
    if (m_delegate) {
        verboseLog(m_delegate->defaults(),
                   QStringLiteral("[LoadServers] === Starting for account: ") + nameOr(account.name, "unknown")
                       + QStringLiteral(" ==="));
    }
    ForgeAPIController::Services services;
    if (m_delegate) {
        services = m_delegate->forgeServices();
        services.timeOutBudget = m_delegate->refreshTimeOut();
    }
    auto forge = std::make_shared<ForgeAPIController>(account, std::move(services));
    runDetached(load(shared_from_this(), std::move(forge), std::make_shared<const Account>(account)));
}

bool LoadServers::checkCompletion() const
{
    if (m_expectedServerCount >= 1 && m_processedServerCount >= m_expectedServerCount) {
        if (m_delegate) {
            verboseLog(
                m_delegate->defaults(),
                QStringLiteral("Account servers loaded: %1/%2").arg(m_processedServerCount).arg(m_expectedServerCount));
        }
        return true;
    }
    return false;
}

QList<Site> LoadServers::applyAccountSettings(QList<Site> sites, const Account &account)
{
    stableSortByName<Site>(sites, [](const Site &site) {
        return site.name ? decodeIDNADomain(*site.name).value_or(QString()) : QString();
    });
    for (Site &site : sites) {
        site.accountId = account.uuid;
        site.disableMonitoring = listHolds(account.ignoredMonitoringSites, site.id);
        site.URLAlias = account.aliasSiteToURL ? account.aliasSiteToURL->value(site.id) : QString();
    }
    return sites;
}

StatusMenuController *LoadServers::currentDelegate() const
{
    if (!m_delegate || m_delegate->refreshGeneration() != m_generation) {
        return nullptr;
    }
    return m_delegate;
}

void LoadServers::reportCompletion(const Account &account, const QString &line)
{
    StatusMenuController *delegate = currentDelegate();
    if (m_hasNotifiedCompletion || !delegate) {
        return;
    }
    m_hasNotifiedCompletion = true;
    placeServerItems();
    verboseLog(delegate->defaults(), line);
    delegate->didFinishLoading(account);
}

QAction *LoadServers::addServerItem(const QString &title, qint64 id, bool isHidden, bool monitoring, QMenu *submenu)
{
    QAction *item = MenuItems::makeItem(m_parentMenu, MenuItems::literalTitle(title), MenuTag::server(id));
    item->setVisible(!isHidden);
    if (monitoring) {
        MenuItems::setStateImage(item, MenuItemState::On, TemplateImage::named(QStringLiteral("OnState")));
    }
    item->setMenu(submenu);
    m_serverItems.append(item);
    return item;
}

void LoadServers::placeServerItems()
{
    if (!m_parentMenu) {
        return;
    }
    QList<QAction *> fresh;
    for (const QPointer<QAction> &item : std::as_const(m_serverItems)) {
        if (item) {
            fresh.append(item);
        }
    }
    m_serverItems.clear();
    // With one account its servers stand in the status menu itself, among other items; with several,
    // the account's submenu holds nothing else.
    QList<QAction *> current;
    const QList<QAction *> items = m_parentMenu->actions();
    for (QAction *item : items) {
        if (!m_targetPosition || MenuItems::tag(item).kind == MenuTagKind::Server) {
            current.append(item);
        }
    }
    const int start = m_targetPosition ? MainMenu::serverAreaStart(m_parentMenu, *m_targetPosition) : -1;
    MenuItems::replaceItems(m_parentMenu, current, fresh, start);
    // A kept site menu that was opened shows what was stored when it was: what is stored now.
    if (StatusMenuController *delegate = currentDelegate()) {
        SiteMenu::showStoredState(m_parentMenu, std::nullopt, SiteMenuContext::load(*delegate));
    }
}

void LoadServers::placeAfterFailure(const QString &why)
{
    placeServerItems();
    if (m_parentMenu && !m_targetPosition) {
        MainMenu::showWhenEmpty(m_parentMenu, why);
    }
}

QCoro::Task<> LoadServers::load(std::shared_ptr<LoadServers> self,
                                std::shared_ptr<ForgeAPIController> forge,
                                std::shared_ptr<const Account> account)
{
    const QString accountName = nameOr(account->name, "unknown");
    QList<Server> listed;
    try {
        listed = co_await forge->fetchAllServers();
    } catch (const ForgeAPIError &error) {
        log(QStringLiteral("[LoadServers] ❌ ForgeAPIError: ") + error.errorDescription());
        if (StatusMenuController *delegate = self->currentDelegate()) {
            self->placeAfterFailure(error.errorDescription());
            delegate->handleAPIError(*account, error);
        }
        co_return;
    } catch (const NetworkError &error) {
        // No connection, a time-out, a lost connection: the connection class, which is retried.
        log(QStringLiteral("[LoadServers] ❌ Unexpected error: ") + QString::fromUtf8(error.what()));
        if (StatusMenuController *delegate = self->currentDelegate()) {
            self->placeAfterFailure(QStringLiteral("No Connection"));
            delegate->handleAPIError(*account, ForgeAPIError::unknownError(0));
        }
        co_return;
    } catch (const std::exception &error) {
        // An answer that does not decode is no connection problem: it must not look like an empty menu.
        log(QStringLiteral("[LoadServers] ❌ Unexpected error: ") + QString::fromUtf8(error.what()));
        if (StatusMenuController *delegate = self->currentDelegate()) {
            self->placeAfterFailure(QStringLiteral("An error occured (unknown)"));
            delegate->handleLoadFailure(*account, QString::fromUtf8(error.what()));
        }
        co_return;
    }

    StatusMenuController *delegate = self->currentDelegate();
    if (!delegate) {
        co_return;
    }
    const UserDefaults &defaults = delegate->defaults();
    verboseLog(defaults, QStringLiteral("[LoadServers] Fetched %1 servers (unfiltered)").arg(listed.size()));
    QList<Server> servers;
    for (Server &server : listed) {
        if (!server.revoked) {
            servers.append(std::move(server));
        }
    }
    if (const qsizetype revoked = listed.size() - servers.size(); revoked > 0) {
        verboseLog(defaults, QStringLiteral("[LoadServers] Filtered out %1 revoked servers").arg(revoked));
    }
    stableSortByName<Server>(servers, [](const Server &server) { return server.name.value_or(QString()); });
    QStringList described;
    for (const Server &server : servers) {
        described << nameOr(server.name, "?") + QStringLiteral("(id=") + idText(server.id) + QLatin1Char(')');
    }
    verboseLog(defaults,
               QStringLiteral("[LoadServers] Account '%1' has %2 active servers: %3")
                   .arg(accountName)
                   .arg(servers.size())
                   .arg(described.join(QStringLiteral(", "))));

    self->m_expectedServerCount = servers.size();
    AppState &state = delegate->appState();
    state.loadedServers = state.loadedServers.value_or(0) + servers.size();
    if (servers.isEmpty()) {
        self->reportCompletion(*account,
                               QStringLiteral("🚀 Account '") + accountName
                                   + QStringLiteral("' has no servers - marking as loaded"));
        co_return;
    }

    QStringList slugs;
    for (const Server &server : servers) {
        if (server.organizationSlug && !slugs.contains(*server.organizationSlug)) {
            slugs.append(*server.organizationSlug);
        }
    }
    QHash<qint64, QList<Site>> sitesByServer;
    QSet<QString> loadedOrganizations;
    for (const QString &slug : slugs) {
        try {
            QList<Site> sites = co_await forge->fetchOrganizationSites(slug);
            for (Site &site : sites) {
                if (site.serverId) {
                    sitesByServer[*site.serverId].append(std::move(site));
                }
            }
            loadedOrganizations.insert(slug);
        } catch (const std::exception &error) {
            log(QStringLiteral("[LoadServers] ❌ Failed to load sites for org '") + slug
                + QStringLiteral("', falling back to per-server requests: ") + plainDescription(error));
        }
        if (!self->currentDelegate()) {
            co_return;
        }
    }

    // A server's sites leave the map with its last listing, so they are not held twice until the end.
    QHash<qint64, qsizetype> lastListing;
    for (qsizetype i = 0; i < servers.size(); ++i) {
        lastListing.insert(servers.at(i).id, i);
    }
    for (qsizetype i = 0; i < servers.size(); ++i) {
        delegate = self->currentDelegate();
        if (!delegate || !self->m_parentMenu) {
            co_return;
        }
        Server server = servers.at(i);
        const QString serverName = nameOr(server.name, "unknown");
        server.accountId = account->uuid;
        server.isHidden = listHolds(account->hiddenServers, server.id);
        server.usePrivateIp = listHolds(account->useInternalIpForServers, server.id);
        verboseLog(
            defaults,
            QStringLiteral("At server %1 (id=%2) for account %3").arg(serverName, idText(server.id), accountName));
        delegate->appState().serverList.append(server);

        QPointer<QMenu> submenu = new QMenu(self->m_parentMenu);
        const QString title = nameOr(server.name, "Unknown Server");
        if (*server.isHidden) {
            log(QStringLiteral("[LoadServers] ⚠️ Server '%1' (id=%2) is HIDDEN").arg(title, idText(server.id)));
        } else {
            verboseLog(defaults,
                       QStringLiteral("[LoadServers] ✓ Adding '%1' (id=%2) to menu").arg(title, idText(server.id)));
        }
        const bool monitoring = defaults.boolValue(QStringLiteral("monitorSites"));
        QPointer<QAction> item = self->addServerItem(title, server.id, *server.isHidden, monitoring, submenu);

        std::optional<QList<Site>> sites;
        if (!server.organizationSlug) {
            log(QStringLiteral("❌ Failed to load sites for server '%1' (id=%2): missingOrganization")
                    .arg(serverName, idText(server.id)));
        } else if (loadedOrganizations.contains(*server.organizationSlug)) {
            sites = lastListing.value(server.id) == i ? sitesByServer.take(server.id) : sitesByServer.value(server.id);
        } else {
            try {
                sites = co_await forge->fetchSites(server.id, *server.organizationSlug);
            } catch (const std::exception &error) {
                log(QStringLiteral("❌ Failed to load sites for server '%1' (id=%2): ")
                        .arg(serverName, idText(server.id))
                    + plainDescription(error));
            }
            delegate = self->currentDelegate();
            if (!delegate || !submenu || !item) {
                co_return;
            }
        }
        QList<Site> shown;
        if (sites) {
            verboseLog(defaults,
                       QStringLiteral("📦 Loaded %1 sites for server '%2' (id=%3)")
                           .arg(QString::number(sites->size()), serverName, idText(server.id)));
            shown = applyAccountSettings(std::move(*sites), *account);
        }
        MenuItems::setContentKey(item, contentKey(*item, monitoring, *account, shown));
        ServerMenu serverMenu(server.id, delegate, account, submenu);
        if (delegate->buildsSiteMenusEagerly()) {
            serverMenu.build();
        } else {
            serverMenu.buildOnOpen();
        }
        serverMenu.addSiteItems(std::move(shown), server.id);
        self->m_processedServerCount += 1;

        verboseLog(defaults,
                   QStringLiteral("   → appDelegate.sites now has %1 total sites (account %2: %3/%4 servers)")
                       .arg(QString::number(delegate->appState().siteList.size()),
                            accountName,
                            QString::number(self->m_processedServerCount),
                            QString::number(self->m_expectedServerCount)));
        if (!self->m_hasNotifiedCompletion && self->checkCompletion()) {
            self->reportCompletion(*account,
                                   QStringLiteral("🚀 Account '%1' finished loading all %2 servers")
                                       .arg(accountName, QString::number(self->m_expectedServerCount)));
        }
    }
}

} // namespace plimsy
