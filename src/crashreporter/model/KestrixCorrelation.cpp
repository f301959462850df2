#include "crashreporter/model/KestrixCorrelation.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"

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
    return kxJsonObject(*this);
}

void KestrixCorrelation::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writer.optional("traceId", traceId);
    writer.optional("spanId", spanId);
    writer.endObject();
}

} // namespace kestrix
