#pragma once

#include "crashreporter/model/KestrixApp.h"
#include "crashreporter/model/KestrixBreadcrumb.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/model/KestrixCorrelation.h"
#include "crashreporter/model/KestrixDevice.h"
#include "crashreporter/model/KestrixError.h"
#include "crashreporter/model/KestrixHandledState.h"
#include "crashreporter/model/KestrixMetadata.h"
#include "crashreporter/model/KestrixSession.h"
#include "crashreporter/model/KestrixThread.h"
#include "crashreporter/model/KestrixUser.h"
#include "crashreporter/support/KXMemoryFeatureFlagStore.h"

#include <QJsonObject>
#include <QStringList>

#include <any>
#include <optional>
#include <vector>

namespace kestrix {

// One error report: what went wrong, the threads, app, device and user at the time, breadcrumbs,
// metadata, feature flags and session. Built for a handled error, from stored JSON, or from the
// crash report of a previous run.
class KestrixEvent
{
public:
    KestrixEvent(KestrixAppWithState app,
                 KestrixDeviceWithState device,
                 KestrixHandledState handledState,
                 std::optional<KestrixUser> user,
                 KestrixMetadata metadata,
                 std::vector<KestrixBreadcrumb> breadcrumbs,
                 std::vector<KestrixError> errors,
                 std::vector<KestrixThread> threads,
                 std::optional<KestrixSession> session);

    // A crash report as delivery reads it (after kxFixupCrashReport). None for an empty report,
    // an out-of-memory marker, or crash-time event data that is not an object.
    static std::optional<KestrixEvent> fromCoreReport(const QJsonObject &report);
    // An event as toJsonWithRedactedKeys() wrote it; wrongly typed members count as absent.
    static KestrixEvent fromJson(const QJsonObject &json);

    // The payload form, with the values of keys that match `redactedKeys` (in metadata and
    // breadcrumb metadata, through objects and lists) replaced by "[REDACTED]".
    QJsonObject toJsonWithRedactedKeys(const std::vector<KestrixStringOrPattern> &redactedKeys) const;
    // The same as compact JSON text, written directly: what an upload sends.
    QByteArray toJsonData(const std::vector<KestrixStringOrPattern> &redactedKeys) const;

    // Whether the event's release stage is enabled by the stages of its run.
    bool shouldBeSent() const;

    const std::optional<QString> &apiKey() const { return m_apiKey; }
    // Takes only a valid key.
    void setApiKey(const QString &apiKey);
    KestrixSeverity severity() const { return handledState.currentSeverity; }
    void setSeverity(KestrixSeverity severity) { handledState.currentSeverity = severity; }
    bool unhandled() const { return handledState.unhandled; }
    void setUnhandled(bool unhandled) { handledState.unhandled = unhandled; }
    void notifyUnhandledOverridden() { handledState.unhandledOverridden = true; }
    void
    setUser(const std::optional<QString> &id, const std::optional<QString> &email, const std::optional<QString> &name);
    void setCorrelation(const std::optional<QString> &traceId, const std::optional<QString> &spanId);
    void attachCustomStacktrace(const QJsonArray &frames, const QString &type);

    KestrixFeatureFlags featureFlags() const { return featureFlagStore.allFlags(); }
    void addFeatureFlag(const QString &name, const std::optional<QString> &variant = std::nullopt);
    void addFeatureFlags(const KestrixFeatureFlags &flags);
    void clearFeatureFlag(const QString &name);
    void clearFeatureFlags();

    void symbolicateIfNeeded();
    // Drops the oldest breadcrumbs until their JSON accounts for `bytes`, leaving one note in their place.
    void trimBreadcrumbs(qsizetype bytes);
    // Cuts the context, error texts, breadcrumb texts and metadata strings to `maxLength` characters.
    void truncateStrings(qsizetype maxLength);
    // The kinds of stack frame the event carries.
    QStringList stacktraceTypes() const;

    std::optional<QString> context;
    std::optional<QString> groupingDiscriminator;
    std::vector<KestrixError> errors;
    std::optional<QString> groupingHash;
    std::vector<KestrixBreadcrumb> breadcrumbs;
    KestrixDeviceWithState device;
    KestrixAppWithState app;
    std::vector<KestrixThread> threads;
    // What the event was made from (an exception, an error record); never serialised.
    std::any originalError;
    std::optional<KestrixUser> user;
    std::optional<QString> codeBundleId;
    std::optional<QJsonObject> customException;
    uint64_t depth = 0;
    std::optional<QString> deviceAppHash;
    std::optional<QStringList> enabledReleaseStages;
    KestrixHandledState handledState;
    KestrixMetadata metadata;
    std::optional<QString> releaseStage;
    std::optional<KestrixSession> session;
    std::optional<QJsonObject> usage;
    std::optional<KestrixCorrelation> correlation;
    KXMemoryFeatureFlagStore featureFlagStore;

private:
    static std::optional<KestrixEvent> fromUserData(const QJsonObject &report);
    static KestrixEvent fromCrashCoreReport(const QJsonObject &report);

    std::optional<QString> m_apiKey;
};

} // namespace kestrix
