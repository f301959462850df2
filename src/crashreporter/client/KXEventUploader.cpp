#include "crashreporter/client/KXEventUploader.h"

#include "crashreporter/client/KXInternalErrorReporter.h"
#include "crashreporter/client/KXStoredReports.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXFilesystem.h"
#include "crashreporter/support/KXLogger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <future>

namespace kestrix {

namespace {

QByteArray jsonString(const QString &text)
{
    return QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1);
}

enum class ReadResult
{
    Read,
    Missing,
    Unreadable,
};

// A file that cannot be opened now (no descriptors left, no permission) may be readable later.
ReadResult readFile(const QString &path, QByteArray &bytes, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists() && errno == ENOENT) {
            return ReadResult::Missing;
        }
        error = file.errorString();
        return ReadResult::Unreadable;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return ReadResult::Unreadable;
    }
    return ReadResult::Read;
}

QString newEventPath(const QString &directory)
{
    return QDir(directory).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".json"));
}

void logStoreFailure(const QString &error)
{
    kxLogError(QStringLiteral("Error encountered while saving event payload for retry: %1").arg(error));
}

void removeOnFileQueue(const QString &path)
{
    KXFileSystemQueue::shared().async([path] {
        QFile file(path);
        if (file.exists() && !file.remove()) {
            kxLogError(QStringLiteral("Error while deleting file: %1").arg(file.errorString()));
        }
    });
    KXFileSystemQueue::shared().waitUntilIdle();
}

// The file goes into an "unreadable" folder beside it, out of every scan, where the newest `keep` stay.
void setAsideOnFileQueue(const QString &path, uint64_t keep)
{
    KXFileSystemQueue::shared().async([path, keep] {
        const QFileInfo info(path);
        const QString aside = info.dir().filePath(QStringLiteral("unreadable"));
        if (const std::optional<QString> error = KXFilesystem::makePrivateDirectory(aside)) {
            kxLogError(*error);
            return;
        }
        QFile file(path);
        if (!file.rename(QDir(aside).filePath(info.fileName()))) {
            kxLogError(QStringLiteral("Error while setting %1 aside: %2").arg(info.fileName(), file.errorString()));
            return;
        }
        kxLogInfo(QStringLiteral("Set %1 aside in %2").arg(info.fileName(), aside));
        QStringList kept = kxSortedJsonFiles(aside);
        while (static_cast<uint64_t>(kept.size()) > keep) {
            QFile::remove(kept.takeFirst());
        }
    });
    KXFileSystemQueue::shared().waitUntilIdle();
}

} // namespace

QByteArray kxEventPayloadBody(const QString &apiKey, const QByteArray &eventJson, const KestrixNotifier &notifier)
{
    return "{\"apiKey\":" + jsonString(apiKey) + ",\"events\":[" + eventJson + "],\"notifier\":"
           + QJsonDocument(notifier.toDict()).toJson(QJsonDocument::Compact) + ",\"payloadVersion\":\"4.0\"}";
}

KXHeaderList kxEventHeaders(const QString &apiKey, const KestrixEvent &event)
{
    return {{"Kestrix-Api-Key", apiKey.toUtf8()},
            {"Kestrix-Payload-Version", "4.0"},
            {"Kestrix-Stacktrace-Types", event.stacktraceTypes().join(QLatin1Char(',')).toUtf8()}};
}

QDateTime kxFileCreationDate(const QString &path)
{
    const QFileInfo info(path);
    const QDateTime born = info.birthTime();
    return born.isValid() ? born : info.lastModified();
}

QStringList kxSortedJsonFiles(const QString &directory, const QString &excludedSuffix)
{
    QList<std::pair<QDateTime, QString>> dated;
    const QDir dir(directory);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        if (!excludedSuffix.isEmpty() && name.endsWith(excludedSuffix)) {
            continue;
        }
        const QString path = dir.filePath(name);
        dated.append({kxFileCreationDate(path), path});
    }
    // Dates always exist (modification time at worst); names break ties so the order is stable.
    std::sort(dated.begin(), dated.end());
    QStringList paths;
    for (const auto &[date, path] : dated) {
        paths << path;
    }
    return paths;
}

// An in-memory event on its way into events/. The file queue writes it while the delivery queue
// may still be busy with an earlier request, so it is on disk before its own delivery starts.
struct KXEventUploader::PendingPayload
{
    explicit PendingPayload(KestrixEvent pendingEvent)
        : event(std::move(pendingEvent))
    {
    }

    KestrixEvent event;
    bool written = false;
    std::promise<void> done;
    std::future<void> finished = done.get_future();
};

KXEventUploader::KXEventUploader(const KestrixConfiguration &configuration,
                                 KestrixNotifier notifier,
                                 QString eventsDirectory,
                                 QString crashReportsDirectory,
                                 KXDeliveryQueue &queue)
    : m_configuration(configuration)
    , m_notifier(std::move(notifier))
    , m_eventsDirectory(std::move(eventsDirectory))
    , m_crashReportsDirectory(std::move(crashReportsDirectory))
    , m_queue(queue)
{
}

void KXEventUploader::setLostCrashEventBuilder(LostCrashEventBuilder builder)
{
    m_lostCrashEventBuilder = std::move(builder);
}

void KXEventUploader::uploadEvent(KestrixEvent event, std::function<void()> completion)
{
    if (!m_configuration.hasIntake()) {
        storeEvent(event); // kept for a build that has one
        if (completion) {
            completion();
        }
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_outstanding >= m_configuration.maxPersistedEvents()) {
            kxLogWarning(QStringLiteral("Dropping notification, %1 outstanding requests").arg(m_outstanding));
            if (completion) {
                completion();
            }
            return;
        }
    }
    enqueue({Source::Memory,
             std::nullopt,
             newEventPath(m_eventsDirectory),
             std::move(completion),
             std::make_shared<PendingPayload>(std::move(event))});
}

void KXEventUploader::uploadCrashCoreReportWithFile(const QString &file, std::function<void()> completion)
{
    enqueue({Source::CrashReport, std::nullopt, file, std::move(completion), nullptr});
}

void KXEventUploader::storeEvent(const KestrixEvent &event)
{
    KestrixEvent copy = event;
    copy.symbolicateIfNeeded();
    storeEventPayload(copy.toJsonData(m_configuration.redactedKeys));
}

void KXEventUploader::storeEventPayload(const QByteArray &eventJson)
{
    const QString path = newEventPath(m_eventsDirectory);
    bool written = false;
    KXFileSystemQueue::shared().async([&] {
        QString error;
        written = KXFileSystemQueue::writeFile(path, eventJson, &error);
        if (!written) {
            logStoreFailure(error);
        }
    });
    KXFileSystemQueue::shared().waitUntilIdle();
    if (written) {
        QStringList files = sortedEventFiles();
        deleteExcessFiles(files);
    }
}

void KXEventUploader::uploadStoredEvents()
{
    if (!m_configuration.hasIntake()) {
        // Nothing is sent; what is kept stays within its bound.
        m_queue.async([this] {
            QStringList files = sortedEventFiles();
            deleteExcessFiles(files);
        });
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_scans >= 2) {
            return;
        }
        ++m_scans;
    }
    m_queue.async([this] {
        scan();
        std::lock_guard lock(m_mutex);
        --m_scans;
    });
}

void KXEventUploader::uploadStoredEventsAfterDelay(std::chrono::milliseconds delay)
{
    m_queue.asyncAfter(delay, [this] { uploadStoredEvents(); });
}

void KXEventUploader::uploadLatestStoredEvent(std::function<void()> completion)
{
    m_queue.async([this, completion = std::move(completion)]() mutable {
        processRecrashReports();
        const QStringList files = sortedEventFiles();
        if (files.isEmpty()) {
            kxLogWarning(QStringLiteral("Could not find a stored event to upload"));
            completion();
            return;
        }
        const QString latest = files.constLast();
        Operation operation{QFileInfo(latest).absolutePath() == QFileInfo(m_crashReportsDirectory).absoluteFilePath()
                                ? Source::CrashReport
                                : Source::StoredEvent,
                            std::nullopt,
                            latest,
                            std::move(completion),
                            nullptr};
        run(operation);
        finish(operation);
    });
}

QStringList KXEventUploader::sortedEventFiles() const
{
    QStringList files = kxSortedJsonFiles(m_eventsDirectory);
    const QStringList reports = kxSortedJsonFiles(m_crashReportsDirectory, QStringLiteral("-CrashState.json"));
    files += reports;
    std::stable_sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return kxFileCreationDate(a) < kxFileCreationDate(b);
    });
    return files;
}

void KXEventUploader::deleteExcessFiles(QStringList &sortedFiles) const
{
    while (static_cast<uint64_t>(sortedFiles.size()) > m_configuration.maxPersistedEvents()) {
        removeOnFileQueue(sortedFiles.takeFirst());
    }
}

void KXEventUploader::scan()
{
    processRecrashReports();
    QStringList files = sortedEventFiles();
    deleteExcessFiles(files);
    enqueueFiles(files);
}

void KXEventUploader::enqueueFiles(const QStringList &files)
{
    const QString reports = QFileInfo(m_crashReportsDirectory).absoluteFilePath();
    for (const QString &file : files) {
        {
            std::lock_guard lock(m_mutex);
            if (m_queuedFiles.contains(file)) {
                continue;
            }
        }
        enqueue({QFileInfo(file).absolutePath() == reports ? Source::CrashReport : Source::StoredEvent,
                 std::nullopt,
                 file,
                 {},
                 nullptr});
    }
}

void KXEventUploader::enqueue(Operation operation)
{
    {
        std::lock_guard lock(m_mutex);
        if (operation.source == Source::Memory) {
            ++m_outstanding;
        }
        if (!operation.file.isEmpty()) {
            m_queuedFiles.insert(operation.file); // a scan must not send it a second time
        }
    }
    if (operation.pending) {
        storeInBackground(operation);
    }
    m_queue.async([this, operation = std::move(operation)]() mutable {
        run(operation);
        finish(operation);
    });
}

void KXEventUploader::storeInBackground(const Operation &operation)
{
    KXFileSystemQueue::shared().async(
        [pending = operation.pending, path = operation.file, redactedKeys = m_configuration.redactedKeys] {
            try {
                pending->event.symbolicateIfNeeded();
                QString error;
                pending->written = KXFileSystemQueue::writeFile(path, pending->event.toJsonData(redactedKeys), &error);
                if (!pending->written) {
                    logStoreFailure(error);
                }
            } catch (const std::exception &exception) {
                logStoreFailure(QString::fromUtf8(exception.what())); // the delivery tries it once more
            }
            pending->done.set_value();
        });
}

bool KXEventUploader::isStored(const Operation &operation)
{
    return operation.source != Source::Memory || (operation.pending && operation.pending->written);
}

void KXEventUploader::finish(Operation &operation)
{
    {
        std::lock_guard lock(m_mutex);
        if (operation.source == Source::Memory) {
            --m_outstanding;
        }
        m_queuedFiles.remove(operation.file);
    }
    if (operation.completion) {
        operation.completion();
    }
}

void KXEventUploader::processRecrashReports()
{
    const QDir dir(m_crashReportsDirectory);
    bool reported = false;
    for (const QString &name : dir.entryList({QStringLiteral("RecrashReport-*.json")}, QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(name);
        QByteArray bytes;
        QString error;
        if (readFile(path, bytes, error) == ReadResult::Unreadable) {
            kxLogError(error);
            continue; // kept until it can be read
        }
        const std::optional<QJsonObject> minimal = kxReadJsonObject(bytes);
        if (minimal && !reported) {
            reported = true;
            KXInternalErrorReporter::performBlock(
                [report = *minimal](KXInternalErrorReporter &reporter) { reporter.reportRecrash(report); });
        }

        const QString standard =
            dir.filePath(QString(name).replace(QStringLiteral("RecrashReport-"), QStringLiteral("CrashReport-")));
        QByteArray standardBytes;
        const ReadResult standardRead = readFile(standard, standardBytes, error);
        if (standardRead == ReadResult::Unreadable) {
            kxLogError(error);
            continue; // both wait for the next scan
        }
        if (standardRead == ReadResult::Missing || !kxReadCrashReport(standardBytes).event) {
            if (standardRead == ReadResult::Read) {
                setAsideOnFileQueue(standard, m_configuration.maxPersistedEvents());
            }
            // The crash still reaches the owner, told from the state the run left.
            if (minimal && m_lostCrashEventBuilder) {
                if (const auto event = m_lostCrashEventBuilder(*minimal)) {
                    storeEvent(*event);
                }
            }
        }
        removeOnFileQueue(path);
    }
}

std::optional<KestrixEvent> KXEventUploader::load(Operation &operation, bool &unusable)
{
    unusable = false;
    if (operation.source == Source::Memory) {
        operation.pending->finished.wait();
        operation.event = std::move(operation.pending->event);
        operation.event->symbolicateIfNeeded();
        return std::move(operation.event);
    }
    QByteArray bytes;
    QString error;
    switch (readFile(operation.file, bytes, error)) {
    case ReadResult::Missing:
        return std::nullopt;
    case ReadResult::Unreadable:
        kxLogError(QStringLiteral("Could not read %1: %2").arg(QFileInfo(operation.file).fileName(), error));
        return std::nullopt;
    case ReadResult::Read:
        break;
    }
    unusable = true;
    if (operation.source == Source::StoredEvent) {
        return kxReadStoredEvent(bytes);
    }
    return loadCrashReport(operation.file, bytes);
}

std::optional<KestrixEvent> KXEventUploader::loadCrashReport(const QString &file, const QByteArray &bytes)
{
    KXCrashReportReading reading = kxReadCrashReport(bytes);
    if (!reading.event) {
        reportCorruptReport(file, reading.corruptReason, reading.errorDescription, reading.sectionsBeforeDamage);
        return std::nullopt;
    }
    if (!reading.event->app.type) {
        reading.event->app.type = m_configuration.appType;
    }
    return std::move(reading.event);
}

void KXEventUploader::reportCorruptReport(const QString &file,
                                          const QString &reason,
                                          const QString &message,
                                          const QStringList &sections)
{
    const QFileInfo info(file);
    QJsonObject diagnostics{{QStringLiteral("fileName"), info.fileName()}};
    QJsonObject attributes{{QStringLiteral("size"), info.size()}};
    diagnostics.insert(QStringLiteral("fileAttributes"), attributes);
    const QDateTime created = kxFileCreationDate(file);
    if (created.isValid() && info.lastModified().isValid()) {
        diagnostics.insert(QStringLiteral("modificationInterval"),
                           static_cast<double>(created.msecsTo(info.lastModified())) / 1000.0);
    }
    if (!sections.isEmpty()) {
        diagnostics.insert(QStringLiteral("keys"), QJsonArray::fromStringList(sections));
    }
    KXInternalErrorReporter::performBlock([=](KXInternalErrorReporter &reporter) {
        reporter.reportErrorWithClass(QStringLiteral("Invalid crash report"), reason, message, diagnostics);
    });
}

void KXEventUploader::deleteEvent(const Operation &operation) const
{
    if (isStored(operation)) {
        removeOnFileQueue(operation.file);
    }
}

void KXEventUploader::prepareForRetry(const Operation &operation, const QByteArray &payloadToKeep, qsizetype bodySize)
{
    if (operation.source == Source::Memory && !isStored(operation)) {
        if (bodySize <= MaxBodyBytes) {
            storeEventPayload(payloadToKeep);
        }
        return;
    }
    if (operation.source == Source::Memory && bodySize <= MaxBodyBytes) {
        QStringList files = sortedEventFiles(); // it stays: the oldest go when there are too many
        deleteExcessFiles(files);
        return;
    }
    if (bodySize > MaxBodyBytes
        || kxFileCreationDate(operation.file).secsTo(QDateTime::currentDateTimeUtc()) > MaxAgeSeconds) {
        deleteEvent(operation);
    }
}

void KXEventUploader::run(Operation &operation)
{
    const QString name =
        operation.source == Source::Memory ? QStringLiteral("event") : QFileInfo(operation.file).fileName();
    bool unusable = false;
    std::optional<KestrixEvent> event = load(operation, unusable);
    if (!event) {
        kxLogError(QStringLiteral("Failed to load event %1").arg(name));
        if (unusable) {
            // Kept, not deleted: the fault may be the reader's, and a later one may read it.
            setAsideOnFileQueue(operation.file, m_configuration.maxPersistedEvents());
        }
        return;
    }
    if (!m_configuration.shouldSendReports() || !event->shouldBeSent()) {
        kxLogInfo(QStringLiteral("Discarding event %1 because releaseStage not in enabledReleaseStages").arg(name));
        deleteEvent(operation);
        return;
    }
    const QString errorClass = event->errors.empty() ? QString() : event->errors.front().errorClass.value_or(QString());
    if (m_configuration.shouldDiscardErrorClass(errorClass)) {
        kxLogInfo(QStringLiteral("Discarding event %1 because errorClass \"%2\" matches configuration.discardClasses")
                      .arg(name, errorClass));
        deleteEvent(operation);
        return;
    }

    std::optional<QByteArray> beforeCallbacks;
    for (const auto &callback : m_configuration.onSendBlocks->callbacks()) {
        if (!beforeCallbacks) {
            beforeCallbacks = event->toJsonData(m_configuration.redactedKeys);
        }
        try {
            if (!callback(*event)) {
                deleteEvent(operation);
                return;
            }
        } catch (const std::exception &exception) {
            kxLogError(QStringLiteral("Ignoring exception thrown by onSend callback: %1")
                           .arg(QString::fromUtf8(exception.what())));
        }
    }

    QByteArray body;
    QByteArray payloadToKeep;
    const QString apiKey = event->apiKey().value_or(m_configuration.apiKey().value_or(QString()));
    try {
        event->truncateStrings(
            static_cast<qsizetype>(std::min<uint64_t>(m_configuration.maxStringValueLength, INT32_MAX)));
        QByteArray eventJson = event->toJsonData(m_configuration.redactedKeys);
        payloadToKeep = beforeCallbacks && *beforeCallbacks != eventJson ? *beforeCallbacks : eventJson;
        body = kxEventPayloadBody(apiKey, eventJson, m_notifier);
        if (body.size() > MaxBodyBytes) {
            event->trimBreadcrumbs(body.size() - (MaxBodyBytes - 300));
            body = kxEventPayloadBody(apiKey, event->toJsonData(m_configuration.redactedKeys), m_notifier);
        }
    } catch (const std::exception &exception) {
        kxLogError(
            QStringLiteral("Discarding event %1 due to exception %2").arg(name, QString::fromUtf8(exception.what())));
        KXInternalErrorReporter::performBlock([what =
                                                   std::string(exception.what())](KXInternalErrorReporter &reporter) {
            reporter.reportException(std::runtime_error(what),
                                     {},
                                     QStringLiteral("KXEventUploadOperation -[runWithDelegate:completionHandler:]"));
        });
        deleteEvent(operation);
        return;
    }
    const std::optional<QUrl> url = m_configuration.notifyURL();
    if (!url) {
        kxLogError(QStringLiteral("Could not upload event %1 because notifyURL was nil").arg(name));
        return;
    }
    QString error;
    const KXDeliveryStatus status = m_queue.post(*url, body, kxEventHeaders(apiKey, *event), &error);
    if (status == KXDeliveryStatus::Failed) {
        kxLogWarning(QStringLiteral("Failed to send event %1: %2").arg(name, error));
        prepareForRetry(operation, payloadToKeep, body.size());
    } else {
        if (status == KXDeliveryStatus::Undeliverable) {
            kxLogWarning(QStringLiteral("Event %1 was refused: %2").arg(name, error));
        }
        deleteEvent(operation);
    }
}

} // namespace kestrix
