#include "crashreporter/client/KestrixSessionTracker.h"

#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KX_SystemInfo.h"

#include <QUuid>

namespace kestrix {

KestrixSessionTracker::KestrixSessionTracker(const KestrixConfiguration &configuration,
                                             KXSessionUploader &uploader,
                                             std::function<KestrixUser()> currentUser)
    : m_configuration(configuration)
    , m_uploader(uploader)
    , m_currentUser(std::move(currentUser))
{
}

KestrixSessionTracker::~KestrixSessionTracker() = default;

void KestrixSessionTracker::start(plimsy::NotificationCenter &center, bool isInForeground)
{
    if (isInForeground) {
        startNewSessionIfAutoCaptureEnabled();
    }
    m_observerContext = std::make_unique<QObject>();
    for (const char *name : {"NSApplicationWillBecomeActiveNotification", "NSApplicationDidBecomeActiveNotification"}) {
        center.addObserver(
            QLatin1String(name), m_observerContext.get(), [this](const auto &) { handleAppForegroundEvent(); });
    }
    center.addObserver(QStringLiteral("NSApplicationDidResignActiveNotification"),
                       m_observerContext.get(),
                       [this](const auto &) { handleAppBackgroundEvent(); });
}

void KestrixSessionTracker::setCodeBundleId(const QString &codeBundleId)
{
    std::lock_guard lock(m_mutex);
    m_codeBundleId = codeBundleId;
}

void KestrixSessionTracker::startNewSessionIfAutoCaptureEnabled()
{
    if (m_configuration.autoTrackSessions) {
        startNewSession();
    }
}

void KestrixSessionTracker::startNewSession()
{
    // One rule for events and sessions: no stages, or an empty list, enables every stage.
    if (!KestrixConfiguration::isReleaseStageEnabled(m_configuration.enabledReleaseStages,
                                                     m_configuration.releaseStage)) {
        return;
    }
    // Without an intake the session is kept for the events' counts and sent nowhere.
    if (m_configuration.hasIntake() && !m_configuration.sessionURL()) {
        kxLogError(QStringLiteral("The session tracking endpoint has not been set. Session tracking is disabled"));
        return;
    }
    const QJsonObject report{{QStringLiteral("system"), KX_SystemInfo::systemInfo()}};
    std::optional<QString> codeBundleId;
    KestrixDevice device = KestrixDevice::fromCrashReport(report);
    {
        std::lock_guard lock(m_mutex);
        device.appendRuntimeInfo(m_extraRuntimeInfo);
        codeBundleId = m_codeBundleId;
    }
    const KestrixApp app = KestrixApp::fromCrashReport(report, m_configuration, codeBundleId);
    KestrixSession session(QUuid::createUuid().toString(QUuid::WithoutBraces),
                           QDateTime::currentDateTimeUtc(),
                           m_currentUser().withId(),
                           app,
                           device);
    for (const auto &callback : m_configuration.onSessionBlocks->callbacks()) {
        try {
            if (!callback(session)) {
                return;
            }
        } catch (const std::exception &exception) {
            kxLogError(QStringLiteral("Error from onSession callback: %1").arg(QString::fromUtf8(exception.what())));
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_currentSession = session;
        KestrixSession::updateRunContext(&*m_currentSession);
    }
    m_uploader.uploadSession(session);
}

void KestrixSessionTracker::pauseSession()
{
    std::lock_guard lock(m_mutex);
    if (m_currentSession) {
        m_currentSession->stopped = true;
    }
    KestrixSession::updateRunContext(nullptr);
}

bool KestrixSessionTracker::resumeSession()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_currentSession) {
            const bool wasStopped = std::exchange(m_currentSession->stopped, false);
            KestrixSession::updateRunContext(&*m_currentSession);
            return wasStopped;
        }
    }
    startNewSession();
    return false;
}

std::optional<KestrixSession> KestrixSessionTracker::runningSession() const
{
    std::lock_guard lock(m_mutex);
    if (!m_currentSession || m_currentSession->stopped) {
        return std::nullopt;
    }
    return m_currentSession;
}

void KestrixSessionTracker::incrementEventCountUnhandled(bool unhandled)
{
    std::lock_guard lock(m_mutex);
    if (!m_currentSession || m_currentSession->stopped) {
        return;
    }
    ++(unhandled ? m_currentSession->unhandledCount : m_currentSession->handledCount);
    KestrixSession::updateRunContext(&*m_currentSession);
}

void KestrixSessionTracker::addRuntimeVersionInfo(const QString &value, const QString &key)
{
    if (!value.isEmpty() && !key.isEmpty()) {
        std::lock_guard lock(m_mutex);
        m_extraRuntimeInfo.insert(key, value);
    }
}

void KestrixSessionTracker::handleAppBackgroundEvent()
{
    m_backgroundStartTime = QDateTime::currentDateTimeUtc();
}

void KestrixSessionTracker::handleAppForegroundEvent()
{
    bool hasSession = false;
    {
        std::lock_guard lock(m_mutex);
        hasSession = m_currentSession.has_value();
    }
    if (!hasSession
        || (m_backgroundStartTime
            && m_backgroundStartTime->secsTo(QDateTime::currentDateTimeUtc()) >= NewSessionAfterSeconds)) {
        startNewSessionIfAutoCaptureEnabled();
    }
    m_backgroundStartTime.reset();
}

} // namespace kestrix
