#include "crashreporter/model/KestrixEndpointConfiguration.h"

namespace kestrix {

namespace {

// The service's real addresses come with the settings ("endpoints"); these stand in for them on a
// reserved domain, so a build without settings sends nothing anywhere.
const char *const DefaultNotify = "https://notify.kestrix.example";
const char *const DefaultSessions = "https://sessions.kestrix.example";
const char *const AlternativeNotify = "https://notify.alternative.kestrix.example";
const char *const AlternativeSessions = "https://sessions.alternative.kestrix.example";

} // namespace

KestrixEndpointConfiguration::KestrixEndpointConfiguration()
    : notify(QLatin1String(DefaultNotify))
    , sessions(QLatin1String(DefaultSessions))
{
}

KestrixEndpointConfiguration::KestrixEndpointConfiguration(QString notify, QString sessions)
    : notify(std::move(notify))
    , sessions(std::move(sessions))
{
}

KestrixEndpointConfiguration KestrixEndpointConfiguration::defaultForApiKey(const QString &apiKey)
{
    if (apiKey.startsWith(QLatin1String("00000"))) {
        return {QLatin1String(AlternativeNotify), QLatin1String(AlternativeSessions)};
    }
    return {};
}

bool KestrixEndpointConfiguration::isCustom() const
{
    const bool knownNotify = notify == QLatin1String(DefaultNotify) || notify == QLatin1String(AlternativeNotify);
    const bool knownSessions =
        sessions == QLatin1String(DefaultSessions) || sessions == QLatin1String(AlternativeSessions);
    return !(knownNotify && knownSessions);
}

} // namespace kestrix
