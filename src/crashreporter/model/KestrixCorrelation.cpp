#include "crashreporter/model/KestrixCorrelation.h"

#include "crashreporter/model/KXJSONFields.h"

namespace kestrix {

std::optional<KestrixCorrelation> KestrixCorrelation::fromJson(const QJsonObject &json)
{
    if (json.isEmpty()) {
        return std::nullopt;
    }
    return KestrixCorrelation{kxString(json, "traceId"), kxString(json, "spanId")};
}

QJsonObject KestrixCorrelation::toJsonDictionary() const
{
    QJsonObject json;
    kxInsert(json, "traceId", traceId);
    kxInsert(json, "spanId", spanId);
    return json;
}

} // namespace kestrix
