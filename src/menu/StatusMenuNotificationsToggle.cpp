// The "Notify on Deploy" item of a site: the checks on the GUI thread, the per-site guard, and what
// the user sees when a switch ends.
#include "account/DeviceService.h"
#include "account/ServiceContainer.h"
#include "core/ErrorDescription.h"
#include "core/Logger.h"
#include "core/RunDetached.h"
#include "menu/MenuRepresenter.h"
#include "menu/SiteNotificationsToggle.h"
#include "menu/StatusMenuController.h"
#include "notifications/WebhookStorage.h"

#include <QAction>

namespace plimsy {

namespace {

void print(const QString &line)
{
    printLine(QStringLiteral("[toggleSiteNotifications] ") + line);
}

} // namespace

void StatusMenuController::toggleSiteNotifications(QAction *sender)
{
    noteUserActivity();
    const auto representer = clickedRepresenter(sender);
    if (!representer) {
        print(QStringLiteral("ERROR: No representedObject"));
        return;
    }
    if (m_appState.loadingData) {
        print(QStringLiteral("ERROR: Still loading data"));
        return;
    }
    if (!representer->siteId) {
        print(QStringLiteral("ERROR: No siteId"));
        return;
    }
    const std::optional<Server> server = Server::find(representer->serverId, m_appState.serverList);
    if (!server) {
        print(QStringLiteral("ERROR: No server for serverId ") + QString::number(representer->serverId));
        return;
    }
    if (!server->organizationSlug) {
        print(QStringLiteral("ERROR: No organizationSlug for server ")
              + server->name.value_or(QStringLiteral("unknown")));
        return;
    }
    const qint64 siteId = *representer->siteId;
    if (!beginWebhookOperation(siteId)) {
        return;
    }
    const bool isEnabled = m_webhookStorage->registration(siteId).has_value();
    const std::optional<Site> site = Site::find(siteId, m_appState.siteList);

    SiteNotificationsToggle toggle;
    toggle.device = &deviceService();
    toggle.storage = m_webhookStorage;
    toggle.clock = m_clock;
    toggle.notices = m_notifications;
    toggle.forge = m_services.forge;
    toggle.account = representer->account ? *representer->account : Account{};
    toggle.serverId = representer->serverId;
    toggle.siteId = siteId;
    toggle.organizationSlug = *server->organizationSlug;
    toggle.siteName = site && site->name ? *site->name : QStringLiteral("site");
    print(QStringLiteral("isEnabled=%1, starting async task...")
              .arg(isEnabled ? QStringLiteral("true") : QStringLiteral("false")));
    runDetached(runNotificationsToggle(std::move(toggle), isEnabled, QPointer<QAction>(sender)));
}

QCoro::Task<>
StatusMenuController::runNotificationsToggle(SiteNotificationsToggle toggle, bool isEnabled, QPointer<QAction> sender)
{
    QPointer self(this);
    const Account account = toggle.account;
    const qint64 siteId = toggle.siteId;
    // A named task: g++ 12 destroys a by-value argument made inside a co_await expression twice.
    QCoro::Task<std::optional<QString>> road = isEnabled ? SiteNotificationsToggle::disable(std::move(toggle))
                                                         : SiteNotificationsToggle::enable(std::move(toggle));
    std::optional<QString> failure;
    try {
        failure = co_await std::move(road);
    } catch (const std::exception &error) {
        // The guard must be released whatever happened, or the site could never be toggled again.
        failure = errorDescription(error);
    }
    if (!self) {
        print(QStringLiteral("ERROR: self was deallocated"));
        co_return;
    }
    if (failure) {
        showErrorAlert(account,
                       isEnabled ? QStringLiteral("Could not disable notifications")
                                 : QStringLiteral("Could not enable notifications"),
                       failure);
    } else if (sender) {
        MenuItems::setState(sender, isEnabled ? MenuItemState::Off : MenuItemState::On);
    }
    showStoredSiteState(siteId);
    m_webhookOperationsInProgress.remove(siteId);
}

bool StatusMenuController::beginWebhookOperation(qint64 siteId)
{
    if (m_webhookOperationsInProgress.contains(siteId)) {
        return false;
    }
    m_webhookOperationsInProgress.insert(siteId);
    return true;
}

DeviceService &StatusMenuController::deviceService() const
{
    return m_services.deviceService ? *m_services.deviceService : ServiceContainer::shared().deviceService();
}

} // namespace plimsy
