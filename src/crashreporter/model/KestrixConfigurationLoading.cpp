// Reading the configuration from the settings' "kestrix" object.
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/support/KXLogger.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace kestrix {

namespace {

// Takes a value out of the leftovers whether or not it is accepted.
QJsonValue take(QJsonObject &leftovers, const char *key)
{
    return leftovers.take(QLatin1String(key));
}

std::optional<uint64_t> unsignedNumber(const QJsonValue &value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const qint64 exact = value.toInteger(-1);
    if (exact >= 0) {
        return static_cast<uint64_t>(exact);
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0) {
        return std::nullopt; // no unsigned option can hold it: a value of the wrong kind
    }
    return number >= 1.8e19 ? std::numeric_limits<uint64_t>::max() : static_cast<uint64_t>(number);
}

// A list of strings; anything else leaves the option as it is.
std::optional<QStringList> stringList(const QJsonValue &value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList list;
    for (const QJsonValue &member : value.toArray()) {
        if (!member.isString()) {
            return std::nullopt;
        }
        if (!list.contains(member.toString())) {
            list << member.toString();
        }
    }
    return list;
}

std::vector<KestrixStringOrPattern> patterns(const QStringList &list)
{
    return {list.begin(), list.end()};
}

void readBoolean(QJsonObject &leftovers, const char *key, bool &option)
{
    const QJsonValue value = take(leftovers, key);
    if (value.isBool()) {
        option = value.toBool();
    }
}

void readString(QJsonObject &leftovers, const char *key, std::optional<QString> &option)
{
    const QJsonValue value = take(leftovers, key);
    if (value.isString()) {
        option = value.toString();
    }
}

void readNumber(QJsonObject &leftovers, const char *key, const std::function<void(uint64_t)> &set)
{
    if (const auto number = unsignedNumber(take(leftovers, key))) {
        set(*number);
    }
}

} // namespace

std::optional<KestrixConfiguration> KestrixConfiguration::loadConfig(const QJsonObject &settings)
{
    QJsonObject leftovers = settings;
    const QJsonValue apiKey = take(leftovers, "apiKey");
    if (!apiKey.isUndefined() && !apiKey.isString()) {
        kxLogError(QStringLiteral("Kestrix apiKey must be a string"));
        return std::nullopt;
    }
    KestrixConfiguration config(apiKey.isString() ? std::optional(apiKey.toString()) : std::nullopt);

    readBoolean(leftovers, "attemptDeliveryOnCrash", config.attemptDeliveryOnCrash);
    readBoolean(leftovers, "autoDetectErrors", config.autoDetectErrors);
    readBoolean(leftovers, "autoTrackSessions", config.autoTrackSessions);
    bool persistUser = config.m_persistUser;
    readBoolean(leftovers, "persistUser", persistUser);
    if (persistUser != config.m_persistUser) {
        config.setPersistUser(persistUser);
    }
    readBoolean(leftovers, "sendLaunchCrashesSynchronously", config.sendLaunchCrashesSynchronously);

    const QJsonValue endpoints = take(leftovers, "endpoints");
    if (endpoints.isObject()) {
        const QJsonObject object = endpoints.toObject();
        if (object.value(QStringLiteral("notify")).isString()) {
            config.m_endpoints.notify = object.value(QStringLiteral("notify")).toString();
        }
        if (object.value(QStringLiteral("sessions")).isString()) {
            config.m_endpoints.sessions = object.value(QStringLiteral("sessions")).toString();
        }
    }

    readNumber(leftovers, "launchDurationMillis", [&](uint64_t value) { config.launchDurationMillis = value; });
    readNumber(leftovers, "maxBreadcrumbs", [&](uint64_t value) { config.setMaxBreadcrumbs(value); });
    readNumber(leftovers, "maxPersistedEvents", [&](uint64_t value) { config.setMaxPersistedEvents(value); });
    readNumber(leftovers, "maxPersistedSessions", [&](uint64_t value) { config.setMaxPersistedSessions(value); });
    readNumber(leftovers, "maxStringValueLength", [&](uint64_t value) { config.maxStringValueLength = value; });

    const QJsonValue sendThreads = take(leftovers, "sendThreads");
    const QString policy = sendThreads.toString().toLower();
    if (policy == QLatin1String("unhandledonly")) {
        config.sendThreads = KestrixThreadSendPolicy::UnhandledOnly;
    } else if (policy == QLatin1String("always")) {
        config.sendThreads = KestrixThreadSendPolicy::Always;
    } else if (policy == QLatin1String("never")) {
        config.sendThreads = KestrixThreadSendPolicy::Never;
    }

    readString(leftovers, "appType", config.appType);
    readString(leftovers, "appVersion", config.appVersion);
    readString(leftovers, "bundleVersion", config.bundleVersion);
    readString(leftovers, "releaseStage", config.releaseStage);

    if (const auto list = stringList(take(leftovers, "discardClasses"))) {
        config.discardClasses = patterns(*list);
    }
    if (const auto list = stringList(take(leftovers, "enabledReleaseStages"))) {
        config.enabledReleaseStages = *list;
    }
    if (const auto list = stringList(take(leftovers, "redactedKeys"))) {
        config.redactedKeys = patterns(*list);
    }

    readBoolean(leftovers, "reportBackgroundAppHangs", config.reportBackgroundAppHangs);
    readNumber(leftovers, "appHangThresholdMillis", [&](uint64_t value) { config.setAppHangThresholdMillis(value); });

    if (!leftovers.isEmpty()) {
        kxLogWarning(QStringLiteral("Ignoring unexpected Info.plist values: %1")
                         .arg(QString::fromUtf8(QJsonDocument(leftovers).toJson(QJsonDocument::Compact))));
    }

    // Tests and the demo point the crash reporter at a local intake; nothing else reads these, and only a
    // development build does.
    const QString notify = qEnvironmentVariable("PLIMSY_CRASH_NOTIFY_URL");
    const QString sessions = qEnvironmentVariable("PLIMSY_CRASH_SESSIONS_URL");
    if (notify.isEmpty() && sessions.isEmpty()) {
        return config;
    }
#ifdef PLIMSY_DEVELOPMENT_OVERRIDES
    config.setEndpoints({notify.isEmpty() ? config.m_endpoints.notify : notify,
                         sessions.isEmpty() ? config.m_endpoints.sessions : sessions});
#else
    kxLogWarning(QStringLiteral("This build ignores PLIMSY_CRASH_NOTIFY_URL and PLIMSY_CRASH_SESSIONS_URL"));
#endif
    return config;
}

} // namespace kestrix
