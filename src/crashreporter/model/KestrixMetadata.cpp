#include "crashreporter/model/KestrixMetadata.h"

#include "crashreporter/model/KXCrashTimeText.h"
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXLogger.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kestrix {

// The newest JSON waiting for the file-system queue; shared with the queued task, which may run
// after the metadata is gone.
struct KestrixMetadata::PendingWrite
{
    std::mutex mutex;
    std::optional<QByteArray> data;
};

namespace {

// Parsed JSON is always clean; only values built in code can hold what JSON cannot.
bool isJSONSafe(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        return std::all_of(
            object.begin(), object.end(), [](const QJsonValueConstRef &member) { return isJSONSafe(member); });
    }
    case QJsonValue::Array: {
        const QJsonArray array = value.toArray();
        return std::all_of(
            array.begin(), array.end(), [](const QJsonValueConstRef &element) { return isJSONSafe(element); });
    }
    case QJsonValue::Double:
        return std::isfinite(value.toDouble());
    case QJsonValue::Undefined:
        return false;
    default:
        return true;
    }
}

QJsonValue sanitized(const QJsonValue &value)
{
    return isJSONSafe(value) ? value : kxSanitizeJSON(value);
}

} // namespace

KestrixMetadata::KestrixMetadata(const QJsonObject &dictionary)
    : m_dictionary(sanitized(dictionary).toObject())
{
}

KestrixMetadata::KestrixMetadata(const KestrixMetadata &other)
    : m_dictionary(other.toDictionary())
{
}

KestrixMetadata &KestrixMetadata::operator=(const KestrixMetadata &other)
{
    if (this != &other) {
        const QJsonObject sections = other.toDictionary();
        std::lock_guard lock(m_mutex);
        m_dictionary = sections;
    }
    return *this;
}

KestrixMetadata::~KestrixMetadata() = default;

QJsonObject KestrixMetadata::toDictionary() const
{
    std::lock_guard lock(m_mutex);
    return m_dictionary;
}

QJsonValue KestrixMetadata::getMetadata(const QString &section) const
{
    std::lock_guard lock(m_mutex);
    return m_dictionary.value(section);
}

QJsonValue KestrixMetadata::getMetadata(const QString &section, const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return m_dictionary.value(section).toObject().value(key);
}

std::optional<QJsonObject> KestrixMetadata::getMetadataFromSection(const QString &section) const
{
    std::lock_guard lock(m_mutex);
    const QJsonValue value = m_dictionary.value(section);
    return value.isObject() ? std::optional(value.toObject()) : std::nullopt;
}

QJsonValue KestrixMetadata::getMetadataFromSection(const QString &section, const QString &key) const
{
    std::lock_guard lock(m_mutex);
    return kxValueAtPath(m_dictionary, section + QLatin1Char('.') + key);
}

void KestrixMetadata::addMetadata(const QJsonValue &value, const QString &key, const QString &section)
{
    addMetadata(QJsonObject{{key, value.isUndefined() ? QJsonValue(QJsonValue::Null) : value}}, section);
}

void KestrixMetadata::addMetadata(const QJsonObject &values, const QString &section)
{
    std::lock_guard lock(m_mutex);
    const QJsonObject old = m_dictionary.value(section).toObject();
    QJsonObject updated = old;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (it.value().isNull()) {
            updated.remove(it.key());
            continue;
        }
        const QJsonValue safe = sanitized(it.value());
        if (safe.isUndefined()) {
            kxLogError(QStringLiteral("Failed to add metadata: %1 is not JSON serializable.")
                           .arg(it.value().isDouble() ? QStringLiteral("non-finite number")
                                                      : QStringLiteral("undefined value")));
            continue;
        }
        updated.insert(it.key(), safe);
    }
    const QJsonValue oldValue = m_dictionary.value(section);
    if (oldValue.isObject() ? updated == old : updated.isEmpty()) {
        return;
    }
    if (updated.isEmpty()) {
        m_dictionary.remove(section);
    } else {
        m_dictionary.insert(section, updated);
    }
    didChangeValue();
}

void KestrixMetadata::clearMetadataFromSection(const QString &section)
{
    std::lock_guard lock(m_mutex);
    m_dictionary.remove(section);
    didChangeValue();
}

void KestrixMetadata::clearMetadataFromSection(const QString &section, const QString &key)
{
    std::lock_guard lock(m_mutex);
    QJsonObject values = m_dictionary.value(section).toObject();
    values.remove(key);
    if (m_dictionary.contains(section)) {
        m_dictionary.insert(section, values);
    }
    didChangeValue();
}

void KestrixMetadata::setStorageBuffer(std::atomic<char *> *buffer, const QString &file)
{
    std::lock_guard lock(m_mutex);
    m_buffer = buffer;
    m_file = file;
    serialize();
}

void KestrixMetadata::setObserver(Observer observer)
{
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

void KestrixMetadata::didChangeValue()
{
    if (m_buffer != nullptr || !m_file.isEmpty()) {
        serialize();
    }
    if (m_observer) {
        m_observer(*this);
    }
}

void KestrixMetadata::setRedactedKeys(std::vector<KestrixStringOrPattern> redactedKeys)
{
    std::lock_guard lock(m_mutex);
    m_redactedKeys = std::move(redactedKeys);
}

void KestrixMetadata::serialize()
{
    QByteArray json;
    if (m_redactedKeys.empty()) {
        json = QJsonDocument(m_dictionary).toJson(QJsonDocument::Compact);
    } else {
        KXJSONWriter writer;
        kxWriteRedacted(writer, nullptr, m_dictionary, m_redactedKeys);
        json = writer.data();
    }
    if (json.isEmpty()) {
        kxLogError(QStringLiteral("KestrixMetadata::serialize: could not encode the metadata"));
        return;
    }
    if (m_buffer != nullptr) {
        writeToBuffer(json);
    }
    if (!m_file.isEmpty()) {
        writeToFile(json);
    }
}

void KestrixMetadata::writeToBuffer(const QByteArray &json)
{
    auto *copy = static_cast<char *>(malloc(static_cast<size_t>(json.size()) + 1));
    if (copy == nullptr) {
        return;
    }
    memcpy(copy, json.constData(), static_cast<size_t>(json.size()) + 1);
    kxReplaceCrashTimeText(*m_buffer, copy);
}

void KestrixMetadata::writeToFile(const QByteArray &json)
{
    if (!m_pendingWrite) {
        m_pendingWrite = std::make_shared<PendingWrite>();
    }
    {
        std::lock_guard lock(m_pendingWrite->mutex);
        m_pendingWrite->data = json;
    }
    // Each change queues a task, but a task writes whatever is newest: a burst ends in one write.
    KXFileSystemQueue::shared().async([pending = m_pendingWrite, file = m_file] {
        std::optional<QByteArray> data;
        {
            std::lock_guard lock(pending->mutex);
            data = pending->data;
        }
        if (!data) {
            return;
        }
        QString error;
        if (!KXFileSystemQueue::writeFile(file, *data, &error)) {
            kxLogError(QStringLiteral("KestrixMetadata::writeToFile: %1").arg(error));
        }
        std::lock_guard lock(pending->mutex);
        if (pending->data == data) {
            pending->data.reset();
        }
    });
}

} // namespace kestrix
