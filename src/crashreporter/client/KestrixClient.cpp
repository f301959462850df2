// The client's construction and start, its breadcrumbs and sessions.
#include "crashreporter/client/KestrixClient.h"

#include "crashreporter/client/KXAppHangDetector.h"
#include "crashreporter/client/KXConnectivity.h"
#include "crashreporter/client/KXCrashTimeUserSection.h"
#include "crashreporter/client/KXEventUploader.h"
#include "crashreporter/client/KXInternalErrorReporter.h"
#include "crashreporter/client/KXNetworkBreadcrumb.h"
#include "crashreporter/client/KXNotificationBreadcrumbs.h"
#include "crashreporter/client/KXSessionUploader.h"
#include "crashreporter/client/KXUsageTelemetry.h"
#include "crashreporter/client/KestrixBreadcrumbs.h"
#include "crashreporter/client/KestrixSessionTracker.h"
#include "crashreporter/client/KestrixSystemState.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KXPersistentDeviceID.h"
#include "crashreporter/support/KXRunContext.h"
#include "crashreporter/support/KX_CrashCore.h"
#include "crashreporter/support/KX_SystemInfo.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSemaphore>
#include <QTimer>

namespace kestrix {

KestrixClient::KestrixClient(KestrixConfiguration configuration)
    : m_configuration(std::move(configuration))
{
    const KestrixUser configured = m_configuration.user();
    if (!configured.id) {
        m_configuration.setUser(KXPersistentDeviceID::current().external(), configured.email, configured.name);
    }
    m_state = KestrixMetadata(QJsonObject{
        {QStringLiteral("client"),
         QJsonObject{{QStringLiteral("context"),
                      m_configuration.context ? QJsonValue(*m_configuration.context) : QJsonValue(QJsonValue::Null)},
                     {QStringLiteral("groupingDiscriminator"), QJsonValue::Null}}},
        {QStringLiteral("user"), m_configuration.user().toJson()},
    });
    const KestrixNotifier notifier = m_configuration.notifier.value_or(KestrixNotifier());
    const KXFileLocations &locations = KXFileLocations::current();
    m_queue = std::make_unique<KXDeliveryQueue>(QStringLiteral("kestrix-deliver"));
    m_eventUploader = std::make_unique<KXEventUploader>(
        m_configuration, notifier, locations.events, locations.crashCoreReports, *m_queue);
    m_sessionUploader = std::make_unique<KXSessionUploader>(m_configuration, notifier, locations.sessions, *m_queue);
    m_breadcrumbStore = std::make_unique<KestrixBreadcrumbs>(m_configuration, locations.breadcrumbs);
    m_featureFlagStore = std::make_unique<KXCompositeFeatureFlagStore>(
        *m_configuration.featureFlagStore,
        std::make_unique<KXPersistentFeatureFlagStore>(locations.featureFlags),
        KXAtomicFeatureFlagStore::store());
    m_metadata = std::make_shared<KestrixMetadata>(*m_configuration.metadata);
}

KestrixClient::~KestrixClient()
{
    if (m_previousRun.valid()) {
        m_previousRun.wait(); // its reading uses the breadcrumb store
    }
    m_appHangDetector.reset();
    m_queue.reset(); // the jobs in hand end before the uploaders they use
}

void KestrixClient::start()
{
    const KXFileLocations &locations = KXFileLocations::current();
    KXRunContext::start(locations.runContext);
    KXCrashTimeUserSection::setHandledCrashFlagPath(locations.flagHandledCrash);
    KXCrashTimeUserSection::setCrashHandler(m_configuration.onCrashHandler);
    installCrashHandlers();
    m_systemState = std::make_unique<KestrixSystemState>(m_configuration, locations.systemState);

    const QJsonObject systemInfo = KX_SystemInfo::systemInfo();
    m_metadata->addMetadata(QJsonObject{{QStringLiteral("name"), QCoreApplication::applicationName()}},
                            QStringLiteral("app"));
    m_metadata->addMetadata(QJsonObject{{QStringLiteral("timezone"), systemInfo.value(QStringLiteral("time_zone"))},
                                        {QStringLiteral("simulator"), false},
                                        {QStringLiteral("wordSize"), 64}},
                            QStringLiteral("device"));

    // The previous run's files are replaced below: what its events need is read first.
    m_previousRun = readPreviousRun(locations);
    computeDidCrashLastLaunch();
    m_queue->async([this] { storeEventFromLastLaunch(); });

    if ((m_configuration.telemetry & 1) && m_configuration.hasIntake()) {
        KXInternalErrorReporter::setSharedInstance(std::make_shared<KXInternalErrorReporter>(
            m_configuration.apiKey().value_or(QString()), m_configuration.notifyURL().value_or(QUrl()), *m_queue));
    }
    m_eventUploader->setLostCrashEventBuilder(
        [this](const QJsonObject &minimalReport) { return lostCrashEvent(minimalReport); });

    if (const auto usage = kxUsageTelemetry(m_configuration)) {
        KXCrashTimeUserSection::setUsage(*usage);
    }
    KXCrashTimeUserSection::setConfiguration(m_configuration);
    const QByteArray configuration =
        QJsonDocument(m_configuration.dictionaryRepresentation()).toJson(QJsonDocument::Compact);
    KXFileSystemQueue::shared().async(
        [path = locations.configuration, configuration] { KXFileSystemQueue::writeFile(path, configuration); });
    // The crash-time buffers and their files hide what payloads hide.
    m_metadata->setRedactedKeys(m_configuration.redactedKeys);
    m_state.setRedactedKeys(m_configuration.redactedKeys);
    m_metadata->setStorageBuffer(&KXCrashTimeUserSection::metadataBuffer, locations.metadata);
    m_state.setStorageBuffer(&KXCrashTimeUserSection::stateBuffer, locations.state);
    m_breadcrumbStore->removeAllBreadcrumbs();
    m_featureFlagStore->synchronizeFlagsWithMemoryStore();

    setupConnectivityListener();
    m_notificationBreadcrumbs = std::make_unique<KXNotificationBreadcrumbs>(m_configuration, this);
    m_notificationBreadcrumbs->start();
    m_lifetime = std::make_unique<QObject>();
    auto &center = plimsy::NotificationCenter::defaultCenter();
    // What the system would post as the application ends.
    if (auto *application = QCoreApplication::instance()) {
        QObject::connect(application, &QCoreApplication::aboutToQuit, m_lifetime.get(), [this, &center] {
            center.post(QStringLiteral("NSApplicationWillTerminateNotification"));
            KXConnectivity::stopMonitoring();
            m_queue->shutDown(std::chrono::seconds(2));
            if (m_appHangDetector) {
                m_appHangDetector->stop();
            }
        });
    }
    m_readyForInternalCalls = true;

    m_sessionTracker =
        std::make_unique<KestrixSessionTracker>(m_configuration, *m_sessionUploader, [this] { return user(); });
    const KXRunContextData *context = kxrunContext();
    m_sessionTracker->start(center, context != nullptr && context->isForeground);
    addAutoBreadcrumb(KestrixBreadcrumbType::State, QStringLiteral("Kestrix loaded"));

    if (m_configuration.launchDurationMillis != 0) {
        m_appLaunchTimer = new QTimer(m_lifetime.get());
        m_appLaunchTimer->setSingleShot(true);
        QObject::connect(m_appLaunchTimer, &QTimer::timeout, m_lifetime.get(), [this] { markLaunchCompleted(); });
        m_appLaunchTimer->start(static_cast<int>(std::min<uint64_t>(m_configuration.launchDurationMillis, INT32_MAX)));
    }
    if (m_lastRunInfo.crashedDuringLaunch && m_configuration.sendLaunchCrashesSynchronously
        && m_configuration.hasIntake()) {
        sendLaunchCrashSynchronously();
    }
    m_eventUploader->uploadStoredEvents();
    startAppHangDetector();
    m_isStarted = true;
}

void KestrixClient::setupConnectivityListener()
{
    KXConnectivity::monitorURL(
        m_configuration.notifyURL().value_or(QUrl()), [this](bool connected, const QString &type) {
            if (connected) {
                m_eventUploader->uploadStoredEvents();
                m_sessionUploader->processStoredSessions();
            }
            addAutoBreadcrumb(
                KestrixBreadcrumbType::State, QStringLiteral("Connectivity changed"), {{QStringLiteral("type"), type}});
        });
}

void KestrixClient::installCrashHandlers()
{
    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setUserSectionCallback(&KXCrashTimeUserSection::write);
    core.setThreadTracingEnabled(m_configuration.sendThreads != KestrixThreadSendPolicy::Never);
    uint32_t types = 0;
    if (m_configuration.autoDetectErrors) {
        if (kxsentryIsDebuggerAttached()) {
            kxLogInfo(QStringLiteral("Unhandled errors will not be reported because a debugger is attached"));
        } else {
            types |= m_configuration.enabledErrorTypes.signals ? uint32_t(KXCrashTypeSignal) : 0U;
            types |= m_configuration.enabledErrorTypes.cppExceptions ? uint32_t(KXCrashTypeCPPException) : 0U;
        }
        // No crash-time delivery here: a crash report waits for the next launch whatever this says.
        (void)m_configuration.attemptDeliveryOnCrash;
    }
    if (core.install(types, KXFileLocations::current().crashCoreReports) == 0 && types != 0) {
        kxLogError(QStringLiteral("Failed to install crash handlers; no exceptions or crashes will be reported"));
    }
}

void KestrixClient::markLaunchCompleted()
{
    if (m_appLaunchTimer != nullptr) {
        m_appLaunchTimer->stop();
    }
    if (KXRunContextData *context = kxrunContext()) {
        __atomic_store_n(&context->isLaunching, false, __ATOMIC_RELAXED);
    }
    KXRunContext::updateTimestamp();
}

void KestrixClient::sendLaunchCrashSynchronously()
{
    kxLogInfo(QStringLiteral("Sending launch crash synchronously."));
    // The previous run's event is in events/ by now, the newest stored event or crash report.
    auto sent = std::make_shared<QSemaphore>();
    m_eventUploader->uploadLatestStoredEvent([sent] { sent->release(); });
    sent->tryAcquire(1, 2000);
}

bool KestrixClient::waitForDeliveries(std::chrono::milliseconds limit)
{
    return m_queue->waitUntilIdle(limit);
}

void KestrixClient::leaveBreadcrumb(const QString &message, const QJsonObject &metadata, KestrixBreadcrumbType type)
{
    KestrixBreadcrumb breadcrumb;
    breadcrumb.message = message;
    breadcrumb.metadata = metadata;
    breadcrumb.type = type;
    m_breadcrumbStore->addBreadcrumb(breadcrumb);
    KXRunContext::updateTimestamp();
}

void KestrixClient::leaveBreadcrumbForNotificationName(const QString &name)
{
    if (m_notificationBreadcrumbs) {
        m_notificationBreadcrumbs->startListeningForStateChangeNotification(name);
    }
}

void KestrixClient::leaveNetworkRequestBreadcrumb(const KXNetworkRequestInfo &request)
{
    if (m_configuration.shouldRecordBreadcrumbType(KestrixBreadcrumbType::Request)) {
        m_breadcrumbStore->addBreadcrumb(kxNetworkRequestBreadcrumb(request));
        KXRunContext::updateTimestamp();
    }
}

void KestrixClient::addAutoBreadcrumb(KestrixBreadcrumbType type, const QString &message, const QJsonObject &metadata)
{
    if (m_configuration.shouldRecordBreadcrumbType(type)) {
        leaveBreadcrumb(message, metadata, type);
    }
}

std::vector<KestrixBreadcrumb> KestrixClient::breadcrumbs() const
{
    return m_breadcrumbStore->breadcrumbs();
}

void KestrixClient::startSession()
{
    m_sessionTracker->startNewSession();
}

void KestrixClient::pauseSession()
{
    m_sessionTracker->pauseSession();
}

bool KestrixClient::resumeSession()
{
    return m_sessionTracker->resumeSession();
}

} // namespace kestrix
