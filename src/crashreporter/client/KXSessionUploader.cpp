#include "crashreporter/client/KXSessionUploader.h"

#include "crashreporter/client/KXEventUploader.h"
#include "crashreporter/client/KXStoredReports.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace kestrix {

KXSessionUploader::KXSessionUploader(const KestrixConfiguration &configuration,
                                     KestrixNotifier notifier,
                                     QString sessionsDirectory,
                                     KXDeliveryQueue &queue)
    : m_configuration(configuration)
    , m_notifier(std::move(notifier))
    , m_sessionsDirectory(std::move(sessionsDirectory))
    , m_queue(queue)
{
}

QByteArray KXSessionUploader::payload(const KestrixSession &session, const KestrixNotifier &notifier)
{
    const QJsonObject entry{
        {QStringLiteral("id"), session.id},
        {QStringLiteral("startedAt"),
         session.startedAt.isValid() ? QJsonValue(KX_RFC3339DateTool::stringFromDate(session.startedAt))
                                     : QJsonValue()},
        {QStringLiteral("user"), session.user ? session.user->toJson() : QJsonObject()},
    };
    const QJsonObject body{
        {QStringLiteral("app"), session.app ? QJsonValue(session.app->toDict()) : QJsonValue()},
        {QStringLiteral("device"), session.device ? QJsonValue(session.device->toDictionary()) : QJsonValue()},
        {QStringLiteral("notifier"), notifier.toDict()},
        {QStringLiteral("sessions"), QJsonArray{entry}},
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

void KXSessionUploader::uploadSession(const KestrixSession &session)
{
    if (!m_configuration.hasIntake()) {
        return; // a session only counts starts: nothing to keep
    }
    m_queue.async([this, session] {
        switch (sendSession(session)) {
        case KXDeliveryStatus::Failed:
            storeSession(session);
            break;
        case KXDeliveryStatus::Delivered:
            sendStoredSessions(); // a success is the moment to retry older ones
            break;
        case KXDeliveryStatus::Undeliverable:
            break;
        }
    });
}

KXDeliveryStatus KXSessionUploader::sendSession(const KestrixSession &session)
{
    const auto apiKey = m_configuration.apiKey();
    if (!apiKey || apiKey->isEmpty()) {
        kxLogError(QStringLiteral("Cannot send session because no apiKey is configured."));
        return KXDeliveryStatus::Undeliverable;
    }
    const auto url = m_configuration.sessionURL();
    if (!url) {
        kxLogError(QStringLiteral("Cannot send session because no endpoint is configured."));
        return KXDeliveryStatus::Undeliverable;
    }
    QString error;
    const KXDeliveryStatus status =
        m_queue.post(*url,
                     payload(session, m_notifier),
                     {{"Kestrix-Api-Key", apiKey->toUtf8()}, {"Kestrix-Payload-Version", "1.0"}},
                     &error);
    if (status == KXDeliveryStatus::Delivered) {
        kxLogInfo(QStringLiteral("Sent session %1").arg(session.id));
    } else {
        kxLogWarning(QStringLiteral("Failed to send sessions: %1").arg(error));
    }
    return status;
}

void KXSessionUploader::storeSession(const KestrixSession &session)
{
    const QString path = QDir(m_sessionsDirectory).filePath(session.id + QStringLiteral(".json"));
    const QByteArray json = QJsonDocument(session.toJson()).toJson(QJsonDocument::Compact);
    bool written = false;
    KXFileSystemQueue::shared().async([&] { written = KXFileSystemQueue::writeFile(path, json); });
    KXFileSystemQueue::shared().waitUntilIdle();
    if (written) {
        pruneFiles();
    }
}

void KXSessionUploader::pruneFiles()
{
    QStringList files = kxSortedJsonFiles(m_sessionsDirectory);
    while (static_cast<uint64_t>(files.size()) > m_configuration.maxPersistedSessions()) {
        QFile::remove(files.takeFirst());
    }
}

void KXSessionUploader::processStoredSessions()
{
    if (!m_configuration.hasIntake()) {
        return;
    }
    m_queue.async([this] { sendStoredSessions(); });
}

void KXSessionUploader::sendStoredSessions()
{
    for (const QString &path : kxSortedJsonFiles(m_sessionsDirectory)) {
        if (kxFileCreationDate(path).secsTo(QDateTime::currentDateTimeUtc()) > KXEventUploader::MaxAgeSeconds) {
            QFile::remove(path);
            continue;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            continue; // kept until it can be read
        }
        const auto json = kxReadJsonObject(file.readAll());
        const auto session = json ? KestrixSession::fromJson(*json) : std::nullopt;
        if (!session) {
            QFile::remove(path);
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (m_activeIds.contains(path)) {
                continue;
            }
            m_activeIds.insert(path);
        }
        if (sendSession(*session) != KXDeliveryStatus::Failed) {
            QFile::remove(path);
        }
        std::lock_guard lock(m_mutex);
        m_activeIds.remove(path);
    }
}

} // namespace kestrix
