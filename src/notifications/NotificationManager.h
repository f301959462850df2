#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

namespace plimsy {

// Local notices. This build has no notice service yet: a notice is written to the log as not shown,
// so nothing pretends that the user saw it.
class NotificationManager
{
public:
    static NotificationManager &shared();

    // `identifier`: a new UUID when absent. With an action title the notice carries one action.
    void postNotification(const QString &title,
                          const QString &body,
                          const std::optional<QString> &identifier,
                          const QVariantMap &userInfo,
                          const std::optional<QString> &actionTitle);

    // Removes delivered notices older than "dismissNotificationsSeconds"; none is delivered yet.
    void removeExpiredNotifications();
    // Removes every delivered notice; none is delivered yet.
    void removeAllDelivered();

private:
    NotificationManager() = default;
};

} // namespace plimsy
