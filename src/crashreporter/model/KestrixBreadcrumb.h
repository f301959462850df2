#pragma once

#include "crashreporter/model/KXRedaction.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace kestrix {

enum class KestrixBreadcrumbType : uint64_t
{
    Manual = 0,
    Error = 1,
    Log = 2,
    Navigation = 3,
    Process = 4,
    Request = 5,
    State = 6,
    User = 7,
};

// One entry of the trail of what happened before an error.
class KestrixBreadcrumb
{
public:
    // Stamped now, of type manual, with empty metadata.
    KestrixBreadcrumb();

    // The stored text, else the date formatted; none when neither can be had.
    std::optional<QString> timestampString() const;
    void setTimestampString(const std::optional<QString> &text);
    // The date, else parsed from the stored text.
    std::optional<QDateTime> timestamp() const;
    void setTimestamp(const QDateTime &date);

    KestrixBreadcrumbType type = KestrixBreadcrumbType::Manual;
    QString message;
    QJsonObject metadata;

    // A message and a date (or text shaped like one).
    bool isValid() const;
    // {"name", "timestamp", "type", "metaData"}; none without a message or a timestamp.
    std::optional<QJsonObject> objectValue() const;
    // The same, with the metadata values of `redactedKeys` hidden; false (and nothing written)
    // without a message or a timestamp.
    bool writeJson(KXJSONWriter &writer, const std::vector<KestrixStringOrPattern> &redactedKeys = {}) const;
    // Reads "message" (or "name"), "timestamp", "type" and "metaData" (or "metadata"); none
    // unless the result is valid.
    static std::optional<KestrixBreadcrumb> fromDict(const QJsonObject &json);

    // Numbers above 7 are written as "log"; unknown names read as manual.
    static QString typeName(KestrixBreadcrumbType type);
    static KestrixBreadcrumbType typeFromName(const QString &name);

private:
    std::optional<QString> m_timestampString;
    std::optional<QDateTime> m_timestamp;
};

} // namespace kestrix
