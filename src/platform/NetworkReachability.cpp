#include "platform/NetworkReachability.h"

#include <QLoggingCategory>
#include <QNetworkInformation>

Q_LOGGING_CATEGORY(lcReachability, "plimsy.reachability")

namespace plimsy {

namespace {

QNetworkInformation *loadBackend(const QString &backend)
{
    const bool loaded =
        backend.isEmpty() ? QNetworkInformation::loadDefaultBackend() : QNetworkInformation::loadBackendByName(backend);
    QNetworkInformation *information = loaded ? QNetworkInformation::instance() : nullptr;
    if (information && !backend.isEmpty() && information->backendName().compare(backend, Qt::CaseInsensitive) != 0) {
        information = nullptr;
    }
    if (!information) {
        qCWarning(lcReachability) << "No network information backend"
                                  << (backend.isEmpty() ? QStringLiteral("(default)") : backend)
                                  << "could be loaded; the network counts as reachable";
    }
    return information;
}

} // namespace

NetworkReachability::NetworkReachability(const QString &backend, QObject *parent)
    : QObject(parent)
    , m_information(loadBackend(backend))
{
    if (m_information) {
        connect(
            m_information, &QNetworkInformation::reachabilityChanged, this, &NetworkReachability::handleSystemChange);
        connect(m_information,
                &QNetworkInformation::isBehindCaptivePortalChanged,
                this,
                &NetworkReachability::handleSystemChange);
    }
}

bool NetworkReachability::hasBackend() const
{
    return !m_information.isNull();
}

QString NetworkReachability::backendName() const
{
    return m_information ? m_information->backendName() : QString();
}

quint32 NetworkReachability::flags() const
{
    if (m_injected) {
        return *m_injected;
    }
    if (!m_information) {
        return ReachabilityFlag::Reachable;
    }
    quint32 flags = 0;
    switch (m_information->reachability()) {
    case QNetworkInformation::Reachability::Disconnected:
        break;
    case QNetworkInformation::Reachability::Local:
    case QNetworkInformation::Reachability::Site:
    case QNetworkInformation::Reachability::Online:
    case QNetworkInformation::Reachability::Unknown: // a backend that cannot tell must not block anything
        flags |= ReachabilityFlag::Reachable;
        break;
    }
    if (m_information->isBehindCaptivePortal()) {
        flags |= ReachabilityFlag::InterventionRequired;
    }
    return flags;
}

void NetworkReachability::handleSystemChange()
{
    if (!m_injected) {
        Q_EMIT flagsChanged();
    }
}

void NetworkReachability::injectFlags(quint32 flags)
{
    m_injected = flags;
    Q_EMIT flagsChanged();
}

} // namespace plimsy
