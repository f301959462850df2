#pragma once

#include "crashreporter/client/KXBreadcrumbSink.h"
#include "crashreporter/client/KXDeliveryQueue.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/model/KestrixEvent.h"
#include "crashreporter/support/KXCompositeFeatureFlagStore.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

class QTimer;
class QObject;

namespace kestrix {

class KXAppHangDetector;
class KXFileLocations;
class KXEventUploader;
class KXNotificationBreadcrumbs;
class KXSessionUploader;
class KestrixBreadcrumbs;
class KestrixSessionTracker;
class KestrixSystemState;
struct KXNetworkRequestInfo;

// What went wrong where no exception is thrown: a domain, a code and texts.
struct KestrixErrorRecord
{
    QString domain;
    qint64 code = 0;
    QString description;
    std::optional<QString> failureReason;
    QJsonObject userInfo;
};

// How the previous run ended.
struct KestrixLastRunInfo
{
    uint64_t consecutiveLaunchCrashes = 0;
    bool crashed = false;
    bool crashedDuringLaunch = false;
};

using KestrixOnErrorBlock = std::function<bool(KestrixEvent &)>;

// What changed, for the client's observer; the numbers are stable.
enum class KestrixClientChange
{
    FeatureFlagAdded = 0,      // the flag
    FeatureFlagCleared = 1,    // its name, none when all were cleared
    Context = 2,               // the context, none when cleared
    Metadata = 3,              // the metadata
    User = 4,                  // the user
    GroupingDiscriminator = 5, // the discriminator, none when cleared
};
using KestrixClientChangeValue =
    std::variant<std::monostate, QString, KestrixFeatureFlag, KestrixMetadata, KestrixUser>;
using KestrixClientObserver = std::function<void(KestrixClientChange, const KestrixClientChangeValue &)>;

// What the previous run left, read at start before this run replaces it.
struct KestrixPreviousRun
{
    std::optional<KXRunContextData> context;
    QJsonObject state;
    QJsonObject metadata;
    std::optional<QJsonObject> configuration;
    std::vector<KestrixBreadcrumb> breadcrumbs;
    KestrixFeatureFlags featureFlags;
};

// The one client: owns the configuration copy, metadata, breadcrumbs, sessions, delivery and the
// hang detector; builds events for handled errors, hangs and the previous run's end.
class KestrixClient : public KXBreadcrumbSink
{
public:
    explicit KestrixClient(KestrixConfiguration configuration);
    ~KestrixClient() override;

    // Installs the crash handlers, reads how the previous run ended, starts the session and sends
    // what is waiting. GUI thread.
    void start();
    bool isStarted() const { return m_isStarted; }
    bool readyForInternalCalls() const { return m_readyForInternalCalls; }
    bool appDidCrashLastLaunch() const { return m_lastRunInfo.crashed; }
    const KestrixLastRunInfo &lastRunInfo() const { return m_lastRunInfo; }
    // This launch's app and device, and the previous launch's; made at start.
    const KestrixSystemState &systemState() const { return *m_systemState; }
    const KestrixConfiguration &configuration() const { return m_configuration; }
    void markLaunchCompleted();

    // Handled errors; any thread. `depth` frames of the caller's stack are left out.
    void notify(const std::exception &exception, const KestrixOnErrorBlock &block = {}, int depth = 1);
    void notifyError(const KestrixErrorRecord &error, const KestrixOnErrorBlock &block = {}, int depth = 1);
    void notifyInternal(KestrixEvent event, const KestrixOnErrorBlock &block = {});

    void leaveBreadcrumb(const QString &message, const QJsonObject &metadata, KestrixBreadcrumbType type) override;
    void addAutoBreadcrumb(KestrixBreadcrumbType type, const QString &message, const QJsonObject &metadata = {});
    // Leaves no breadcrumb now: every later posting of `name` leaves a state breadcrumb.
    void leaveBreadcrumbForNotificationName(const QString &name);
    // A request breadcrumb, when request breadcrumbs are recorded.
    void leaveNetworkRequestBreadcrumb(const KXNetworkRequestInfo &request);
    std::vector<KestrixBreadcrumb> breadcrumbs() const;

    void startSession();
    void pauseSession();
    bool resumeSession();

    // Each change below is told to the observer, on the changing thread.
    void setContext(const std::optional<QString> &context);
    std::optional<QString> context() const;
    KestrixUser user() const;
    void
    setUser(const std::optional<QString> &id, const std::optional<QString> &email, const std::optional<QString> &name);
    // Returns the previous one. Events made from now on carry it, crash reports too.
    std::optional<QString> setGroupingDiscriminator(const std::optional<QString> &discriminator);
    std::optional<QString> groupingDiscriminator() const;
    // The app of later events, sessions and crash reports carries it.
    void setCodeBundleId(const QString &codeBundleId);
    std::optional<QString> codeBundleId() const;

    void addMetadata(const QJsonValue &value, const QString &key, const QString &section);
    void addMetadata(const QJsonObject &values, const QString &section);
    std::optional<QJsonObject> getMetadata(const QString &section) const;
    QJsonValue getMetadata(const QString &section, const QString &key) const;
    void clearMetadata(const QString &section);
    void clearMetadata(const QString &section, const QString &key);

    void addFeatureFlag(const QString &name, const std::optional<QString> &variant = std::nullopt);
    void addFeatureFlags(const KestrixFeatureFlags &flags);
    void clearFeatureFlag(const QString &name);
    void clearFeatureFlags();

    // Told at once of the context, user, grouping discriminator, metadata and each flag, then of
    // every change. None stops the telling.
    void setObserver(KestrixClientObserver observer);

    KestrixCallbackToken addOnSession(std::function<KestrixOnSession> callback);
    void removeOnSession(KestrixCallbackToken token);
    KestrixCallbackToken addOnBreadcrumb(std::function<KestrixOnBreadcrumb> callback);
    void removeOnBreadcrumb(KestrixCallbackToken token);

    // The previous run's end, told from the state it left: the run's app, device, user, session,
    // metadata, breadcrumbs and flags with this error. None without a previous run context. Waits
    // for the previous run's files to be read: never on the file-system queue.
    std::optional<KestrixEvent> generateEventForLastLaunch(const KestrixError &error,
                                                           const KestrixHandledState &handledState) const;

    // The hang detector's delegate calls, on its thread.
    void
    appHangDetected(const QDateTime &date, const std::vector<KestrixThread> &threads, const QJsonObject &systemInfo);
    void appHangEnded();
    // The system facts with this run's durations so far, as a crash report has them. Any thread.
    static QJsonObject currentSystemInfo();

    // For tests and the benchmark: waits until the delivery queue has nothing left.
    bool waitForDeliveries(std::chrono::milliseconds limit);
    KXEventUploader &eventUploader() { return *m_eventUploader; }

private:
    void installCrashHandlers();
    void setupConnectivityListener();
    std::shared_future<KestrixPreviousRun> readPreviousRun(const KXFileLocations &locations) const;
    std::optional<KestrixEvent> lostCrashEvent(const QJsonObject &minimalReport) const;
    void computeDidCrashLastLaunch();
    std::optional<QJsonObject> readAppHangFile();
    std::optional<KestrixEvent> appHangEventFromLastLaunch(const QJsonObject &json) const;
    std::optional<KestrixEvent> eventFromLastLaunch() const;
    void storeEventFromLastLaunch();
    void sendLaunchCrashSynchronously();
    void startAppHangDetector();
    KestrixAppWithState generateAppWithState(const QJsonObject &systemInfo) const;
    KestrixDeviceWithState generateDeviceWithState(const QJsonObject &systemInfo) const;
    void addRunContextMetadata(KestrixMetadata &metadata) const;
    void tellObserver(KestrixClientChange change, const KestrixClientChangeValue &value) const;
    void notifyWithError(KestrixError error,
                         KestrixHandledState handledState,
                         KestrixMetadata metadata,
                         std::optional<QString> context,
                         const KestrixOnErrorBlock &block,
                         int depth);

    KestrixConfiguration m_configuration;
    std::unique_ptr<KXDeliveryQueue> m_queue;
    KestrixMetadata m_state;
    std::shared_ptr<KestrixMetadata> m_metadata;
    std::unique_ptr<KestrixBreadcrumbs> m_breadcrumbStore;
    std::unique_ptr<KXCompositeFeatureFlagStore> m_featureFlagStore;
    std::unique_ptr<KXEventUploader> m_eventUploader;
    std::unique_ptr<KXSessionUploader> m_sessionUploader;
    std::unique_ptr<KestrixSessionTracker> m_sessionTracker;
    std::unique_ptr<KXNotificationBreadcrumbs> m_notificationBreadcrumbs;
    std::unique_ptr<KXAppHangDetector> m_appHangDetector;
    std::unique_ptr<KestrixSystemState> m_systemState;
    std::unique_ptr<QObject> m_lifetime;
    QTimer *m_appLaunchTimer = nullptr;

    mutable std::mutex m_mutex;
    std::optional<QString> m_groupingDiscriminator;
    std::optional<QString> m_codeBundleId;
    mutable std::mutex m_observerMutex;
    KestrixClientObserver m_observer;
    std::optional<KestrixEvent> m_appHangEvent;
    // What stands for the previous run's end; its event is built on the worker.
    std::optional<QJsonObject> m_appHangFromLastLaunch;
    bool m_thermalKillLastLaunch = false;
    KestrixLastRunInfo m_lastRunInfo;
    // Read on the file-system queue ahead of the writes that replace those files; waited for only
    // where an event of the previous run is built.
    std::shared_future<KestrixPreviousRun> m_previousRun;
    bool m_keepAppHangFile = false;
    bool m_readyForInternalCalls = false;
    bool m_isStarted = false;
};

} // namespace kestrix
