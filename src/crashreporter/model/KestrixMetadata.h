#pragma once

#include "crashreporter/model/KXRedaction.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace kestrix {

// Named sections of diagnostic values, safe from any thread. When given storage, every change is
// mirrored as JSON into a crash-time buffer and, coalesced, into a file.
class KestrixMetadata
{
public:
    using Observer = std::function<void(const KestrixMetadata &)>;

    KestrixMetadata() = default;
    // Keeps what JSON can hold of the given sections.
    explicit KestrixMetadata(const QJsonObject &dictionary);
    // Copies the sections only, not the storage or the observer.
    KestrixMetadata(const KestrixMetadata &other);
    KestrixMetadata &operator=(const KestrixMetadata &other);
    ~KestrixMetadata();

    QJsonObject toDictionary() const;
    QJsonValue getMetadata(const QString &section) const;
    QJsonValue getMetadata(const QString &section, const QString &key) const;
    std::optional<QJsonObject> getMetadataFromSection(const QString &section) const;
    // `key` may be a dotted path into the section.
    QJsonValue getMetadataFromSection(const QString &section, const QString &key) const;

    // A JSON null removes the key; a section left empty goes.
    void addMetadata(const QJsonValue &value, const QString &key, const QString &section);
    void addMetadata(const QJsonObject &values, const QString &section);
    void clearMetadataFromSection(const QString &section);
    void clearMetadataFromSection(const QString &section, const QString &key);

    // `buffer` receives a zero-terminated JSON copy after every change (the old copy is freed);
    // the crash-time writer reads it. `file` gets the latest JSON through the file-system queue.
    void setStorageBuffer(std::atomic<char *> *buffer, const QString &file);
    // What goes to the buffer and the file hides the values of these keys, as payloads do.
    void setRedactedKeys(std::vector<KestrixStringOrPattern> redactedKeys);
    // Called after every change, on the changing thread, while the metadata is locked.
    void setObserver(Observer observer);

private:
    struct PendingWrite;

    void didChangeValue();
    void serialize();
    void writeToBuffer(const QByteArray &json);
    void writeToFile(const QByteArray &json);

    mutable std::recursive_mutex m_mutex;
    QJsonObject m_dictionary;
    std::atomic<char *> *m_buffer = nullptr;
    QString m_file;
    std::shared_ptr<PendingWrite> m_pendingWrite;
    std::vector<KestrixStringOrPattern> m_redactedKeys;
    Observer m_observer;
};

} // namespace kestrix
