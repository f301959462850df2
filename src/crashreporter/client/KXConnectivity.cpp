#include "crashreporter/client/KXConnectivity.h"

namespace kestrix {

namespace {

constexpr quint32 UnknownFlags = 0xFFFFFFFF;

} // namespace

std::unique_ptr<plimsy::NetworkReachability> KXConnectivity::s_reachability;
KXConnectivity::Callback KXConnectivity::s_callback;
quint32 KXConnectivity::s_lastFlags = UnknownFlags;

void KXConnectivity::monitorURL(const QUrl &url, Callback callback)
{
    s_callback = std::move(callback);
    if (!isValidHostname(url.host())) {
        return;
    }
    s_reachability = std::make_unique<plimsy::NetworkReachability>();
    plimsy::NetworkReachability *reachability = s_reachability.get();
    QObject::connect(reachability, &plimsy::NetworkReachability::flagsChanged, reachability, [reachability] {
        reachabilityChanged(reachability->flags());
    });
    reachabilityChanged(reachability->flags());
}

bool KXConnectivity::isValidHostname(const QString &host)
{
    return !host.isEmpty() && host != QLatin1String("localhost") && host != QLatin1String("::1")
           && host != QLatin1String("127.0.0.1");
}

void KXConnectivity::stopMonitoring()
{
    s_callback = nullptr;
    s_reachability.reset();
    s_lastFlags = UnknownFlags;
}

void KXConnectivity::reachabilityChanged(quint32 flags)
{
    const quint32 reachable = plimsy::ReachabilityFlag::Reachable;
    if (!s_callback || (flags & reachable) == (s_lastFlags & reachable)) {
        return;
    }
    const bool first = s_lastFlags == UnknownFlags;
    s_lastFlags = flags;
    if (!first) {
        const bool connected = (flags & reachable) != 0;
        s_callback(connected, connected ? QStringLiteral("wifi") : QStringLiteral("none"));
    }
}

} // namespace kestrix
