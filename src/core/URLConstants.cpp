#include "core/URLConstants.h"

#include "core/Logger.h"

#include <QUrl>

#include <mutex>

namespace plimsy::URLConstants {

namespace {

#ifdef PLIMSY_DEVELOPMENT_OVERRIDES
constexpr bool HonoursOverrides = true;
#else
constexpr bool HonoursOverrides = false;
#endif

constexpr const char *OverrideNames[] = {"PLIMSY_FORGE_API_BASE",
                                         "PLIMSY_FORGE_WEB_BASE",
                                         "PLIMSY_WEB_BASE",
                                         "PLIMSY_DEV_WEB_BASE",
                                         "PLIMSY_API_BASE",
                                         "PLIMSY_DEV_API_BASE",
                                         "PLIMSY_STATS_URL",
                                         "PLIMSY_RELAY_BASE",
                                         "PLIMSY_UPDATE_FEED_URL"};

void reportIgnoredOverrides()
{
    QStringList set;
    for (const char *name : OverrideNames) {
        if (!qEnvironmentVariableIsEmpty(name)) {
            set.append(QString::fromLatin1(name));
        }
    }
    if (!set.isEmpty()) {
        log(QStringLiteral("[URLConstants] This build ignores the address overrides of the environment: ")
            + set.join(QStringLiteral(", ")));
    }
}

QString fromEnvironment(const char *name, const char *fallback)
{
    if (!HonoursOverrides) {
        static std::once_flag s_reported;
        std::call_once(s_reported, reportIgnoredOverrides);
        return QString::fromLatin1(fallback);
    }
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

} // namespace

bool isDevBackend(const QStringList &arguments)
{
    return arguments.contains(QLatin1String(DevBackendArgument), Qt::CaseSensitive);
}

QString forgeAPIBase()
{
    return fromEnvironment("PLIMSY_FORGE_API_BASE", "https://forge.laravel.com/api/");
}

QString forgeWebBase()
{
    return fromEnvironment("PLIMSY_FORGE_WEB_BASE", "https://forge.laravel.com/servers/");
}

QString productWebBase()
{
    return fromEnvironment("PLIMSY_WEB_BASE", "https://plimsy.tindrel.com");
}

QString devWebBase()
{
    return fromEnvironment("PLIMSY_DEV_WEB_BASE", "http://plimsy.test");
}

QString productAPIBase()
{
    return fromEnvironment("PLIMSY_API_BASE", "https://api.plimsy.tindrel.com/v1");
}

QString devAPIBase()
{
    return fromEnvironment("PLIMSY_DEV_API_BASE", "http://api.plimsy.test/v1");
}

QString statsURL()
{
    return fromEnvironment("PLIMSY_STATS_URL", "https://stats.tindrel.com/api/v1/stats");
}

QString relayBase()
{
    return fromEnvironment("PLIMSY_RELAY_BASE", "https://relay.tindrel.com/api/v2/");
}

QString updateFeedURL()
{
    return fromEnvironment("PLIMSY_UPDATE_FEED_URL", "https://plimsy.tindrel.com/appcast.xml");
}

QString webBase(const QStringList &arguments)
{
    return isDevBackend(arguments) ? devWebBase() : productWebBase();
}

QString apiBase(const QStringList &arguments)
{
    return isDevBackend(arguments) ? devAPIBase() : productAPIBase();
}

} // namespace plimsy::URLConstants

namespace plimsy {

QString webURL(const QString &path, const QStringList &arguments)
{
    return URLConstants::webBase(arguments) + path;
}

QString apiKeyHelpURL(const QStringList &arguments)
{
    return webURL(QStringLiteral("/help/api-key"), arguments);
}

QString dashboardURL(const QStringList &arguments)
{
    return webURL(QStringLiteral("/dashboard"), arguments);
}

QString announcementsURL(const QStringList &arguments)
{
    return URLConstants::apiBase(arguments) + QStringLiteral("/announcements");
}

QString forgeSiteURL(qint64 serverId, qint64 siteId)
{
    return URLConstants::forgeWebBase() + QString::number(serverId) + QStringLiteral("/sites/")
           + QString::number(siteId);
}

QString forgeAPITokenURL()
{
    const QUrl base(URLConstants::forgeWebBase());
    return base.toString(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::StripTrailingSlash)
           + QStringLiteral("/profile/api");
}

} // namespace plimsy
