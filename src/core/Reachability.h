#pragma once

#include "platform/NetworkReachability.h"

#include <QLatin1String>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace plimsy {

class NotificationCenter;

// Posted, with the Reachability as sender, after every check that saw new flags.
inline constexpr QLatin1String ReachabilityChangedNotification{"ReachabilityChangedNotification"};

class ReachabilityError : public std::runtime_error
{
public:
    enum class Kind
    {
        FailedToCreateWithAddress,
        FailedToCreateWithHostname,
        UnableToSetCallback,
        UnableToSetDispatchQueue,
    };

    explicit ReachabilityError(Kind kind);
    Kind kind() const { return m_kind; }
    QString userMessage() const;

private:
    Kind m_kind;
};

// Watches whether the network can be reached and reports each change of the flag word once: through
// the two callbacks and ReachabilityChangedNotification. Checks run on the GUI thread, one after another.
class Reachability : public QObject
{
    Q_OBJECT

public:
    enum class NetworkStatus
    {
        notReachable,
        reachableViaWiFi,
        reachableViaWWAN,
    };

    using Callback = std::function<void(Reachability &)>;

    explicit Reachability(std::unique_ptr<NetworkReachability> target, QObject *parent = nullptr);
    ~Reachability() override;

    // None when the host name cannot be a host.
    static std::unique_ptr<Reachability> forHostName(const QString &host);
    static std::unique_ptr<Reachability> forZeroAddress();

    void setWhenReachable(Callback callback) { m_whenReachable = std::move(callback); }
    void setWhenUnreachable(Callback callback) { m_whenUnreachable = std::move(callback); }
    void setReachableOnWWAN(bool reachable) { m_reachableOnWWAN = reachable; }
    bool reachableOnWWAN() const { return m_reachableOnWWAN; }
    void setNotificationCenter(NotificationCenter *center) { m_notificationCenter = center; }

    // Starts watching and queues one first check, which always reports. Does nothing while running.
    void startNotifier();
    void stopNotifier();
    bool isNotifierRunning() const { return m_notifierRunning; }

    bool isReachable() const;
    bool isReachableViaWiFi() const;
    bool isReachableViaWWAN() const { return false; }
    NetworkStatus currentStatus() const;
    QString currentStatusText() const;
    // Ten characters, "-R ct-----" style: one per flag, "-" where it is not set.
    QString flagsDescription() const;

    static QString text(NetworkStatus status);

private:
    void flagsChanged();
    quint32 readFlags() const;

    Callback m_whenReachable;
    Callback m_whenUnreachable;
    bool m_reachableOnWWAN = true;
    NotificationCenter *m_notificationCenter;
    std::optional<quint32> m_previousFlags;
    bool m_notifierRunning = false;
    std::unique_ptr<NetworkReachability> m_target;
    quint64 m_generation = 0; // checks queued before a stop are dropped

    Q_DISABLE_COPY_MOVE(Reachability)
};

} // namespace plimsy
