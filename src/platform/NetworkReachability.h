#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QNetworkInformation;

namespace plimsy {

// The reachability flag word the callers test, bit for bit as the design names the bits.
namespace ReachabilityFlag {
inline constexpr quint32 TransientConnection = 0x1;
inline constexpr quint32 Reachable = 0x2;
inline constexpr quint32 ConnectionRequired = 0x4;
inline constexpr quint32 ConnectionOnTraffic = 0x8;
inline constexpr quint32 InterventionRequired = 0x10;
inline constexpr quint32 ConnectionOnDemand = 0x20;
inline constexpr quint32 IsLocalAddress = 0x10000;
inline constexpr quint32 IsDirect = 0x20000;
} // namespace ReachabilityFlag

// Whether the network can be reached, from QNetworkInformation, as a flag word. Without a backend
// (none installed, or none that loads) the network counts as reachable, so a missing monitor never
// stops the application from trying. GUI thread.
class NetworkReachability : public QObject
{
    Q_OBJECT

public:
    // `backend`: the QNetworkInformation backend to load; empty for the system's default.
    explicit NetworkReachability(const QString &backend = {}, QObject *parent = nullptr);

    bool hasBackend() const;
    QString backendName() const;
    quint32 flags() const;

    // Test seam: report these flags from now on instead of the system's, and announce the change.
    void injectFlags(quint32 flags);

Q_SIGNALS:
    void flagsChanged();

private:
    void handleSystemChange();

    QPointer<QNetworkInformation> m_information;
    std::optional<quint32> m_injected;

    Q_DISABLE_COPY_MOVE(NetworkReachability)
};

} // namespace plimsy
