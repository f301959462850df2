// The client's events: handled errors through the notify pipeline, app hangs, and the previous
// run's end.
#include "crashreporter/client/KXAppHangDetector.h"
#include "crashreporter/client/KXCrashTimeUserSection.h"
#include "crashreporter/client/KXEventUploader.h"
#include "crashreporter/client/KXUsageTelemetry.h"
#include "crashreporter/client/KestrixBreadcrumbs.h"
#include "crashreporter/client/KestrixClient.h"
#include "crashreporter/client/KestrixSessionTracker.h"
#include "crashreporter/client/KestrixSystemState.h"
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/model/KXReportMetadata.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KXRunContext.h"
#include "crashreporter/support/KX_CrashCore.h"
#include "crashreporter/support/KX_SystemInfo.h"

#include <QFile>
#include <QTimeZone>

#include <cxxabi.h>
#include <execinfo.h>

#include <typeinfo>

namespace kestrix {

namespace {

constexpr uint64_t DefaultHangThreshold = 0x7FFFFFFF;
constexpr double SecondsFrom1970To2001 = 978307200.0;

std::vector<uintptr_t> callerAddresses(int depth)
{
    void *frames[KestrixThread::MaxLiveFrames];
    const int count = backtrace(frames, static_cast<int>(KestrixThread::MaxLiveFrames));
    std::vector<uintptr_t> addresses;
    for (int i = depth + 1; i < count; i++) { // and this function's own frame
        addresses.push_back(reinterpret_cast<uintptr_t>(frames[i]));
    }
    return addresses;
}

QString typeName(const std::exception &exception)
{
    int status = 0;
    char *readable = abi::__cxa_demangle(typeid(exception).name(), nullptr, nullptr, &status);
    const QString name = QString::fromUtf8(status == 0 && readable != nullptr ? readable : typeid(exception).name());
    free(readable);
    return name;
}

QJsonObject readObject(const QString &path)
{
    return KXJSONSerialization::readObjectFromFile(path).value_or(QJsonObject());
}

} // namespace

void KestrixClient::notify(const std::exception &exception, const KestrixOnErrorBlock &block, int depth)
{
    KestrixError error;
    error.errorClass = typeName(exception);
    error.errorMessage = QString::fromUtf8(exception.what());
    notifyWithError(std::move(error),
                    KestrixHandledState::withReason(KestrixSeverityReason::HandledException),
                    *m_metadata,
                    context(),
                    block,
                    depth + 1);
}

void KestrixClient::notifyError(const KestrixErrorRecord &record, const KestrixOnErrorBlock &block, int depth)
{
    KestrixMetadata metadata = *m_metadata;
    QJsonObject section{{QStringLiteral("code"), record.code}, {QStringLiteral("domain"), record.domain}};
    if (record.failureReason) {
        section.insert(QStringLiteral("reason"), *record.failureReason);
    }
    if (!record.userInfo.isEmpty()) {
        section.insert(QStringLiteral("userInfo"), record.userInfo);
    }
    metadata.addMetadata(section, QStringLiteral("nserror"));
    KestrixError error;
    error.errorClass = QStringLiteral("KestrixErrorRecord");
    error.errorMessage = record.description;
    notifyWithError(std::move(error),
                    KestrixHandledState::withReason(KestrixSeverityReason::HandledError),
                    std::move(metadata),
                    context().value_or(QStringLiteral("%1 (%2)").arg(record.domain).arg(record.code)),
                    block,
                    depth + 1);
}

void KestrixClient::notifyWithError(KestrixError error,
                                    KestrixHandledState handledState,
                                    KestrixMetadata metadata,
                                    std::optional<QString> context,
                                    const KestrixOnErrorBlock &block,
                                    int depth)
{
    const std::vector<uintptr_t> addresses = callerAddresses(depth);
    error.stacktrace = KestrixStackframe::fromBacktrace(addresses.data(), addresses.size());
    std::vector<KestrixThread> threads;
    if (m_configuration.sendThreads == KestrixThreadSendPolicy::Always) {
        threads = KestrixThread::allThreads(true, addresses);
    }
    const QJsonObject systemInfo = currentSystemInfo();
    KestrixEvent event(generateAppWithState(systemInfo),
                       generateDeviceWithState(systemInfo),
                       handledState,
                       user().withId(),
                       std::move(metadata),
                       breadcrumbs(),
                       {std::move(error)},
                       std::move(threads),
                       std::nullopt);
    if (const auto apiKey = m_configuration.apiKey()) {
        event.setApiKey(*apiKey);
    }
    event.context = std::move(context);
    {
        std::lock_guard lock(m_mutex);
        event.groupingDiscriminator = m_groupingDiscriminator;
    }
    notifyInternal(std::move(event), block);
}

void KestrixClient::notifyInternal(KestrixEvent event, const KestrixOnErrorBlock &block)
{
    if (!m_configuration.shouldSendReports() || !event.shouldBeSent()) {
        kxLogInfo(QStringLiteral("Discarding error because releaseStage '%1' not in enabledReleaseStages")
                      .arg(m_configuration.releaseStage.value_or(QString())));
        return;
    }
    const QString errorClass = event.errors.empty() ? QString() : event.errors.front().errorClass.value_or(QString());
    if (m_configuration.shouldDiscardErrorClass(errorClass)) {
        kxLogInfo(QStringLiteral("Discarding event because errorClass \"%1\" matched configuration.discardClasses")
                      .arg(errorClass));
        return;
    }
    addRunContextMetadata(event.metadata);
    if (event.featureFlagStore.isEmpty()) {
        event.featureFlagStore = m_featureFlagStore->copyMemoryStore();
    }
    event.user = event.user.value_or(KestrixUser()).withId();

    const bool unhandled = event.unhandled();
    if (block) {
        try {
            if (!block(event)) {
                return;
            }
        } catch (const std::exception &exception) {
            kxLogError(QStringLiteral("Error from onError callback: %1").arg(QString::fromUtf8(exception.what())));
        }
    }
    if (event.unhandled() != unhandled) {
        event.notifyUnhandledOverridden();
    }
    if (m_sessionTracker) {
        m_sessionTracker->incrementEventCountUnhandled(event.handledState.unhandled);
        event.session = m_sessionTracker->runningSession();
    }
    event.usage = kxUsageTelemetry(m_configuration);

    QJsonObject breadcrumbMetadata{{QStringLiteral("errorClass"), errorClass},
                                   {QStringLiteral("unhandled"), event.unhandled()},
                                   {QStringLiteral("severity"), KestrixHandledState::severityName(event.severity())}};
    if (!event.errors.empty() && !event.errors.front().errorMessage.value_or(QString()).isEmpty()) {
        breadcrumbMetadata.insert(QStringLiteral("name"), *event.errors.front().errorMessage);
    }
    if (event.handledState.originalUnhandledValue()) {
        m_eventUploader->storeEvent(event);
        m_eventUploader->uploadStoredEventsAfterDelay(std::chrono::seconds(1));
    } else {
        m_eventUploader->uploadEvent(std::move(event));
    }
    addAutoBreadcrumb(KestrixBreadcrumbType::Error, errorClass, breadcrumbMetadata);
}

KestrixAppWithState KestrixClient::generateAppWithState(const QJsonObject &systemInfo) const
{
    KestrixAppWithState app =
        KestrixAppWithState::fromCrashReport({{QStringLiteral("system"), systemInfo}}, m_configuration, codeBundleId());
    if (const KXRunContextData *context = kxrunContext()) {
        app.isLaunching = __atomic_load_n(&context->isLaunching, __ATOMIC_RELAXED);
    }
    return app;
}

KestrixDeviceWithState KestrixClient::generateDeviceWithState(const QJsonObject &systemInfo) const
{
    KestrixDeviceWithState device = KestrixDeviceWithState::fromCrashReport({{QStringLiteral("system"), systemInfo}});
    device.time = QDateTime::currentDateTimeUtc();
    return device;
}

namespace {

void addContextSections(KestrixMetadata &metadata, const KXRunContextData &context)
{
    const QJsonObject app = kxAppMemoryMetadata(&context);
    if (!app.isEmpty()) {
        metadata.addMetadata(app, QStringLiteral("app"));
    }
    metadata.addMetadata(
        KXRunContext::thermalStateName(context.thermalState), QStringLiteral("thermalState"), QStringLiteral("device"));
}

// A hang file left by a run that did not go on to exit normally: the hang ended that run.
bool hangEndedLastRun()
{
    const KXRunContextData *previous = KXRunContext::previous();
    return previous == nullptr || !previous->isTerminating;
}

} // namespace

void KestrixClient::addRunContextMetadata(KestrixMetadata &metadata) const
{
    if (const KXRunContextData *context = kxrunContext()) {
        addContextSections(metadata, *context);
    }
}

std::shared_future<KestrixPreviousRun> KestrixClient::readPreviousRun(const KXFileLocations &locations) const
{
    KestrixPreviousRun previous;
    if (const KXRunContextData *context = KXRunContext::previous()) {
        previous.context = *context;
    }
    // Replaced on this thread at start; the other files are replaced through the file-system queue.
    previous.featureFlags = m_featureFlagStore->persistedFlags();
    auto read = std::make_shared<std::promise<KestrixPreviousRun>>();
    std::shared_future<KestrixPreviousRun> future = read->get_future().share();
    KXFileSystemQueue::shared().async([read,
                                       previous = std::move(previous),
                                       breadcrumbs = m_breadcrumbStore.get(),
                                       state = locations.state,
                                       metadata = locations.metadata,
                                       configuration = locations.configuration]() mutable {
        previous.state = readObject(state);
        previous.metadata = readObject(metadata);
        previous.configuration = KXJSONSerialization::readObjectFromFile(configuration);
        previous.breadcrumbs = breadcrumbs->cachedBreadcrumbs();
        read->set_value(std::move(previous));
    });
    return future;
}

void KestrixClient::computeDidCrashLastLaunch()
{
    const QString flag = KXFileLocations::current().flagHandledCrash;
    const KXRunContextData *previous = KXRunContext::previous();
    bool crashed = false;
    if (KX_CrashCore::sharedInstance().crashState().crashedLastLaunch || QFile::exists(flag)) {
        kxLogInfo(QStringLiteral("Last run terminated due to a crash."));
        QFile::remove(flag);
        crashed = true;
    } else {
        m_appHangFromLastLaunch = readAppHangFile();
        if (m_appHangFromLastLaunch && hangEndedLastRun()) {
            kxLogInfo(QStringLiteral("Last run terminated during an app hang."));
            crashed = true;
        } else if (m_appHangFromLastLaunch && m_configuration.appHangThresholdMillis() == DefaultHangThreshold) {
            m_appHangFromLastLaunch.reset();
        }
        if (!crashed && m_configuration.autoDetectErrors && previous != nullptr
            && KXRunContext::lastRunEndedUnexpectedly() && previous->thermalState == 3) {
            kxLogInfo(QStringLiteral("Last run terminated during a critical thermal state."));
            if (m_configuration.enabledErrorTypes.thermalKills) {
                m_thermalKillLastLaunch = true;
                m_appHangFromLastLaunch.reset();
            }
            crashed = true;
        }
    }
    m_lastRunInfo.crashed = crashed;
    m_lastRunInfo.crashedDuringLaunch = crashed && previous != nullptr && previous->isLaunching;
    m_systemState->setConsecutiveLaunchCrashes(
        m_lastRunInfo.crashedDuringLaunch ? m_systemState->consecutiveLaunchCrashes() + 1 : 0);
    m_lastRunInfo.consecutiveLaunchCrashes = m_systemState->consecutiveLaunchCrashes();
    if (m_lastRunInfo.crashedDuringLaunch) {
        // On disk before start returns: a launch that crashes again before the file queue gets to it must
        // still leave the count raised. Only after a launch crash, so a normal start stays off the disk.
        m_systemState->sync();
    }
}

std::optional<QJsonObject> KestrixClient::readAppHangFile()
{
    const QString path = KXFileLocations::current().appHangEvent;
    QFile file(path);
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        kxLogError(QStringLiteral("Could not read app_hang.json: %1").arg(file.errorString()));
        m_keepAppHangFile = true; // it may be readable at the next start
        return std::nullopt;
    }
    const auto json = KXJSONSerialization::objectFromData(file.readAll());
    if (!json) {
        kxLogError(QStringLiteral("Could not parse app_hang.json"));
    }
    return json;
}

std::optional<KestrixEvent> KestrixClient::appHangEventFromLastLaunch(const QJsonObject &json) const
{
    KestrixEvent event = KestrixEvent::fromJson(json);
    if (hangEndedLastRun()) {
        if (!event.errors.empty()) {
            event.errors.front().errorMessage = QStringLiteral("The app was terminated while unresponsive");
        }
        event.handledState =
            KestrixHandledState(KestrixSeverityReason::AppHang, KestrixSeverity::Error, true, false, std::nullopt);
        if (event.session) {
            event.session->unhandledCount += 1;
        }
        return event;
    }
    if (event.session) {
        event.session->handledCount += 1;
    }
    return event;
}

std::optional<KestrixEvent> KestrixClient::eventFromLastLaunch() const
{
    if (m_appHangFromLastLaunch) {
        return appHangEventFromLastLaunch(*m_appHangFromLastLaunch);
    }
    if (!m_thermalKillLastLaunch) {
        return std::nullopt;
    }
    KestrixError error;
    error.errorClass = QStringLiteral("Thermal Kill");
    error.errorMessage =
        QStringLiteral("The app was terminated by the operating system due to a critical thermal state");
    return generateEventForLastLaunch(error, KestrixHandledState::withReason(KestrixSeverityReason::ThermalKill));
}

// On the worker, ahead of every delivery: the previous run's event goes to events/ first, so a
// crash now or a full queue cannot lose it, and only then the hang file.
void KestrixClient::storeEventFromLastLaunch()
{
    if (const auto event = eventFromLastLaunch()) {
        m_eventUploader->storeEvent(*event);
    }
    if (!m_keepAppHangFile) { // one that could not be read stays for the next start
        QFile::remove(KXFileLocations::current().appHangEvent);
    }
}

std::optional<KestrixEvent> KestrixClient::generateEventForLastLaunch(const KestrixError &error,
                                                                      const KestrixHandledState &handledState) const
{
    const KestrixPreviousRun &previous = m_previousRun.get();
    if (!previous.context) {
        return std::nullopt;
    }
    const KXRunContextData &context = *previous.context;
    // The app and device that ran then, which an update since may have changed; this run's only
    // when the previous one left no record of them.
    const QJsonObject launchState = m_systemState->lastLaunchState();
    const QJsonObject lastApp = launchState.value(QStringLiteral("app")).toObject();
    const QJsonObject lastDevice = launchState.value(QStringLiteral("device")).toObject();
    const QJsonObject systemInfo =
        lastApp.isEmpty() || lastDevice.isEmpty() ? KX_SystemInfo::systemInfo() : QJsonObject();
    KestrixAppWithState app;
    if (lastApp.isEmpty()) {
        app = generateAppWithState(systemInfo);
    } else {
        app = KestrixAppWithState::fromJson(lastApp);
        app.dsymUuid = kxString(lastApp, "machoUUID");
    }
    app.inForeground = context.isForeground;
    app.isLaunching = context.isLaunching;
    if (previous.configuration) {
        app.setValuesFromConfiguration(KestrixConfiguration::fromDictionaryRepresentation(*previous.configuration));
    }
    KestrixDeviceWithState device =
        lastDevice.isEmpty() ? KestrixDeviceWithState::fromCrashReport({{QStringLiteral("system"), systemInfo}})
                             : KestrixDeviceWithState::fromJson(lastDevice);
    device.manufacturer = KestrixDevice::currentManufacturer();
    if (context.timestamp > 0) {
        device.time = QDateTime::fromMSecsSinceEpoch(
            static_cast<qint64>((context.timestamp + SecondsFrom1970To2001) * 1000), QTimeZone::utc());
    }
    device.freeMemory = static_cast<qint64>(kxrunContextMemory(&context).memoryAvailable);

    KestrixMetadata metadata(previous.metadata);
    addContextSections(metadata, context);
    const KestrixUser user = KestrixUser::fromJson(previous.state.value(QStringLiteral("user")).toObject());
    std::optional<KestrixSession> session = KestrixSession::fromRunContext(&context, app, device, user);
    if (session) {
        session->unhandledCount += 1;
    }
    KestrixEvent event(app, device, handledState, user, metadata, previous.breadcrumbs, {error}, {}, session);
    const QJsonObject client = previous.state.value(QStringLiteral("client")).toObject();
    if (client.value(QStringLiteral("context")).isString()) {
        event.context = client.value(QStringLiteral("context")).toString();
    }
    if (client.value(QStringLiteral("groupingDiscriminator")).isString()) {
        event.groupingDiscriminator = client.value(QStringLiteral("groupingDiscriminator")).toString();
    }
    event.addFeatureFlags(previous.featureFlags);
    if (const auto apiKey = m_configuration.apiKey()) {
        event.setApiKey(*apiKey);
    }
    return event;
}

std::optional<KestrixEvent> KestrixClient::lostCrashEvent(const QJsonObject &minimalReport) const
{
    const KestrixError crash = KestrixError::fromCrashReport(minimalReport, {});
    const KestrixSeverityReason reason = minimalReport.value(QStringLiteral("crash"))
                                                     .toObject()
                                                     .value(QStringLiteral("error"))
                                                     .toObject()
                                                     .value(QStringLiteral("type"))
                                                     .toString()
                                                 == QLatin1String("signal")
                                             ? KestrixSeverityReason::Signal
                                             : KestrixSeverityReason::UnhandledException;
    KestrixHandledState state = KestrixHandledState::withReason(reason, KestrixSeverity::Error);
    state.unhandled = true;
    return generateEventForLastLaunch(crash, state);
}

QJsonObject KestrixClient::currentSystemInfo()
{
    return KX_SystemInfo::systemInfo(&KX_CrashCore::sharedInstance().crashState());
}

void KestrixClient::appHangDetected(const QDateTime &date,
                                    const std::vector<KestrixThread> &threads,
                                    const QJsonObject &systemInfo)
{
    KestrixError error;
    error.errorClass = QStringLiteral("App Hang");
    error.errorMessage = QStringLiteral("The app's main thread failed to respond to an event within %1 milliseconds")
                             .arg(m_configuration.appHangThresholdMillis());
    if (!threads.empty()) {
        error.stacktrace = threads.front().stacktrace;
    }
    KestrixDeviceWithState device = generateDeviceWithState(systemInfo);
    device.time = date;
    KestrixMetadata metadata = *m_metadata;
    addRunContextMetadata(metadata);
    KestrixEvent event(
        generateAppWithState(systemInfo),
        device,
        KestrixHandledState(KestrixSeverityReason::AppHang, KestrixSeverity::Warning, false, false, std::nullopt),
        user().withId(),
        metadata,
        m_breadcrumbStore->breadcrumbsBeforeDate(date),
        {error},
        threads,
        m_sessionTracker ? m_sessionTracker->runningSession() : std::nullopt);
    if (const auto apiKey = m_configuration.apiKey()) {
        event.setApiKey(*apiKey);
    }
    event.context = context();
    {
        std::lock_guard lock(m_mutex);
        event.groupingDiscriminator = m_groupingDiscriminator;
    }
    event.featureFlagStore = m_featureFlagStore->copyMemoryStore();
    event.symbolicateIfNeeded();
    const QByteArray json = event.toJsonData(m_configuration.redactedKeys);
    {
        std::lock_guard lock(m_mutex);
        m_appHangEvent = std::move(event);
    }
    QString failure;
    if (!KXFileSystemQueue::writeFile(KXFileLocations::current().appHangEvent, json, &failure)) {
        kxLogError(QStringLiteral("Could not write app_hang.json: %1").arg(failure));
    }
}

void KestrixClient::appHangEnded()
{
    QFile file(KXFileLocations::current().appHangEvent);
    if (file.exists() && !file.remove()) {
        kxLogError(QStringLiteral("Could not delete app_hang.json: %1").arg(file.errorString()));
    }
    std::optional<KestrixEvent> event;
    {
        std::lock_guard lock(m_mutex);
        event = std::exchange(m_appHangEvent, std::nullopt);
    }
    if (event && m_configuration.appHangThresholdMillis() != DefaultHangThreshold) {
        notifyInternal(std::move(*event));
    }
}

void KestrixClient::startAppHangDetector()
{
    m_appHangDetector = std::make_unique<KXAppHangDetector>();
    m_appHangDetector->start(this);
}

} // namespace kestrix
