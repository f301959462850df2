#include "crashreporter/model/KestrixEndpointConfiguration.h"

namespace kestrix {

// Plimsy knows no intake of its own: a build's addresses come with its settings ("endpoints"), so
// both of the service's pairs are empty and a build without them sends nothing anywhere.
KestrixEndpointConfiguration::KestrixEndpointConfiguration() = default;

KestrixEndpointConfiguration::KestrixEndpointConfiguration(QString notify, QString sessions)
    : notify(std::move(notify))
    , sessions(std::move(sessions))
{
}

KestrixEndpointConfiguration KestrixEndpointConfiguration::defaultForApiKey(const QString &)
{
    return {};
}

bool KestrixEndpointConfiguration::isCustom() const
{
    return !notify.isEmpty() || !sessions.isEmpty();
}

} // namespace kestrix
