#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/model/KXCallbackList.h"
#include "crashreporter/model/KXRedaction.h"
#include "crashreporter/model/KestrixBreadcrumb.h"
#include "crashreporter/model/KestrixEndpointConfiguration.h"
#include "crashreporter/model/KestrixErrorTypes.h"
#include "crashreporter/model/KestrixMetadata.h"
#include "crashreporter/model/KestrixNotifier.h"
#include "crashreporter/model/KestrixPlugin.h"
#include "crashreporter/model/KestrixUser.h"
#include "crashreporter/support/KXMemoryFeatureFlagStore.h"

#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kestrix {

class KestrixEvent;
class KestrixSession;

enum class KestrixThreadSendPolicy : int64_t
{
    Always = 0,
    UnhandledOnly = 1,
    Never = 2,
};

// Called while a crash report is written, with the report writer; must be async-signal-safe.
using KestrixOnCrashHandler = void (*)(const KXCrashReportWriter *writer);

using KestrixOnBreadcrumb = bool(KestrixBreadcrumb &);
using KestrixOnSendError = bool(KestrixEvent &);
using KestrixOnSession = bool(KestrixSession &);

// Every option of the crash reporter. Loaded from the settings' "kestrix" object; no operation
// throws: rejected values are logged and the option keeps its value.
class KestrixConfiguration
{
public:
    // The defaults, with the user persisted in the user defaults.
    explicit KestrixConfiguration(const std::optional<QString> &apiKey);
    KestrixConfiguration(KestrixConfiguration &&) = default;
    KestrixConfiguration &operator=(KestrixConfiguration &&) = default;

    // A copy that shares the feature flags, metadata and callback lists of this one and persists
    // the user when `persistUser` is on.
    KestrixConfiguration copy() const;

    // Reads the settings' "kestrix" object; then PLIMSY_CRASH_NOTIFY_URL and
    // PLIMSY_CRASH_SESSIONS_URL, when set, replace the endpoints. None, after an error line, when
    // the API key is not a string.
    static std::optional<KestrixConfiguration> loadConfig(const QJsonObject &settings);

    // "appType", "appVersion", "bundleVersion", "context", "enabledReleaseStages", "releaseStage".
    QJsonObject dictionaryRepresentation() const;
    // Those six options of a previous run and nothing else: no defaults.
    static KestrixConfiguration fromDictionaryRepresentation(const QJsonObject &dictionary);

    const std::optional<QString> &apiKey() const { return m_apiKey; }
    // Moves the endpoints to the key's default pair unless they are custom.
    void setApiKey(const std::optional<QString> &apiKey);
    const KestrixEndpointConfiguration &endpoints() const { return m_endpoints; }
    // Takes each address that is a URL with a scheme and a host; any other becomes empty.
    void setEndpoints(const KestrixEndpointConfiguration &endpoints);
    uint64_t appHangThresholdMillis() const { return m_appHangThresholdMillis; }
    void setAppHangThresholdMillis(uint64_t millis);
    uint64_t maxPersistedEvents() const { return m_maxPersistedEvents; }
    void setMaxPersistedEvents(uint64_t count);
    uint64_t maxPersistedSessions() const { return m_maxPersistedSessions; }
    void setMaxPersistedSessions(uint64_t count);
    uint64_t maxBreadcrumbs() const { return m_maxBreadcrumbs; }
    void setMaxBreadcrumbs(uint64_t count);
    bool persistUser() const { return m_persistUser; }
    // Off removes the persisted user; on writes the current one.
    void setPersistUser(bool persist);
    const KestrixUser &user() const { return m_user; }
    void
    setUser(const std::optional<QString> &id, const std::optional<QString> &email, const std::optional<QString> &name);

    std::optional<QUrl> notifyURL() const;
    std::optional<QUrl> sessionURL() const;
    bool shouldSendReports() const;
    // An API key and an events address: without them reports stay on disk and nothing is sent.
    bool hasIntake() const;
    // The one rule for events and sessions: no stages (none or an empty list) enables every stage.
    static bool isReleaseStageEnabled(const std::optional<QStringList> &enabledStages,
                                      const std::optional<QString> &stage);
    bool shouldDiscardErrorClass(const QString &errorClass) const;
    bool shouldRecordBreadcrumbType(KestrixBreadcrumbType type) const;
    // 32 hexadecimal digits.
    static bool isValidApiKey(const QString &apiKey);
    // False, after an error line, without an API key; a malformed key only warns.
    bool validate() const;

    KestrixCallbackToken addOnSendError(std::function<KestrixOnSendError> callback);
    void removeOnSendError(KestrixCallbackToken token);
    KestrixCallbackToken addOnSession(std::function<KestrixOnSession> callback);
    void removeOnSession(KestrixCallbackToken token);
    KestrixCallbackToken addOnBreadcrumb(std::function<KestrixOnBreadcrumb> callback);
    void removeOnBreadcrumb(KestrixCallbackToken token);
    void addPlugin(std::shared_ptr<KestrixPlugin> plugin);

    void addFeatureFlag(const QString &name, const std::optional<QString> &variant = std::nullopt);
    void addFeatureFlags(const KestrixFeatureFlags &flags);
    void clearFeatureFlag(const QString &name);
    void clearFeatureFlags();

    void addMetadata(const QJsonObject &values, const QString &section);
    void addMetadata(const QJsonValue &value, const QString &key, const QString &section);
    std::optional<QJsonObject> getMetadataFromSection(const QString &section) const;
    QJsonValue getMetadataFromSection(const QString &section, const QString &key) const;
    void clearMetadataFromSection(const QString &section);
    void clearMetadataFromSection(const QString &section, const QString &key);

    // Options without checks.
    std::optional<QString> releaseStage = QStringLiteral("production");
    std::optional<QStringList> enabledReleaseStages;
    std::vector<KestrixStringOrPattern> redactedKeys{QStringLiteral("password")};
    std::vector<KestrixStringOrPattern> discardClasses;
    std::optional<QString> context;
    std::optional<QString> appVersion;
    std::optional<QString> bundleVersion;
    std::optional<QString> appType = QStringLiteral("linux");
    KestrixThreadSendPolicy sendThreads = KestrixThreadSendPolicy::Always;
    KestrixOnCrashHandler onCrashHandler = nullptr;
    bool autoDetectErrors = true;
    bool reportBackgroundAppHangs = false;
    bool autoTrackSessions = true;
    bool sendLaunchCrashesSynchronously = true;
    bool attemptDeliveryOnCrash = false;
    uint64_t launchDurationMillis = 5000;
    // Bits by breadcrumb type: state 0x02, user 0x04, log 0x08, navigation 0x10, request 0x20,
    // process 0x40, error 0x80; manual breadcrumbs are always recorded.
    uint64_t enabledBreadcrumbTypes = 0xFE;
    uint64_t maxStringValueLength = 10000;
    KestrixErrorTypes enabledErrorTypes;
    // Bit 1: report the crash reporter's own errors; bit 2: usage telemetry.
    uint64_t telemetry = 3;
    std::shared_ptr<KXMemoryFeatureFlagStore> featureFlagStore = std::make_shared<KXMemoryFeatureFlagStore>();
    std::shared_ptr<KestrixMetadata> metadata = std::make_shared<KestrixMetadata>();
    std::vector<std::shared_ptr<KestrixPlugin>> plugins;
    std::optional<KestrixNotifier> notifier;
    std::shared_ptr<KXCallbackList<KestrixOnBreadcrumb>> onBreadcrumbBlocks =
        std::make_shared<KXCallbackList<KestrixOnBreadcrumb>>();
    std::shared_ptr<KXCallbackList<KestrixOnSendError>> onSendBlocks =
        std::make_shared<KXCallbackList<KestrixOnSendError>>();
    std::shared_ptr<KXCallbackList<KestrixOnSession>> onSessionBlocks =
        std::make_shared<KXCallbackList<KestrixOnSession>>();

private:
    struct Bare
    {
    };
    explicit KestrixConfiguration(Bare);

    std::optional<QString> m_apiKey;
    KestrixEndpointConfiguration m_endpoints;
    uint64_t m_appHangThresholdMillis = 0x7FFFFFFF;
    uint64_t m_maxPersistedEvents = 32;
    uint64_t m_maxPersistedSessions = 128;
    uint64_t m_maxBreadcrumbs = 100;
    bool m_persistUser = true;
    KestrixUser m_user;
};

} // namespace kestrix
