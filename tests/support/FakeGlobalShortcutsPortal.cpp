#include "FakeGlobalShortcutsPortal.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>

namespace plimsy::test {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

} // namespace

// One session object: the portal's org.freedesktop.portal.Session with its Close method.
class FakePortalSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Session")

public:
    FakePortalSession(FakeGlobalShortcutsPortal &portal, QString path)
        : QObject(&portal)
        , m_portal(portal)
        , m_path(std::move(path))
    {
    }

public Q_SLOTS:
    void Close() { m_portal.closeSession(m_path); }

private:
    FakeGlobalShortcutsPortal &m_portal;
    QString m_path;
};

FakeGlobalShortcutsPortal::FakeGlobalShortcutsPortal(QDBusConnection bus, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    registerPortalShortcutTypes();
    m_isRunning =
        m_bus.registerObject(PortalPath, this, QDBusConnection::ExportAllSlots) && m_bus.registerService(PortalService);
}

FakeGlobalShortcutsPortal::~FakeGlobalShortcutsPortal()
{
    m_bus.unregisterService(PortalService);
    m_bus.unregisterObject(PortalPath);
}

QString FakeGlobalShortcutsPortal::requestPath(const QVariantMap &options) const
{
    QString sender = message().service();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/')
           + options.value(QStringLiteral("handle_token")).toString();
}

void FakeGlobalShortcutsPortal::respondLater(const QString &destination,
                                             const QString &requestPath,
                                             uint response,
                                             const QVariantMap &results)
{
    // As the real portal does: the method answers with the request's path, the Response follows.
    QTimer::singleShot(0, this, [this, destination, requestPath, response, results] {
        QDBusMessage signal = QDBusMessage::createTargetedSignal(
            destination, requestPath, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        signal << response << results;
        m_bus.send(signal);
    });
}

QDBusObjectPath FakeGlobalShortcutsPortal::CreateSession(const QVariantMap &options)
{
    QString sender = message().service();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString session = PortalPath + QStringLiteral("/session/") + sender + QLatin1Char('/')
                            + options.value(QStringLiteral("session_handle_token")).toString();
    m_bus.registerObject(session, new FakePortalSession(*this, session), QDBusConnection::ExportAllSlots);
    m_openSessions.append(session);
    const QString request = requestPath(options);
    QVariantMap results{{QStringLiteral("session_handle"), QVariant::fromValue(QDBusObjectPath(session))}};
    if (m_bindsAtCreateSession) {
        const auto shortcuts = qdbus_cast<QList<PortalShortcut>>(options.value(QStringLiteral("shortcuts")));
        results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bind(session, shortcuts)));
    }
    respondLater(message().service(), request, 0, results);
    return QDBusObjectPath(request);
}

QDBusObjectPath FakeGlobalShortcutsPortal::BindShortcuts(const QDBusObjectPath &session,
                                                         const QList<PortalShortcut> &shortcuts,
                                                         const QString &,
                                                         const QVariantMap &options)
{
    ++m_bindShortcutsCalls;
    const QList<PortalShortcut> bound =
        m_bindsAtCreateSession ? QList<PortalShortcut>() : bind(session.path(), shortcuts);
    const QString request = requestPath(options);
    QVariantMap results;
    if (m_bindResponse == 0) {
        results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(bound));
    }
    respondLater(message().service(), request, m_bindResponse, results);
    return QDBusObjectPath(request);
}

QList<PortalShortcut> FakeGlobalShortcutsPortal::bind(const QString &session, const QList<PortalShortcut> &shortcuts)
{
    QList<PortalShortcut> bound;
    for (const PortalShortcut &shortcut : shortcuts) {
        const QString preferred = shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
        m_bindings.append({session, shortcut.id, preferred});
        bound.append(
            {shortcut.id,
             {{QStringLiteral("description"), shortcut.properties.value(QStringLiteral("description"))},
              {QStringLiteral("trigger_description"), m_boundTrigger.isEmpty() ? preferred : m_boundTrigger}}});
    }
    return bound;
}

void FakeGlobalShortcutsPortal::activate(const QString &session, const QString &shortcutId)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        PortalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcutId << qulonglong(0) << QVariantMap();
    m_bus.send(signal);
}

void FakeGlobalShortcutsPortal::closeSession(const QString &session)
{
    m_openSessions.removeAll(session);
    m_closedSessions.append(session);
    m_bus.unregisterObject(session);
}

} // namespace plimsy::test

#include "FakeGlobalShortcutsPortal.moc"
