#include "core/Reachability.h"

#include "core/Logger.h"
#include "platform/NotificationCenter.h"

#include <QTimer>
#include <QUrl>

namespace plimsy {

namespace {

using namespace ReachabilityFlag;

bool isReachableFlags(quint32 flags)
{
    const bool needsTransientConnection = (flags & ConnectionRequired) && (flags & TransientConnection);
    return (flags & Reachable) && !needsTransientConnection;
}

} // namespace

ReachabilityError::ReachabilityError(Kind kind)
    : std::runtime_error("reachability monitor could not be set up")
    , m_kind(kind)
{
}

QString ReachabilityError::userMessage() const
{
    switch (m_kind) {
    case Kind::FailedToCreateWithAddress:
        return QStringLiteral("Could not watch the network address.");
    case Kind::FailedToCreateWithHostname:
        return QStringLiteral("Could not watch the host name.");
    case Kind::UnableToSetCallback:
    case Kind::UnableToSetDispatchQueue:
        return QStringLiteral("Could not start watching the network.");
    }
    return {};
}

Reachability::Reachability(std::unique_ptr<NetworkReachability> target, QObject *parent)
    : QObject(parent)
    , m_notificationCenter(&NotificationCenter::defaultCenter())
    , m_target(std::move(target))
{
}

Reachability::~Reachability()
{
    stopNotifier();
}

std::unique_ptr<Reachability> Reachability::forHostName(const QString &host)
{
    const QUrl url(QStringLiteral("https://") + host);
    if (host.isEmpty() || !url.isValid() || url.host().isEmpty() || url.host() != host.toLower()) {
        return nullptr;
    }
    return std::make_unique<Reachability>(std::make_unique<NetworkReachability>());
}

std::unique_ptr<Reachability> Reachability::forZeroAddress()
{
    return std::make_unique<Reachability>(std::make_unique<NetworkReachability>());
}

void Reachability::startNotifier()
{
    if (!m_target || m_notifierRunning) {
        return;
    }
    connect(
        m_target.get(), &NetworkReachability::flagsChanged, this, &Reachability::flagsChanged, Qt::QueuedConnection);
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation) {
            flagsChanged();
        }
    });
    m_notifierRunning = true;
}

void Reachability::stopNotifier()
{
    if (m_target) {
        disconnect(m_target.get(), &NetworkReachability::flagsChanged, this, &Reachability::flagsChanged);
    }
    ++m_generation;
    m_notifierRunning = false;
}

bool Reachability::isReachable() const
{
    return isReachableFlags(readFlags());
}

bool Reachability::isReachableViaWiFi() const
{
    return readFlags() & Reachable;
}

Reachability::NetworkStatus Reachability::currentStatus() const
{
    if (!isReachable()) {
        return NetworkStatus::notReachable;
    }
    return isReachableViaWiFi() ? NetworkStatus::reachableViaWiFi : NetworkStatus::reachableViaWWAN;
}

QString Reachability::currentStatusText() const
{
    return text(currentStatus());
}

QString Reachability::flagsDescription() const
{
    const quint32 flags = readFlags();
    const auto mark = [flags](quint32 flag, char letter) { return QLatin1Char((flags & flag) ? letter : '-'); };
    QString description;
    description += QLatin1Char('-');
    description += mark(Reachable, 'R');
    description += QLatin1Char(' ');
    description += mark(ConnectionRequired, 'c');
    description += mark(TransientConnection, 't');
    description += mark(InterventionRequired, 'i');
    description += mark(ConnectionOnTraffic, 'C');
    description += mark(ConnectionOnDemand, 'D');
    description += mark(IsLocalAddress, 'l');
    description += mark(IsDirect, 'd');
    return description;
}

QString Reachability::text(NetworkStatus status)
{
    switch (status) {
    case NetworkStatus::notReachable:
        return QStringLiteral("No Connection");
    case NetworkStatus::reachableViaWiFi:
        return QStringLiteral("WiFi");
    case NetworkStatus::reachableViaWWAN:
        return QStringLiteral("Cellular");
    }
    return {};
}

void Reachability::flagsChanged()
{
    const quint32 flags = readFlags();
    if (m_previousFlags == flags) {
        return;
    }
    // Recorded before the callbacks run, so a check they cause does not report the same flags again.
    m_previousFlags = flags;
    const Callback &callback = isReachableFlags(flags) ? m_whenReachable : m_whenUnreachable;
    if (callback) {
        // Runs from the event loop: nothing may escape into Qt.
        try {
            callback(*this);
        } catch (const std::exception &error) {
            log(QStringLiteral("[Reachability] A change handler failed: ") + QString::fromUtf8(error.what()));
        }
    }
    if (m_notificationCenter) {
        m_notificationCenter->post(ReachabilityChangedNotification, this);
    }
}

quint32 Reachability::readFlags() const
{
    return m_target ? m_target->flags() : 0;
}

} // namespace plimsy
