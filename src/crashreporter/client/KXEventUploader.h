#pragma once

#include "crashreporter/client/KXDeliveryQueue.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/model/KestrixEvent.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kestrix {

// {"apiKey", "events": [the event], "notifier", "payloadVersion": "4.0"}, written directly.
QByteArray kxEventPayloadBody(const QString &apiKey, const QByteArray &eventJson, const KestrixNotifier &notifier);
// "Kestrix-Api-Key", "Kestrix-Payload-Version" and "Kestrix-Stacktrace-Types".
KXHeaderList kxEventHeaders(const QString &apiKey, const KestrixEvent &event);
// When the file was made; the modification time where the file system records no creation.
QDateTime kxFileCreationDate(const QString &path);
// The ".json" files of a directory, oldest first.
QStringList kxSortedJsonFiles(const QString &directory, const QString &excludedSuffix = {});

// Delivers events: in-memory ones, stored ones in events/ and the crash core's reports, one at a
// time on the delivery queue; deletes what was delivered or can never be, keeps the rest to retry,
// and sets aside, in an "unreadable" folder beside it, a stored file that cannot be read.
class KXEventUploader
{
public:
    // Makes the event of a crash whose standard report was lost, from the run's stored state and the
    // minimal report's error; none when there is no stored state.
    using LostCrashEventBuilder = std::function<std::optional<KestrixEvent>(const QJsonObject &minimalReport)>;

    KXEventUploader(const KestrixConfiguration &configuration,
                    KestrixNotifier notifier,
                    QString eventsDirectory,
                    QString crashReportsDirectory,
                    KXDeliveryQueue &queue);

    void setLostCrashEventBuilder(LostCrashEventBuilder builder);

    // Drops the event, with a warning, while `maxPersistedEvents` uploads are outstanding.
    void uploadEvent(KestrixEvent event, std::function<void()> completion = {});
    void uploadCrashCoreReportWithFile(const QString &file, std::function<void()> completion = {});
    // Writes the event, redacted, into events/ (before the call returns).
    void storeEvent(const KestrixEvent &event);
    void storeEventPayload(const QByteArray &eventJson);
    void uploadStoredEvents();
    void uploadStoredEventsAfterDelay(std::chrono::milliseconds delay);
    void uploadLatestStoredEvent(std::function<void()> completion);

    // Stored events, then crash reports, oldest first.
    QStringList sortedEventFiles() const;
    void deleteExcessFiles(QStringList &sortedFiles) const;

    static constexpr qsizetype MaxBodyBytes = 1'000'000;
    static constexpr qint64 MaxAgeSeconds = 60LL * 24 * 3600;

private:
    enum class Source
    {
        Memory,
        StoredEvent,
        CrashReport,
    };
    struct PendingPayload;
    struct Operation
    {
        Source source = Source::Memory;
        std::optional<KestrixEvent> event;
        QString file; // for an in-memory event, its copy in events/ once written
        std::function<void()> completion;
        std::shared_ptr<PendingPayload> pending;
    };

    void scan();
    void processRecrashReports();
    void enqueue(Operation operation);
    void storeInBackground(const Operation &operation);
    // Whether the operation's event lies in a file of its own.
    static bool isStored(const Operation &operation);
    void enqueueFiles(const QStringList &files);
    void run(Operation &operation);
    std::optional<KestrixEvent> load(Operation &operation, bool &unusable);
    std::optional<KestrixEvent> loadCrashReport(const QString &file, const QByteArray &bytes);
    void deleteEvent(const Operation &operation) const;
    void prepareForRetry(const Operation &operation, const QByteArray &payloadToKeep, qsizetype bodySize);
    void reportCorruptReport(const QString &file,
                             const QString &reason,
                             const QString &message,
                             const QStringList &sections);
    void finish(Operation &operation);

    const KestrixConfiguration &m_configuration;
    KestrixNotifier m_notifier;
    QString m_eventsDirectory;
    QString m_crashReportsDirectory;
    KXDeliveryQueue &m_queue;
    LostCrashEventBuilder m_lostCrashEventBuilder;

    mutable std::mutex m_mutex;
    QSet<QString> m_queuedFiles;
    size_t m_outstanding = 0;
    int m_scans = 0;
};

} // namespace kestrix
