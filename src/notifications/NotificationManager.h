#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <optional>

namespace plimsy {

class Clock;
class LoadedRecords;
class UrlOpener;
class UserDefaults;
class UserNotificationCenter;

// The application's one gateway to the desktop's notices: posts them at once, with an optional button,
// keeps the identifiers it delivered, removes those older than the user's dismissal age, and answers a
// click: the API-key help page for the API-key notice, the Forge deployments page of the site a notice
// is about, else the newest site-monitor log. GUI thread. Every line it writes goes to standard output;
// failed deliveries also reach the log.
class NotificationManager : public QObject
{
    Q_OBJECT

public:
    // Every member left empty takes the process-wide default.
    struct Services
    {
        UserNotificationCenter *center = nullptr;
        UserDefaults *defaults = nullptr;
        const Clock *clock = nullptr;
        UrlOpener *urlOpener = nullptr;
        // The loaded servers and sites that a notice's site is looked up in.
        const LoadedRecords *records = nullptr;
        // The folder of the site-monitor logs; the default is the shared logger's.
        std::optional<QString> logDirectory;
    };

    // The payload value that marks the notice asking for a Forge API key.
    static constexpr char NeedAPIKeyNotice[] = "needAPIKeyNotice";

    // Created on first use, at launch by the application shell.
    static NotificationManager &shared();

    // Asks the desktop whether notices can be shown, and listens for clicks.
    explicit NotificationManager(QObject *parent = nullptr);
    explicit NotificationManager(Services services, QObject *parent = nullptr);

    // `identifier`: a new UUID when absent; a notice with the identifier of an earlier one replaces it.
    // Payload values are kept as text. Returns before the desktop has answered.
    void postNotification(const QString &title,
                          const QString &body,
                          const std::optional<QString> &identifier,
                          const QVariantMap &userInfo,
                          const std::optional<QString> &actionTitle);

    // Removes the delivered notices older than "dismissNotificationsSeconds" (nothing when that is 0).
    void removeExpiredNotifications();
    // Removes every notice this process delivered; at quit.
    void removeAllDelivered();

    // What a click does: `actionIdentifier` is the notice's own click or its button; anything else
    // (a dismissal) does nothing.
    void handleResponse(const QVariantMap &payload, const QString &actionIdentifier);
    // The Forge deployments page of the site and server a payload names.
    std::optional<QUrl> forgePageURL(const QVariantMap &payload) const;

    // How a click reaches the log window (the status menu installs it); called while `context` lives.
    void setLogWindowOpener(QObject *context, std::function<void(const QUrl &)> open);

    QSet<QString> deliveredNotificationIds() const { return m_deliveredNotificationIds; }
    bool isAuthorized() const { return m_isAuthorized; }

private:
    QCoro::Task<> requestAuthorization();
    QCoro::Task<>
    deliver(QString identifier, QString title, QString body, QVariantMap userInfo, std::optional<QString> actionTitle);
    void handleAction(const QString &action);
    void openNewestLog();

    Services m_services;
    UserNotificationCenter &m_center;
    UserDefaults &m_defaults;
    const Clock &m_clock;
    UrlOpener &m_urlOpener;
    QSet<QString> m_deliveredNotificationIds;
    bool m_isAuthorized = false;
    QPointer<QObject> m_logWindowContext;
    std::function<void(const QUrl &)> m_openLogWindow;

    Q_DISABLE_COPY_MOVE(NotificationManager)
};

} // namespace plimsy
