#pragma once

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace plimsy {

class Clock;

// A notice to show now.
struct NoticeRequest
{
    QString identifier;
    QString title;
    QString body;
    // Kept with the notice and handed back with a click; never sent to the desktop.
    QVariantMap userInfo;
    // The one button, when given.
    std::optional<QString> actionTitle;
};

// A notice this process delivered and that is still shown.
struct DeliveredNotice
{
    QString identifier;
    QDateTime date;
    QVariantMap userInfo;
};

// The desktop's notices (org.freedesktop.Notifications on the session bus): posts with a click action
// and an optional button, keeps its own table of what it delivered, removes notices and reports clicks
// on its own notices only (the server's signals are broadcast to every client). GUI thread; nothing
// here waits on the bus.
class UserNotificationCenter : public QObject
{
    Q_OBJECT

public:
    // The action of a click on the notice itself, and of its button.
    static constexpr char DefaultActionIdentifier[] = "default";
    static constexpr char ButtonActionIdentifier[] = "ACTION";
    static constexpr char DefaultService[] = "org.freedesktop.Notifications";

    // The desktop's notification server on the session bus.
    static UserNotificationCenter &current();

    // `service`: the bus name of the server; tests name a fake of their own.
    explicit UserNotificationCenter(QString service = QString::fromLatin1(DefaultService),
                                    const Clock *clock = nullptr,
                                    QObject *parent = nullptr);
    ~UserNotificationCenter() override;

    struct Authorization
    {
        bool granted = false;
        std::optional<QString> error;
    };
    // Granted while a notification server owns the name, or the bus can start one that would.
    QCoro::Task<Authorization> requestAuthorization();

    // Shows the notice, replacing an earlier one of the same identifier. Resolves with the failure, if
    // the desktop refused or could not be reached.
    QCoro::Task<std::optional<QString>> add(NoticeRequest request);

    QList<DeliveredNotice> deliveredNotifications() const;
    void removeDeliveredNotifications(const QStringList &identifiers);
    void removeAllDeliveredNotifications();

Q_SIGNALS:
    // A click on one of our notices: `actionIdentifier` is DefaultActionIdentifier or ButtonActionIdentifier.
    void didReceiveResponse(const QString &identifier, const QString &actionIdentifier, const QVariantMap &userInfo);

private Q_SLOTS:
    void handleActionInvoked(uint serverId, const QString &actionKey);
    void handleNotificationClosed(uint serverId, uint reason);

private:
    struct Entry
    {
        DeliveredNotice notice;
        uint serverId = 0;
    };

    // Connects to the server's signals, or lets go of them.
    void subscribe(bool on);
    QCoro::Task<std::optional<QStringList>> capabilities();
    void closeOnServer(uint serverId);
    qsizetype indexOfServerId(uint serverId) const;
    qsizetype indexOfIdentifier(const QString &identifier) const;

    QString m_service;
    const Clock &m_clock;
    QList<Entry> m_entries; // in delivery order

    Q_DISABLE_COPY_MOVE(UserNotificationCenter)
};

} // namespace plimsy
