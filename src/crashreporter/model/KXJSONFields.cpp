#include "crashreporter/model/KXJSONFields.h"

#include <cmath>
#include <limits>

namespace kestrix {

std::optional<QString> kxString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? std::optional(value.toString()) : std::nullopt;
}

std::optional<bool> kxBool(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isBool() ? std::optional(value.toBool()) : std::nullopt;
}

std::optional<double> kxNumber(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? std::optional(value.toDouble()) : std::nullopt;
}

std::optional<qint64> kxInteger(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const qint64 exact = value.toInteger(std::numeric_limits<qint64>::min());
    if (exact != std::numeric_limits<qint64>::min()) {
        return exact;
    }
    const double number = value.toDouble();
    if (!std::isfinite(number) || std::fabs(number) >= 9.2e18) {
        return std::nullopt;
    }
    return static_cast<qint64>(number);
}

QJsonObject kxObject(const QJsonObject &object, const char *key)
{
    return object.value(QLatin1String(key)).toObject();
}

QJsonValue kxValueAtPath(const QJsonObject &object, const QString &path)
{
    QJsonValue value = object;
    for (const QStringView key : QStringView(path).split(QLatin1Char('.'))) {
        if (!value.isObject()) {
            return QJsonValue(QJsonValue::Undefined);
        }
        value = value.toObject().value(key);
    }
    return value;
}

} // namespace kestrix
