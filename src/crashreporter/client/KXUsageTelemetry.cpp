#include "crashreporter/client/KXUsageTelemetry.h"

#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/model/KestrixConfiguration.h"

#include <QStringList>

#include <algorithm>

namespace kestrix {

namespace {

constexpr uint64_t UsageBit = 2;

template <typename T> void insertIfChanged(QJsonObject &object, const char *key, T value, T defaultValue)
{
    if (value != defaultValue) {
        object.insert(QLatin1String(key), QJsonValue(value));
    }
}

void insertCount(QJsonObject &object, const char *key, size_t count)
{
    if (count != 0) {
        object.insert(QLatin1String(key), static_cast<qint64>(count));
    }
}

QString breadcrumbTypeNames(uint64_t bits)
{
    static const std::pair<uint64_t, const char *> Names[] = {
        {0x80, "error"},
        {0x08, "log"},
        {0x10, "navigation"},
        {0x40, "process"},
        {0x20, "request"},
        {0x02, "state"},
        {0x04, "user"},
    };
    QStringList names;
    for (const auto &[bit, name] : Names) {
        if ((bits & bit) != 0) {
            names << QLatin1String(name);
        }
    }
    return names.join(QLatin1Char(','));
}

QString errorTypeNames(const KestrixErrorTypes &types)
{
    QStringList names;
    const std::pair<bool, const char *> all[] = {
        {types.appHangs, "appHangs"},
        {types.machExceptions, "machExceptions"},
        {types.ooms, "ooms"},
        {types.signals, "signals"},
        {types.thermalKills, "thermalKills"},
        {types.cppExceptions, "cppExceptions"},
        {types.unhandledExceptions, "unhandledExceptions"},
        {types.unhandledRejections, "unhandledRejections"},
    };
    for (const auto &[enabled, name] : all) {
        if (enabled) {
            names << QLatin1String(name);
        }
    }
    names.sort();
    return names.join(QLatin1Char(','));
}

QString sendThreadsName(KestrixThreadSendPolicy policy)
{
    switch (policy) {
    case KestrixThreadSendPolicy::Always:
        return QStringLiteral("always");
    case KestrixThreadSendPolicy::UnhandledOnly:
        return QStringLiteral("unhandledOnly");
    case KestrixThreadSendPolicy::Never:
        break;
    }
    return QStringLiteral("never");
}

// Whether the crash reporter lives in the executable itself rather than in a library of its own.
bool isStaticallyLinked()
{
    static const bool linked = [] {
        kximagesRefresh();
        const KXBinaryImage *main = kximagesMain();
        const KXBinaryImageList &images = kximagesList();
        return main != nullptr && images.count > 0 && main == images.images[0];
    }();
    return linked;
}

} // namespace

std::optional<QJsonObject> kxUsageTelemetry(const KestrixConfiguration &configuration)
{
    if ((configuration.telemetry & UsageBit) == 0) {
        return std::nullopt;
    }
    static const KestrixConfiguration defaults(std::nullopt);
    QJsonObject callbacks;
    insertCount(callbacks, "onBreadcrumb", configuration.onBreadcrumbBlocks->size());
    insertCount(callbacks, "onCrashHandler", configuration.onCrashHandler != nullptr ? 1 : 0);
    insertCount(callbacks, "onSendError", configuration.onSendBlocks->size());
    insertCount(callbacks, "onSession", configuration.onSessionBlocks->size());

    QJsonObject config;
    insertIfChanged<qint64>(config,
                            "appHangThresholdMillis",
                            static_cast<qint64>(configuration.appHangThresholdMillis()),
                            static_cast<qint64>(defaults.appHangThresholdMillis()));
    insertIfChanged(
        config, "reportBackgroundAppHangs", configuration.reportBackgroundAppHangs, defaults.reportBackgroundAppHangs);
    insertIfChanged(
        config, "attemptDeliveryOnCrash", configuration.attemptDeliveryOnCrash, defaults.attemptDeliveryOnCrash);
    insertIfChanged(config, "autoDetectErrors", configuration.autoDetectErrors, defaults.autoDetectErrors);
    insertIfChanged(config, "autoTrackSessions", configuration.autoTrackSessions, defaults.autoTrackSessions);
    insertCount(config, "discardClassesCount", configuration.discardClasses.size());
    insertIfChanged<qint64>(config,
                            "launchDurationMillis",
                            static_cast<qint64>(configuration.launchDurationMillis),
                            static_cast<qint64>(defaults.launchDurationMillis));
    insertIfChanged<qint64>(config,
                            "maxBreadcrumbs",
                            static_cast<qint64>(configuration.maxBreadcrumbs()),
                            static_cast<qint64>(defaults.maxBreadcrumbs()));
    insertIfChanged<qint64>(config,
                            "maxPersistedEvents",
                            static_cast<qint64>(configuration.maxPersistedEvents()),
                            static_cast<qint64>(defaults.maxPersistedEvents()));
    insertIfChanged<qint64>(config,
                            "maxPersistedSessions",
                            static_cast<qint64>(configuration.maxPersistedSessions()),
                            static_cast<qint64>(defaults.maxPersistedSessions()));
    insertIfChanged(config, "persistUser", configuration.persistUser(), defaults.persistUser());
    insertCount(config, "pluginCount", configuration.plugins.size());
    if (isStaticallyLinked()) {
        config.insert(QStringLiteral("staticallyLinked"), true);
    }
    if (configuration.enabledBreadcrumbTypes != defaults.enabledBreadcrumbTypes) {
        config.insert(QStringLiteral("enabledBreadcrumbTypes"),
                      breadcrumbTypeNames(configuration.enabledBreadcrumbTypes));
    }
    if (configuration.enabledErrorTypes != defaults.enabledErrorTypes) {
        config.insert(QStringLiteral("enabledErrorTypes"), errorTypeNames(configuration.enabledErrorTypes));
    }
    if (configuration.sendThreads != defaults.sendThreads) {
        config.insert(QStringLiteral("sendThreads"), sendThreadsName(configuration.sendThreads));
    }
    return QJsonObject{{QStringLiteral("callbacks"), callbacks}, {QStringLiteral("config"), config}};
}

} // namespace kestrix
