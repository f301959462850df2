// The status menu controller's clocks and watchers: auto-refresh, the site checks and what they show on
// the menu, and the network's comings and goings.
#include "menu/StatusMenuController.h"

#include "core/Logger.h"
#include "core/Reachability.h"
#include "core/RunDetached.h"
#include "menu/MainMenu.h"
#include "menu/MenuBarIconManager.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/Clock.h"
#include "platform/MenuItems.h"
#include "platform/TemplateImage.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTimer>

#include <cstdio>

namespace plimsy {

namespace {

// A well-known, highly available public host.
const QString ReachabilityHost = QStringLiteral("www.google.com");

const QList<qint64> AutoRefreshIntervals{5, 10, 15, 30, 60};

} // namespace

void StatusMenuController::scheduleAutoRefreshTimer()
{
    qint64 minutes = m_defaults->integer(QStringLiteral("autoRefreshInterval"));
    if (!AutoRefreshIntervals.contains(minutes)) {
        minutes = 10;
    }
    const std::chrono::seconds interval{minutes * 60};
    runDetached(runTimer(&StatusMenuController::m_autoRefreshGeneration,
                         ++m_autoRefreshGeneration,
                         interval,
                         true,
                         &StatusMenuController::autoRefreshIfIdle));
    verbose(QStringLiteral("[AutoRefresh] Timer scheduled every %1s").arg(interval.count()));
}

void StatusMenuController::autoRefreshIfIdle()
{
    const QDateTime now = m_clock->now();
    const qint64 idle = m_lastUserActivity.secsTo(now);
    // A host that never reports the menu closing must not stop auto-refresh for good.
    const bool menuOpen =
        m_isMenuOpen && m_menuOpenedAt.secsTo(now) <= qint64(std::chrono::seconds(MenuOpenLimit).count());
    if (!menuOpen && idle >= AutoRefreshIdleThreshold) {
        verbose(QStringLiteral("[AutoRefresh] Refreshing after %1s idle").arg(idle));
        updateServers();
        return;
    }
    verbose(QStringLiteral("[AutoRefresh] Skipped - menu open: %1, idle time: %2s")
                .arg(menuOpen ? QStringLiteral("true") : QStringLiteral("false"))
                .arg(idle));
}

void StatusMenuController::initMonitoringIfNeeded()
{
    const quint64 generation = ++m_monitorGeneration;
    const qint64 minutes =
        SiteMonitorManager::validatedMonitorInterval(m_defaults->integer(QStringLiteral("monitorSitesInterval")),
                                                     SiteMonitorManager::monitorIntervals(),
                                                     SiteMonitorManager::FallbackMonitorInterval,
                                                     *m_defaults);
    if (!m_defaults->boolValue(QStringLiteral("monitorSites"))) {
        return;
    }
    runDetached(runTimer(&StatusMenuController::m_monitorGeneration,
                         generation,
                         MonitorKickoffDelay,
                         false,
                         &StatusMenuController::monitorSites));
    runDetached(runTimer(&StatusMenuController::m_monitorGeneration,
                         generation,
                         std::chrono::seconds{minutes * 60},
                         true,
                         &StatusMenuController::monitorSites));
}

void StatusMenuController::monitorSites()
{
    if (!m_defaults->boolValue(QStringLiteral("monitorSites"))) {
        ++m_monitorGeneration;
        return;
    }
    if (!m_hasNetwork || m_appState.loadingData || m_accountsLoaded < m_accountsToLoad) {
        return;
    }
    if (!m_siteMonitorManager) {
        SiteMonitorManager::Services checks;
        checks.records = &m_appState;
        checks.defaults = m_defaults;
        checks.clock = m_clock;
        checks.sleeper = m_sleeper;
        checks.store = m_monitoringStore;
        checks.curlPath = m_services.curlPath;
        m_siteMonitorManager = std::make_unique<SiteMonitorManager>(this, checks);
    }
    m_siteMonitorManager->checkAllSites();
}

void StatusMenuController::allSitesDidLoad()
{
    MainMenu(this, m_statusMenu.get()).updateSites();
    if (m_defaults->boolValue(QStringLiteral("monitorSites"))) {
        monitorSites();
    }
}

void StatusMenuController::siteMonitorDidFinish()
{
    // One pass over the menu tree instead of one search per site.
    const QHash<MenuTag, QAction *> items = MenuItems::indexTree(m_statusMenu.get());
    const QIcon offState = TemplateImage::named(QStringLiteral("OffState"));
    const QIcon mixedState = TemplateImage::named(QStringLiteral("MixStateServer"));

    for (const Site &site : std::as_const(m_appState.siteList)) {
        if (site.disableMonitoring.value_or(false)) {
            continue;
        }
        const MonitoringStatus status = m_monitoringStore->status(site.id);
        QAction *item = items.value(MenuTag::site(site.id));
        if (status.isUp() && item) {
            MenuItems::setState(item, MenuItemState::On);
        } else if (status.isDown()) {
            if (item) {
                MenuItems::setStateImage(item, MenuItemState::Off, offState);
                MenuItems::setState(item, MenuItemState::Off);
            }
            if (status.error && site.name) {
                Logger::shared().log(QStringLiteral("ERROR: %1: %2").arg(*site.name, *status.error),
                                     QStringLiteral("SiteMonitor"));
            }
        }
    }
    const QHash<qint64, QList<Site>> sitesOfServers = sitesByServer(m_appState.siteList);
    for (const Server &server : std::as_const(m_appState.serverList)) {
        QAction *item = items.value(MenuTag::server(server.id));
        if (!item) {
            continue;
        }
        switch (serverMonitoringState(server.id, sitesOfServers.value(server.id))) {
        case ServerMonitoringState::Unknown:
            break;
        case ServerMonitoringState::AllUp:
            MenuItems::setState(item, MenuItemState::On);
            break;
        case ServerMonitoringState::SomeDown:
            MenuItems::setStateImage(item, MenuItemState::Mixed, mixedState);
            MenuItems::setState(item, MenuItemState::Mixed);
            break;
        case ServerMonitoringState::AllDown:
            MenuItems::setStateImage(item, MenuItemState::Off, offState);
            MenuItems::setState(item, MenuItemState::Off);
            break;
        }
    }
}

void StatusMenuController::startReachability()
{
    m_reachability =
        m_services.makeReachability ? m_services.makeReachability() : Reachability::forHostName(ReachabilityHost);
    if (!m_reachability) {
        return;
    }
    QPointer self(this);
    m_reachability->setWhenReachable([self](Reachability &reachability) {
        if (!self) {
            return;
        }
        QPointer<Reachability> monitor(&reachability);
        QTimer::singleShot(0, self.data(), [self, monitor] {
            if (self) {
                self->networkBecameReachable(monitor);
            }
        });
    });
    m_reachability->setWhenUnreachable([self](Reachability &) {
        if (!self) {
            return;
        }
        QTimer::singleShot(0, self.data(), [self] {
            if (self) {
                self->networkBecameUnreachable();
            }
        });
    });
    try {
        m_reachability->startNotifier();
    } catch (const ReachabilityError &) {
        std::fputs("Unable to start notifier\n", stdout);
    }
}

void StatusMenuController::networkBecameReachable(Reachability *reachability)
{
    m_hasNetwork = true;
    if (reachability && reachability->isReachable()) {
        iconManager().hasError = false;
        iconManager().apply(iconManager().currentState());
    }
    const QDateTime now = m_clock->now();
    if (double(m_lastReachabilityUpdate.msecsTo(now)) / 1000.0 >= ReachabilityDebounceInterval) {
        m_lastReachabilityUpdate = now;
        updateServers();
    }
}

void StatusMenuController::networkBecameUnreachable()
{
    iconManager().hasError = true;
    iconManager().apply(iconManager().currentState());
    m_hasNetwork = false;
}

} // namespace plimsy
