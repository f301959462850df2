#pragma once

#include "platform/NetworkReachability.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace kestrix {

// Tells the client when the network comes or goes, so waiting events and sessions go out as soon as
// they can. The local machine is never watched. GUI thread.
class KXConnectivity
{
public:
    using Callback = std::function<void(bool connected, const QString &connectionType)>;

    // Replaces any earlier watch.
    static void monitorURL(const QUrl &url, Callback callback);
    static bool isValidHostname(const QString &host);
    static void stopMonitoring();

    // The first report after a start only records the state.
    static void reachabilityChanged(quint32 flags);

private:
    static std::unique_ptr<plimsy::NetworkReachability> s_reachability;
    static Callback s_callback;
    static quint32 s_lastFlags;
};

} // namespace kestrix
