#include "FakeStatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMutexLocker>
#include <QUuid>

namespace plimsy::test {

namespace {

constexpr char Service[] = "org.kde.StatusNotifierWatcher";
constexpr char Path[] = "/StatusNotifierWatcher";

} // namespace

class StatusNotifierWatcherObject : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    explicit StatusNotifierWatcherObject(bool hasHost)
        : m_hasHost(hasHost)
        , m_connectionName(QStringLiteral("fake-watcher-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
    }

    // On the watcher's thread.
    void serve()
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
        m_isRunning = bus.registerObject(QLatin1String(Path),
                                         this,
                                         QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                                             | QDBusConnection::ExportAllProperties)
                      && bus.registerService(QLatin1String(Service));
    }

    void leave()
    {
        QDBusConnection bus(m_connectionName);
        bus.unregisterService(QLatin1String(Service));
        bus.unregisterObject(QLatin1String(Path));
        QDBusConnection::disconnectFromBus(m_connectionName);
    }

    void setHost(bool hasHost)
    {
        {
            QMutexLocker lock(&m_mutex);
            m_hasHost = hasHost;
        }
        hasHost ? Q_EMIT StatusNotifierHostRegistered() : Q_EMIT StatusNotifierHostUnregistered();
    }

    bool isRunning() const { return m_isRunning; }
    bool isHostRegistered() const
    {
        QMutexLocker lock(&m_mutex);
        return m_hasHost;
    }
    QStringList registeredItems() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service)
    {
        // An item may name itself by its object path; the sender's bus name is then its service.
        const QString item = service.startsWith(u'/') ? message().service() + service : service;
        {
            QMutexLocker lock(&m_mutex);
            m_items.append(item);
        }
        Q_EMIT StatusNotifierItemRegistered(item);
    }
    void RegisterStatusNotifierHost(const QString &) { setHost(true); }

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);
    void StatusNotifierItemUnregistered(const QString &service);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    mutable QMutex m_mutex;
    bool m_hasHost;
    QStringList m_items;
    QString m_connectionName;
    bool m_isRunning = false;
};

FakeStatusNotifierWatcher::FakeStatusNotifierWatcher(bool hasHost)
    : m_object(new StatusNotifierWatcherObject(hasHost))
{
    m_object->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_object, [object = m_object] { object->serve(); }, Qt::BlockingQueuedConnection);
}

FakeStatusNotifierWatcher::~FakeStatusNotifierWatcher()
{
    QMetaObject::invokeMethod(
        m_object,
        [object = m_object] {
            object->leave();
            delete object;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

bool FakeStatusNotifierWatcher::isRunning() const
{
    return m_object->isRunning();
}

void FakeStatusNotifierWatcher::setHost(bool hasHost)
{
    QMetaObject::invokeMethod(m_object, [object = m_object, hasHost] { object->setHost(hasHost); });
}

QStringList FakeStatusNotifierWatcher::registeredItems() const
{
    return m_object->registeredItems();
}

} // namespace plimsy::test

#include "FakeStatusNotifierWatcher.moc"
