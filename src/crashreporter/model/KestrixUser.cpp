#include "crashreporter/model/KestrixUser.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXPersistentDeviceID.h"

namespace kestrix {

KestrixUser KestrixUser::fromJson(const QJsonObject &json)
{
    return {kxString(json, "id"), kxString(json, "name"), kxString(json, "email")};
}

QJsonObject KestrixUser::toJson() const
{
    return kxJsonObject(*this);
}

void KestrixUser::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writer.optional("id", id);
    writer.optional("email", email);
    writer.optional("name", name);
    writer.endObject();
}

QJsonObject KestrixUser::toJsonWithNulls() const
{
    const auto valueOrNull = [](const std::optional<QString> &value) {
        return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
    };
    return {{QStringLiteral("id"), valueOrNull(id)},
            {QStringLiteral("email"), valueOrNull(email)},
            {QStringLiteral("name"), valueOrNull(name)}};
}

KestrixUser KestrixUser::withId() const
{
    if (id) {
        return *this;
    }
    return {KXPersistentDeviceID::current().external(), name, email};
}

} // namespace kestrix
