#include "notifications/NotificationManager.h"

#include "core/Logger.h"

namespace plimsy {

NotificationManager &NotificationManager::shared()
{
    static auto *s_manager = new NotificationManager;
    return *s_manager;
}

void NotificationManager::postNotification(const QString &title,
                                           const QString &body,
                                           const std::optional<QString> &,
                                           const QVariantMap &,
                                           const std::optional<QString> &)
{
    log(QStringLiteral("[Notifications] Not shown, local notices are not available in this build: ") + title
        + QStringLiteral(" - ") + body);
}

void NotificationManager::removeExpiredNotifications() {}

void NotificationManager::removeAllDelivered() {}

} // namespace plimsy
