#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace kestrix {

class KXJSONWriter;

// Trace and span identifiers that tie an error to a performance trace.
struct KestrixCorrelation
{
    std::optional<QString> traceId;
    std::optional<QString> spanId;

    // None for an empty object.
    static std::optional<KestrixCorrelation> fromJson(const QJsonObject &json);
    QJsonObject toJsonDictionary() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
};

} // namespace kestrix
