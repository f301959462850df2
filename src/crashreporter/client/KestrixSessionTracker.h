#pragma once

#include "crashreporter/client/KXSessionUploader.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/model/KestrixSession.h"
#include "platform/NotificationCenter.h"

#include <QDateTime>
#include <QJsonObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kestrix {

// Decides when a session starts (at launch, and on coming back after 30 s away), keeps its counts
// and the crash-time copy, and hands each new session to the uploader.
class KestrixSessionTracker
{
public:
    KestrixSessionTracker(const KestrixConfiguration &configuration,
                          KXSessionUploader &uploader,
                          std::function<KestrixUser()> currentUser);
    ~KestrixSessionTracker();

    void start(plimsy::NotificationCenter &center, bool isInForeground);
    void startNewSession();
    void startNewSessionIfAutoCaptureEnabled();
    void pauseSession();
    // Whether the session was stopped; without one, starts one and answers false.
    bool resumeSession();
    std::optional<KestrixSession> runningSession() const;
    void incrementEventCountUnhandled(bool unhandled);
    void addRuntimeVersionInfo(const QString &value, const QString &key);
    // The app of sessions started from now on carries it.
    void setCodeBundleId(const QString &codeBundleId);
    void handleAppForegroundEvent();
    void handleAppBackgroundEvent();

    static constexpr qint64 NewSessionAfterSeconds = 30;

private:
    const KestrixConfiguration &m_configuration;
    KXSessionUploader &m_uploader;
    std::function<KestrixUser()> m_currentUser;
    mutable std::mutex m_mutex;
    std::optional<KestrixSession> m_currentSession;
    std::optional<QDateTime> m_backgroundStartTime;
    std::optional<QString> m_codeBundleId;
    QJsonObject m_extraRuntimeInfo;
    std::unique_ptr<QObject> m_observerContext;
};

} // namespace kestrix
