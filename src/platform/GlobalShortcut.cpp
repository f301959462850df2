#include "platform/GlobalShortcut.h"

#include "platform/PortalGlobalShortcut.h"
#include "platform/X11GlobalShortcut.h"

#include <QDBusConnection>

namespace plimsy {

std::unique_ptr<GlobalShortcut> GlobalShortcut::create()
{
    return createForSession(QProcessEnvironment::systemEnvironment(), QDBusConnection::sessionBus());
}

std::unique_ptr<GlobalShortcut> GlobalShortcut::createForSession(const QProcessEnvironment &environment,
                                                                 QDBusConnection bus)
{
    if (!isWaylandSession(environment)) {
        if (auto x11 = makeX11GlobalShortcut()) {
            return x11;
        }
    }
    // Wayland lets no program grab keys: the desktop binds them for us, if it offers the portal.
    return std::make_unique<PortalGlobalShortcut>(std::move(bus));
}

bool GlobalShortcut::isWaylandSession(const QProcessEnvironment &environment)
{
    return environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland")
           || !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty();
}

QString GlobalShortcut::statusText() const
{
    switch (m_status) {
    case Status::NotRegistered:
        return QStringLiteral("Not registered");
    case Status::Registering:
        return QStringLiteral("Registering…");
    case Status::Registered:
        return m_boundTrigger.isEmpty() ? QStringLiteral("Registered")
                                        : QStringLiteral("Registered as ") + m_boundTrigger;
    case Status::Taken:
        return QStringLiteral("taken by another application");
    case Status::Unavailable:
        return QStringLiteral("Global shortcuts are not available on this desktop");
    case Status::Failed:
        return QStringLiteral("The shortcut could not be registered");
    }
    return {};
}

void GlobalShortcut::setStatus(Status status, const QString &boundTrigger)
{
    if (status == m_status && boundTrigger == m_boundTrigger) {
        return;
    }
    m_status = status;
    m_boundTrigger = boundTrigger;
    m_unavailableReason.clear();
    Q_EMIT statusChanged();
}

void GlobalShortcut::setUnavailable(const QString &reason)
{
    if (m_status == Status::Unavailable && m_unavailableReason == reason) {
        return;
    }
    m_status = Status::Unavailable;
    m_boundTrigger.clear();
    m_unavailableReason = reason;
    Q_EMIT statusChanged();
}

void GlobalShortcut::activateLater()
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT activated(); }, Qt::QueuedConnection);
}

} // namespace plimsy
