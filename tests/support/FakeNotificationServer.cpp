#include "FakeNotificationServer.h"

#include <QUuid>

namespace plimsy::test {

namespace {

const QString ObjectPath = QStringLiteral("/org/freedesktop/Notifications");

QString newConnectionName()
{
    return QStringLiteral("fakeNotificationServer-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

} // namespace

FakeNotificationServer::FakeNotificationServer(QStringList capabilities, QObject *parent)
    : QObject(parent)
    , m_connectionName(newConnectionName())
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName))
    , m_capabilities(std::move(capabilities))
{
    if (!m_bus.isConnected()
        || !m_bus.registerObject(
            ObjectPath, this, QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals)) {
        qFatal("FakeNotificationServer: no session bus");
    }
}

FakeNotificationServer::~FakeNotificationServer()
{
    m_bus.unregisterObject(ObjectPath);
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QString FakeNotificationServer::service() const
{
    return m_bus.baseService();
}

uint FakeNotificationServer::Notify(const QString &appName,
                                    uint replacesId,
                                    const QString &appIcon,
                                    const QString &summary,
                                    const QString &body,
                                    const QStringList &actions,
                                    const QVariantMap &hints,
                                    int expireTimeout)
{
    if (m_failure) {
        sendErrorReply(QDBusError::Failed, *std::exchange(m_failure, std::nullopt));
        Q_EMIT notified();
        return 0;
    }
    const uint id = replacesId != 0 ? replacesId : ++m_lastId;
    m_notices.append({id, appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
    Q_EMIT notified();
    return id;
}

void FakeNotificationServer::CloseNotification(uint id)
{
    m_closed.append(id);
    Q_EMIT closeRequested();
    Q_EMIT NotificationClosed(id, 3);
}

} // namespace plimsy::test
