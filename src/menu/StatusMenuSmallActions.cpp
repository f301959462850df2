// Browser links, the favourite toggle and the site-check summaries.
#include "core/Logger.h"
#include "core/URLConstants.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/MenuRepresenter.h"
#include "menu/SiteMenu.h"
#include "menu/StatusMenuController.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/UrlOpener.h"

#include <QAction>

namespace plimsy {

namespace {

bool hasScheme(const QString &address)
{
    return address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://"));
}

// The site's own address: its alias, else its name, else (the "default" site) its server's address.
std::optional<QString> siteAddress(const Site &site, const QList<Server> &servers)
{
    if (site.URLAlias && !site.URLAlias->isEmpty()) {
        return hasScheme(*site.URLAlias) ? *site.URLAlias : QStringLiteral("http://") + *site.URLAlias;
    }
    if (!site.name) {
        return std::nullopt;
    }
    if (*site.name != QLatin1String("default")) {
        return QStringLiteral("http://") + *site.name;
    }
    const auto server = site.serverId ? Server::find(*site.serverId, servers) : std::nullopt;
    if (!server) {
        return std::nullopt;
    }
    const bool usePrivate = server->usePrivateIp.value_or(false) && server->privateIpAddress;
    const std::optional<QString> host = usePrivate ? server->privateIpAddress : server->ipAddress;
    return host ? std::optional<QString>(QStringLiteral("http://") + *host) : std::nullopt;
}

} // namespace

void StatusMenuController::visitSite(QAction *sender)
{
    const auto item = clickedRepresenter(sender);
    if (!item || m_appState.isLoadingData() || !item->siteId) {
        return;
    }
    const auto site = Site::find(*item->siteId, m_appState.siteList);
    if (!site) {
        return;
    }
    if (const auto address = siteAddress(*site, m_appState.serverList)) {
        openInBrowser(*address);
    }
}

void StatusMenuController::openForge(QAction *sender)
{
    const auto item = clickedRepresenter(sender);
    if (item && item->siteId) {
        openInBrowser(forgeSiteURL(item->serverId, *item->siteId));
    }
}

void StatusMenuController::openForgeServer(QAction *sender)
{
    // The web base already ends in "/servers/".
    if (const auto item = clickedRepresenter(sender)) {
        openInBrowser(URLConstants::forgeWebBase() + QString::number(item->serverId));
    }
}

void StatusMenuController::openInBrowser(const QString &address) const
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return;
    }
    UrlOpener &opener = m_services.urlOpener ? *m_services.urlOpener : UrlOpener::system();
    if (!opener.openUrl(url)) {
        log(QStringLiteral("[StatusMenu] No application opened ") + url.toString());
    }
}

void StatusMenuController::toggleFavoriteSite(QAction *sender)
{
    const auto item = clickedRepresenter(sender);
    if (!item || !item->siteId) {
        return;
    }
    const QString accountId = item->account ? item->account->uuid.value_or(QString()) : QString();
    FavoriteSitesStore(*m_defaults).toggle(accountId, item->serverId, *item->siteId);
    MenuItems::setState(sender, MenuItems::state(sender) == MenuItemState::On ? MenuItemState::Off : MenuItemState::On);
    showStoredSiteState(*item->siteId);
}

void StatusMenuController::showStoredSiteState(qint64 siteId)
{
    SiteMenu::showStoredState(m_statusMenu.get(), siteId, SiteMenuContext::load(*this));
}

QHash<qint64, QList<Site>> StatusMenuController::sitesByServer(const QList<Site> &sites)
{
    QHash<qint64, QList<Site>> grouped;
    for (const Site &site : sites) {
        grouped[site.serverId.value_or(-1)].append(site);
    }
    return grouped;
}

StatusMenuController::ServerMonitoringState StatusMenuController::serverMonitoringState(qint64 serverId,
                                                                                        const QList<Site> &sites) const
{
    qsizetype monitored = 0;
    qsizetype checked = 0;
    qsizetype down = 0;
    for (const Site &site : sites) {
        if (site.serverId != serverId || site.disableMonitoring.value_or(false)) {
            continue;
        }
        monitored += 1;
        const MonitoringStatus status = m_monitoringStore->status(site.id);
        checked += status.isUnchecked() ? 0 : 1;
        down += status.isDown() ? 1 : 0;
    }
    if (checked == 0) {
        return ServerMonitoringState::Unknown;
    }
    if (down == 0) {
        return ServerMonitoringState::AllUp;
    }
    return down < monitored ? ServerMonitoringState::SomeDown : ServerMonitoringState::AllDown;
}

} // namespace plimsy
