#include "platform/PortalGlobalShortcut.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

#include <optional>

namespace plimsy {

namespace {

const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// The portal's name of a keysym: letters and digits as themselves, the space bar as "space".
QString keysymName(quint32 keysym)
{
    if (keysym == 0x20) {
        return QStringLiteral("space");
    }
    if (keysym > 0x20 && keysym < 0x7f) {
        return QString(QChar(char16_t(keysym)));
    }
    return QStringLiteral("0x") + QString::number(keysym, 16);
}

// A session handle arrives as an object path or, from older portals, as text.
QString pathText(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        return value.value<QDBusObjectPath>().path();
    }
    return value.toString();
}

// What the portal reports as bound for our shortcut in a Response's results; null when it bound none.
std::optional<QString> triggerBoundIn(const QVariantMap &results)
{
    QList<PortalShortcut> bound;
    const QVariant shortcuts = results.value(QStringLiteral("shortcuts"));
    if (shortcuts.canConvert<QDBusArgument>()) {
        shortcuts.value<QDBusArgument>() >> bound;
    } else {
        bound = shortcuts.value<QList<PortalShortcut>>();
    }
    for (const PortalShortcut &shortcut : std::as_const(bound)) {
        if (shortcut.id == QLatin1String(PortalGlobalShortcut::ShortcutId)) {
            return shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        }
    }
    return std::nullopt;
}

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerPortalShortcutTypes()
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
}

PortalGlobalShortcut::PortalGlobalShortcut(QDBusConnection bus, QString service, QObject *parent)
    : GlobalShortcut(parent)
    , m_bus(std::move(bus))
    , m_service(std::move(service))
{
    registerPortalShortcutTypes();
}

PortalGlobalShortcut::~PortalGlobalShortcut()
{
    closeSession();
}

QString PortalGlobalShortcut::preferredTrigger(quint32 keysym, quint32 modifiers)
{
    QStringList parts;
    if (modifiers & ShortcutModifier::Control) {
        parts << QStringLiteral("CTRL");
    }
    if (modifiers & ShortcutModifier::Alt) {
        parts << QStringLiteral("ALT");
    }
    if (modifiers & ShortcutModifier::Shift) {
        parts << QStringLiteral("SHIFT");
    }
    if (modifiers & ShortcutModifier::Super) {
        parts << QStringLiteral("LOGO");
    }
    parts << keysymName(keysym);
    return parts.join(QLatin1Char('+'));
}

void PortalGlobalShortcut::grab(quint32 keysym, quint32 modifiers)
{
    closeSession();
    m_trigger = preferredTrigger(keysym, modifiers);
    if (!m_bus.isConnected()) {
        setUnavailable(QStringLiteral("no session bus"));
        return;
    }
    setStatus(Status::Registering);
    createSession();
}

void PortalGlobalShortcut::release()
{
    closeSession();
    setStatus(Status::NotRegistered);
}

void PortalGlobalShortcut::createSession()
{
    const QString token = QStringLiteral("plimsy%1").arg(++m_nextToken);
    awaitResponse(token, SLOT(handleSessionCreated(uint, QVariantMap)));
    // Some backends (KDE's of Plasma 5.27) bind the shortcuts given here and leave BindShortcuts empty.
    const QVariantMap options{
        {QStringLiteral("handle_token"), token},
        {QStringLiteral("session_handle_token"), QStringLiteral("plimsy_session%1").arg(m_nextToken)},
        {QStringLiteral("shortcuts"), QVariant::fromValue(shortcuts())}};
    callPortal(QStringLiteral("CreateSession"), {options});
}

void PortalGlobalShortcut::handleSessionCreated(uint response, const QVariantMap &results)
{
    stopAwaiting();
    m_session = pathText(results.value(QStringLiteral("session_handle")));
    if (response != 0 || m_session.isEmpty()) {
        m_session.clear();
        setStatus(Status::Failed);
        return;
    }
    m_bus.connect(m_service,
                  PortalPath,
                  ShortcutsInterface,
                  QStringLiteral("Activated"),
                  this,
                  SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    // Listed without a trigger, it is known but has no key: binding asks the desktop for one.
    if (const std::optional<QString> trigger = triggerBoundIn(results); trigger && !trigger->isEmpty()) {
        setStatus(Status::Registered, *trigger);
        return;
    }
    bindShortcut();
}

QList<PortalShortcut> PortalGlobalShortcut::shortcuts() const
{
    return {{QLatin1String(ShortcutId),
             {{QStringLiteral("description"), QStringLiteral("Show or hide the Action Bar")},
              {QStringLiteral("preferred_trigger"), m_trigger}}}};
}

void PortalGlobalShortcut::bindShortcut()
{
    const QString token = QStringLiteral("plimsy%1").arg(++m_nextToken);
    awaitResponse(token, SLOT(handleShortcutsBound(uint, QVariantMap)));
    callPortal(QStringLiteral("BindShortcuts"),
               {QVariant::fromValue(QDBusObjectPath(m_session)),
                QVariant::fromValue(shortcuts()),
                QString(),
                QVariantMap{{QStringLiteral("handle_token"), token}}});
}

void PortalGlobalShortcut::handleShortcutsBound(uint response, const QVariantMap &results)
{
    stopAwaiting();
    if (response != 0) {
        setStatus(Status::Failed);
        return;
    }
    const std::optional<QString> trigger = triggerBoundIn(results);
    setStatus(trigger ? Status::Registered : Status::Failed, trigger.value_or(QString()));
}

void PortalGlobalShortcut::handleActivated(const QDBusObjectPath &session,
                                           const QString &shortcutId,
                                           qulonglong,
                                           const QVariantMap &)
{
    if (session.path() == m_session && shortcutId == QLatin1String(ShortcutId)) {
        activateLater();
    }
}

void PortalGlobalShortcut::closeSession()
{
    ++m_generation;
    stopAwaiting();
    if (m_session.isEmpty()) {
        return;
    }
    m_bus.disconnect(m_service,
                     PortalPath,
                     ShortcutsInterface,
                     QStringLiteral("Activated"),
                     this,
                     SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    m_bus.asyncCall(QDBusMessage::createMethodCall(m_service, m_session, SessionInterface, QStringLiteral("Close")));
    m_session.clear();
}

void PortalGlobalShortcut::awaitResponse(const QString &token, const char *slot)
{
    stopAwaiting();
    // The portal names the request object after our unique bus name and the token, so we can listen first.
    QString sender = m_bus.baseService();
    sender.remove(0, 1).replace(QLatin1Char('.'), QLatin1Char('_'));
    m_requestPath = PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
    m_requestSlot = slot;
    m_bus.connect(m_service, m_requestPath, RequestInterface, QStringLiteral("Response"), this, slot);
}

void PortalGlobalShortcut::stopAwaiting()
{
    if (m_requestSlot) {
        m_bus.disconnect(m_service, m_requestPath, RequestInterface, QStringLiteral("Response"), this, m_requestSlot);
    }
    m_requestPath.clear();
    m_requestSlot = nullptr;
}

void PortalGlobalShortcut::callPortal(const QString &method, const QList<QVariant> &arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, PortalPath, ShortcutsInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    const quint64 generation = m_generation;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation](QDBusPendingCallWatcher *done) {
        done->deleteLater();
        if (generation == m_generation && done->isError()) {
            handleCallError(done->error());
        }
    });
}

void PortalGlobalShortcut::handleCallError(const QDBusError &error)
{
    stopAwaiting();
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownObject:
        setUnavailable(QStringLiteral("no desktop portal offers GlobalShortcuts: ") + error.name());
        break;
    default:
        setStatus(Status::Failed);
        break;
    }
}

} // namespace plimsy
