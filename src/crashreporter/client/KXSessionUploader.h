#pragma once

#include "crashreporter/client/KXDeliveryQueue.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/model/KestrixSession.h"

#include <QSet>
#include <QString>

#include <mutex>

namespace kestrix {

// Sends each new session at once on the delivery queue; one that fails but may succeed later waits
// in sessions/ until a send succeeds.
class KXSessionUploader
{
public:
    KXSessionUploader(const KestrixConfiguration &configuration,
                      KestrixNotifier notifier,
                      QString sessionsDirectory,
                      KXDeliveryQueue &queue);

    void uploadSession(const KestrixSession &session);
    // Stored sessions, oldest first, on the delivery queue.
    void processStoredSessions();

    // On the delivery queue.
    KXDeliveryStatus sendSession(const KestrixSession &session);
    void storeSession(const KestrixSession &session);
    void pruneFiles();
    static QByteArray payload(const KestrixSession &session, const KestrixNotifier &notifier);

private:
    void sendStoredSessions();

    const KestrixConfiguration &m_configuration;
    KestrixNotifier m_notifier;
    QString m_sessionsDirectory;
    KXDeliveryQueue &m_queue;
    std::mutex m_mutex;
    QSet<QString> m_activeIds;
};

} // namespace kestrix
