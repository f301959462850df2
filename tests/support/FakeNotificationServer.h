#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

namespace plimsy::test {

// A desktop notification server in process, on a bus connection of its own under its own unique name
// (so tests running at the same time never meet), recording every call and emitting the clicks and
// closings a test asks for.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notice
    {
        uint id = 0;
        QString appName;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
    };

    explicit FakeNotificationServer(QStringList capabilities = {QStringLiteral("actions"),
                                                                QStringLiteral("body"),
                                                                QStringLiteral("body-markup"),
                                                                QStringLiteral("sound")},
                                    QObject *parent = nullptr);
    ~FakeNotificationServer() override;

    // The bus name to send notices to.
    QString service() const;

    QList<Notice> notices() const { return m_notices; }
    QList<uint> closed() const { return m_closed; }
    // The next Notify answers with this D-Bus error.
    void failNextNotify(QString message) { m_failure = std::move(message); }

    void click(uint id, const QString &actionKey) { Q_EMIT ActionInvoked(id, actionKey); }
    void dismiss(uint id) { Q_EMIT NotificationClosed(id, 2); }

public Q_SLOTS:
    Q_SCRIPTABLE QStringList GetCapabilities() const { return m_capabilities; }
    Q_SCRIPTABLE uint Notify(const QString &appName,
                             uint replacesId,
                             const QString &appIcon,
                             const QString &summary,
                             const QString &body,
                             const QStringList &actions,
                             const QVariantMap &hints,
                             int expireTimeout);
    Q_SCRIPTABLE void CloseNotification(uint id);

Q_SIGNALS:
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString &actionKey);
    // For the test: a call arrived.
    void notified();
    void closeRequested();

private:
    QString m_connectionName;
    QDBusConnection m_bus;
    QStringList m_capabilities;
    QList<Notice> m_notices;
    QList<uint> m_closed;
    std::optional<QString> m_failure;
    uint m_lastId = 0;

    Q_DISABLE_COPY_MOVE(FakeNotificationServer)
};

} // namespace plimsy::test
