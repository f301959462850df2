#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrix {

// Writes compact JSON text straight into a buffer. The records write their JSON through it, so
// that a payload of hundreds of frames never builds a QJsonObject per frame.
class KXJSONWriter
{
public:
    explicit KXJSONWriter(qsizetype reserve = 1024);

    void beginObject(const char *key = nullptr);
    void beginArray(const char *key = nullptr);
    void endObject();
    void endArray();

    void value(const char *key, const QString &text);
    void value(const char *key, bool flag);
    void value(const char *key, qint64 number);
    void value(const char *key, const QJsonValue &json);
    void null(const char *key);
    // "0x" and lower-case hexadecimal digits, as a string.
    void hex(const char *key, uint64_t number);

    // Members that are left out when absent.
    void optional(const char *key, const std::optional<QString> &text);
    void optional(const char *key, const std::optional<qint64> &number);
    void optional(const char *key, const std::optional<bool> &flag);

    // For a member whose key is not a plain text literal.
    void key(const QString &name);

    QByteArray data() const { return m_out; }
    QJsonObject object() const;

private:
    void separate(const char *key);
    void writeString(QStringView text);
    void writeValue(const QJsonValue &json);

    QByteArray m_out;
    std::vector<bool> m_hasMember;
    bool m_afterKey = false;
};

// A record's JSON as an object, for the places that want one.
template <typename Record> QJsonObject kxJsonObject(const Record &record)
{
    KXJSONWriter writer;
    record.writeJson(writer);
    return writer.object();
}

} // namespace kestrix
