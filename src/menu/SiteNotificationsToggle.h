#pragma once

#include "core/Account.h"
#include "forge/ForgeAPIController.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace plimsy {

class Clock;
class DeviceService;
class NotificationManager;
class WebhookStorage;

// One switch of a site's deploy notifications: a Forge webhook on the site, pointing at the account
// backend's address for this user, and its registration in WebhookStorage. Both roads run on the GUI
// thread and hold copies of what they need, so they may outlive the menu that started them; the
// services pointed to must outlive the road.
struct SiteNotificationsToggle
{
    DeviceService *device = nullptr;
    WebhookStorage *storage = nullptr;
    const Clock *clock = nullptr;
    NotificationManager *notices = nullptr;
    ForgeAPIController::Services forge;
    Account account;
    qint64 serverId = 0;
    qint64 siteId = 0;
    QString organizationSlug;
    QString siteName; // for the notices

    // Each gives none when the switch took effect (the registration saved or forgotten, the notice
    // posted), or the description of the failure, in which case the registration is left as it was.
    static QCoro::Task<std::optional<QString>> enable(SiteNotificationsToggle toggle);
    static QCoro::Task<std::optional<QString>> disable(SiteNotificationsToggle toggle);
};

} // namespace plimsy
