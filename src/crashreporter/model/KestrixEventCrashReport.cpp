// The event that stands for a crash report of a previous run.
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/model/KXReportMetadata.h"
#include "crashreporter/model/KestrixEvent.h"
#include "crashreporter/support/KXRunContext.h"

#include <QSet>

namespace kestrix {

namespace {

// Members of the crash-time user section that are not metadata sections.
const QSet<QString> &reservedUserKeys()
{
    static const QSet<QString> keys{QStringLiteral("overrides"),
                                    QStringLiteral("handledState"),
                                    QStringLiteral("metaData"),
                                    QStringLiteral("state"),
                                    QStringLiteral("config"),
                                    QStringLiteral("depth"),
                                    QStringLiteral("batteryLevel"),
                                    QStringLiteral("breadcrumbs"),
                                    QStringLiteral("charging"),
                                    QStringLiteral("handledCount"),
                                    QStringLiteral("id"),
                                    QStringLiteral("isLaunching"),
                                    QStringLiteral("orientation"),
                                    QStringLiteral("startedAt"),
                                    QStringLiteral("thermalState"),
                                    QStringLiteral("unhandledCount")};
    return keys;
}

QJsonValue firstPresent(const QJsonObject &report, std::initializer_list<const char *> paths)
{
    for (const char *path : paths) {
        const QJsonValue value = kxValueAtPath(report, QLatin1String(path));
        if (!value.isUndefined() && !value.isNull()) {
            return value;
        }
    }
    return QJsonValue(QJsonValue::Undefined);
}

std::optional<QString> stringAt(const QJsonObject &report, const QString &path)
{
    const QJsonValue value = kxValueAtPath(report, path);
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

// A value of the previous run's configuration, wherever that run put it.
QJsonValue configValue(const QJsonObject &report, const char *name)
{
    const QString key = QLatin1String(name);
    const QJsonValue value = kxValueAtPath(report, QStringLiteral("user.config.") + key);
    return !value.isUndefined() ? value : kxValueAtPath(report, QStringLiteral("user.config.config.") + key);
}

std::optional<QJsonObject> customExceptionOf(const QJsonObject &report, const KestrixError &error)
{
    const QJsonValue frames = kxValueAtPath(report, QStringLiteral("user.overrides.customStacktraceFrames"));
    const QJsonValue type = kxValueAtPath(report, QStringLiteral("user.overrides.customStacktraceType"));
    if (frames.isUndefined() || frames.isNull() || type.isUndefined() || type.isNull()) {
        return std::nullopt;
    }
    QJsonObject exception{{QStringLiteral("stacktrace"), frames}, {QStringLiteral("type"), type}};
    kxInsert(exception, "errorClass", error.errorClass);
    kxInsert(exception, "message", error.errorMessage);
    return exception;
}

// A crash that a callback marked as handled moves from the unhandled count to the handled one.
QJsonObject withHandledOverride(const QJsonObject &report, bool *overridden)
{
    const QJsonObject user = kxObject(report, "user");
    const QJsonValue unhandled = user.value(QStringLiteral("unhandled"));
    *overridden = unhandled.isBool() && !unhandled.toBool();
    if (!*overridden) {
        return report;
    }
    QJsonObject changed = user;
    changed.insert(QStringLiteral("unhandled"), false);
    changed.insert(QStringLiteral("unhandledOverridden"), true);
    changed.insert(QStringLiteral("unhandledCount"), kxInteger(user, "unhandledCount").value_or(0) - 1);
    changed.insert(QStringLiteral("handledCount"), kxInteger(user, "handledCount").value_or(0) + 1);
    QJsonObject result = report;
    result.insert(QStringLiteral("user"), changed);
    return result;
}

KestrixUser userOf(const QJsonObject &report, const std::optional<QString> &deviceId)
{
    QJsonValue json = kxValueAtPath(report, QStringLiteral("user.state.user"));
    if (!json.isObject()) {
        json = kxValueAtPath(report, QStringLiteral("user.metaData.user"));
    }
    QJsonObject user = json.toObject();
    const auto hash = stringAt(report, QStringLiteral("system.device_app_hash"));
    if (!user.contains(QStringLiteral("id")) && deviceId && hash) {
        user.insert(QStringLiteral("id"), *hash);
    }
    return KestrixUser::fromJson(user);
}

std::vector<KestrixBreadcrumb> breadcrumbsOf(const QJsonObject &report)
{
    std::vector<KestrixBreadcrumb> breadcrumbs;
    const QJsonValue list = firstPresent(report,
                                         {"user.overrides.breadcrumbs",
                                          "user.state.oom.breadcrumbs",
                                          "user.state.crash.breadcrumbs",
                                          "user.breadcrumbs"});
    for (const QJsonValue &element : list.toArray()) {
        if (auto breadcrumb = KestrixBreadcrumb::fromDict(element.toObject())) {
            breadcrumbs.push_back(std::move(*breadcrumb));
        }
    }
    return breadcrumbs;
}

} // namespace

std::optional<KestrixEvent> KestrixEvent::fromCoreReport(const QJsonObject &report)
{
    if (report.isEmpty() || kxValueAtPath(report, QStringLiteral("user.state.didOOM")).toBool()) {
        return std::nullopt;
    }
    if (!kxValueAtPath(report, QStringLiteral("user.event")).isUndefined()) {
        return fromUserData(report);
    }
    return fromCrashCoreReport(report);
}

std::optional<KestrixEvent> KestrixEvent::fromUserData(const QJsonObject &report)
{
    const QJsonValue data = kxValueAtPath(report, QStringLiteral("user.event"));
    if (!data.isObject()) {
        return std::nullopt;
    }
    KestrixEvent event = fromJson(data.toObject());
    event.featureFlagStore = KXMemoryFeatureFlagStore();
    if (!event.errors.empty()) {
        event.customException = customExceptionOf(report, event.errors.front());
    }
    return event;
}

KestrixEvent KestrixEvent::fromCrashCoreReport(const QJsonObject &crashReport)
{
    const QJsonObject errorSection = kxObjectAtPath(crashReport, QStringLiteral("crash.error"));
    const QString errorType = kxString(errorSection, "type").value_or(QString());
    bool overridden = false;
    const QJsonObject report = withHandledOverride(crashReport, &overridden);
    const QJsonObject userSection = kxObject(report, "user");

    KestrixMetadata metadata(kxObject(userSection, "metaData"));
    metadata.addMetadata(errorSection, QStringLiteral("error"));
    QJsonObject deviceSection = kxDeviceMetadataFromReport(report);
    const auto thermalState = kxInteger(userSection, "thermalState");
    if (thermalState && *thermalState >= 0 && *thermalState <= 3) {
        deviceSection.insert(QStringLiteral("thermalState"),
                             KXRunContext::thermalStateName(static_cast<uint64_t>(*thermalState)));
    }
    metadata.addMetadata(deviceSection, QStringLiteral("device"));
    metadata.addMetadata(kxAppMetadataFromReport(report), QStringLiteral("app"));

    const QJsonValue crashTimeState = userSection.value(QStringLiteral("handledState"));
    const uint64_t depth =
        crashTimeState.isObject() ? static_cast<uint64_t>(kxInteger(userSection, "depth").value_or(0)) : 0;

    std::vector<KestrixThread> threads =
        KestrixThread::threadsFromArray(kxValueAtPath(report, QStringLiteral("crash.threads")).toArray(),
                                        report.value(QStringLiteral("binary_images")).toArray());
    const auto reporting = std::find_if(
        threads.begin(), threads.end(), [](const KestrixThread &thread) { return thread.errorReportingThread; });
    KestrixError error = KestrixError::fromCrashReport(
        report, reporting != threads.end() ? reporting->stacktrace : std::vector<KestrixStackframe>());
    if (reporting != threads.end() && reporting->crashInfoMessage) {
        error.updateWithCrashInfoMessage(*reporting->crashInfoMessage);
        metadata.addMetadata(*reporting->crashInfoMessage, QStringLiteral("crashInfo"), QStringLiteral("error"));
    }
    if (threads.size() == 1) {
        threads.clear();
    }

    KestrixHandledState handledState =
        crashTimeState.isObject()
            ? KestrixHandledState::fromDictionary(crashTimeState.toObject())
            : KestrixHandledState(errorType == QLatin1String("signal") ? KestrixSeverityReason::Signal
                                                                       : KestrixSeverityReason::UnhandledException,
                                  KestrixSeverity::Error,
                                  !overridden,
                                  overridden,
                                  error.errorClass);

    for (auto it = userSection.begin(); it != userSection.end(); ++it) {
        if (it.value().isObject() && !reservedUserKeys().contains(it.key()) && !it.key().startsWith(QLatin1Char('_'))) {
            metadata.addMetadata(it.value().toObject(), it.key());
        }
    }

    KestrixDeviceWithState device = KestrixDeviceWithState::fromCrashReport(report);
    const KestrixUser user = userOf(report, device.id);
    const KestrixConfiguration config =
        KestrixConfiguration::fromDictionaryRepresentation(kxObject(userSection, "config"));
    KestrixAppWithState app = KestrixAppWithState::fromCrashReport(report, config, std::nullopt);
    auto session = KestrixSession::fromCrashReport(userSection, app, device, user);

    KestrixEvent event(std::move(app),
                       std::move(device),
                       std::move(handledState),
                       user,
                       std::move(metadata),
                       breadcrumbsOf(report),
                       {error},
                       std::move(threads),
                       std::move(session));

    // The context of the moment of the crash wins over the one the run was configured with.
    event.context = stringAt(report, QStringLiteral("user.overrides.context"));
    if (!event.context) {
        event.context = stringAt(report, QStringLiteral("user.state.client.context"));
    }
    if (!event.context && configValue(report, "context").isString()) {
        event.context = configValue(report, "context").toString();
    }
    event.groupingHash = stringAt(report, QStringLiteral("user.overrides.groupingHash"));
    const QJsonValue stages = configValue(report, "enabledReleaseStages");
    if (stages.isArray()) {
        QStringList list;
        for (const QJsonValue &stage : stages.toArray()) {
            if (stage.isString()) {
                list << stage.toString();
            }
        }
        event.enabledReleaseStages = list;
    }
    event.releaseStage = stringAt(report, QStringLiteral("user.overrides.releaseStage"));
    if (!event.releaseStage && configValue(report, "releaseStage").isString()) {
        event.releaseStage = configValue(report, "releaseStage").toString();
    }
    event.deviceAppHash = stringAt(report, QStringLiteral("system.device_app_hash"));
    event.featureFlagStore = KXMemoryFeatureFlagStore::fromJSON(firstPresent(report,
                                                                             {"user.overrides.featureFlags",
                                                                              "user.state.oom.featureFlags",
                                                                              "user.state.crash.featureFlags",
                                                                              "user.featureFlags"}));
    event.groupingDiscriminator = stringAt(report, QStringLiteral("user.state.client.groupingDiscriminator"));
    event.customException = customExceptionOf(report, error);
    event.depth = depth;
    const QJsonValue usage = userSection.value(QStringLiteral("_usage"));
    event.usage = usage.isObject() ? std::optional(usage.toObject()) : std::nullopt;
    const QJsonObject correlation = kxObject(userSection, "correlation");
    const auto traceId = kxString(correlation, "traceId");
    const auto spanId = kxString(correlation, "spanId");
    if ((traceId && !traceId->isEmpty()) || (spanId && !spanId->isEmpty())) {
        event.correlation = KestrixCorrelation{traceId, spanId};
    }
    return event;
}

} // namespace kestrix
