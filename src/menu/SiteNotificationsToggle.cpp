#include "menu/SiteNotificationsToggle.h"

#include "account/DeviceService.h"
#include "core/ErrorDescription.h"
#include "core/Logger.h"
#include "notifications/NotificationManager.h"
#include "notifications/WebhookStorage.h"
#include "platform/Clock.h"

#include <cstdio>

namespace plimsy {

namespace {

void postNotice(NotificationManager &notices, const QString &title, const QString &body)
{
    notices.postNotification(title, body, std::nullopt, {}, std::nullopt);
}

// None when the webhook is gone from Forge afterwards (deleted now, or already missing).
QCoro::Task<std::optional<QString>> deleteWebhook(ForgeAPIController forge, QString sitePath, qint64 webhookId)
{
    std::optional<QString> failure;
    try {
        QCoro::Task<> deletion =
            forge.requestVoid(sitePath + QStringLiteral("/webhooks/") + QString::number(webhookId), HTTPMethod::DELETE);
        co_await std::move(deletion);
    } catch (const ForgeAPIError &error) {
        if (error.errorCase() != ForgeAPIError::Case::NotFound) {
            failure = error.errorDescription();
        }
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    co_return failure;
}

// Deletes every webhook of the site with the address, also ones this application did not record,
// one after the other; the first failure is the one reported, after the others were tried.
QCoro::Task<std::optional<QString>> deleteWebhooksWithAddress(
    ForgeAPIController forge, qint64 serverId, qint64 siteId, QString organizationSlug, QString address)
{
    QList<Webhook> webhooks;
    std::optional<QString> failure;
    try {
        QCoro::Task<QList<Webhook>> listing = forge.fetchWebhooks(serverId, siteId, organizationSlug);
        webhooks = co_await std::move(listing);
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (failure) {
        co_return failure;
    }
    const QString sitePath = ForgeAPIController::sitePath(serverId, siteId, organizationSlug);
    for (const Webhook &webhook : std::as_const(webhooks)) {
        if (webhook.url.trimmed() != address) {
            continue;
        }
        QCoro::Task<std::optional<QString>> deleting = deleteWebhook(forge, sitePath, webhook.id);
        const std::optional<QString> deletion = co_await std::move(deleting);
        if (deletion && !failure) {
            failure = deletion;
        }
    }
    co_return failure;
}

// In one step on the GUI thread, with no suspension between reading and writing the list, so that
// another site's toggle can never write in between and have its change undone.
void forgetRegistrations(WebhookStorage &storage, qint64 siteId)
{
    QList<WebhookRegistration> registrations = storage.loadRegistrations();
    registrations.removeIf([siteId](const WebhookRegistration &entry) { return entry.siteId == siteId; });
    storage.persistRegistrations(registrations);
}

} // namespace

QCoro::Task<std::optional<QString>> SiteNotificationsToggle::enable(SiteNotificationsToggle toggle)
{
    const QString site = QString::number(toggle.siteId);
    printLine(QStringLiteral("[toggleSiteNotifications] Enabling notifications for site ") + site);
    printLine(QStringLiteral("[toggleSiteNotifications] Getting webhook URL from backend..."));
    Webhook webhook;
    std::optional<QString> failure;
    try {
        const QString address = co_await toggle.device->connectForge();
        // The personal address lets anyone push notices to this user: keep it off standard output.
        printLine(QStringLiteral("[toggleSiteNotifications] Got webhook URL: <HIDDEN>"));
        ForgeAPIController forge(toggle.account, toggle.forge);
        printLine(QStringLiteral("[toggleSiteNotifications] Creating webhook on Forge..."));
        QCoro::Task<Webhook> creating =
            forge.createWebhook(toggle.serverId, toggle.siteId, toggle.organizationSlug, address);
        webhook = co_await std::move(creating);
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (failure) {
        co_return failure;
    }
    printLine(QStringLiteral("[toggleSiteNotifications] Webhook created with ID: ") + QString::number(webhook.id));
    toggle.storage->save({toggle.siteId, toggle.serverId, webhook.id, toggle.clock->now()});
    printLine(QStringLiteral("[toggleSiteNotifications] Notifications enabled for site ") + site);
    postNotice(*toggle.notices,
               QStringLiteral("Notifications Enabled"),
               QStringLiteral("You'll be notified when ") + toggle.siteName + QStringLiteral(" deploys"));
    co_return std::nullopt;
}

QCoro::Task<std::optional<QString>> SiteNotificationsToggle::disable(SiteNotificationsToggle toggle)
{
    ForgeAPIController forge(toggle.account, toggle.forge);
    std::optional<QString> address;
    try {
        address = co_await toggle.device->connectForge();
    } catch (const std::exception &) {
        // Without the backend's address, the webhook recorded here is the one to remove.
        address.reset();
    }
    std::optional<QString> failure;
    if (address) {
        QCoro::Task<std::optional<QString>> deleting = deleteWebhooksWithAddress(
            forge, toggle.serverId, toggle.siteId, toggle.organizationSlug, address->trimmed());
        failure = co_await std::move(deleting);
    } else if (const auto stored = toggle.storage->registration(toggle.siteId)) {
        QCoro::Task<std::optional<QString>> deleting =
            deleteWebhook(forge,
                          ForgeAPIController::sitePath(toggle.serverId, toggle.siteId, toggle.organizationSlug),
                          stored->webhookId);
        failure = co_await std::move(deleting);
    }
    // A webhook left on Forge keeps sending deploys: the site stays switched on so that the user can
    // try again, instead of losing the only record of it.
    if (failure) {
        co_return failure;
    }
    forgetRegistrations(*toggle.storage, toggle.siteId);
    printLine(QStringLiteral("[toggleSiteNotifications] Notifications disabled for site ")
              + QString::number(toggle.siteId));
    postNotice(*toggle.notices,
               QStringLiteral("Notifications Disabled"),
               QStringLiteral("You won't receive deploy notifications for ") + toggle.siteName);
    co_return std::nullopt;
}

} // namespace plimsy
