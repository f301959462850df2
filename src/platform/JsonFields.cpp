#include "platform/JsonFields.h"

#include <cmath>

namespace plimsy::JsonFields {

std::optional<QString> string(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) {
        return std::nullopt;
    }
    return value.toString();
}

std::optional<qint64> integer(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const double number = value.toDouble();
    // Beyond 2^53 a JSON number no longer names one integer.
    if (number != std::trunc(number) || std::abs(number) > 9007199254740992.0) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

} // namespace plimsy::JsonFields
