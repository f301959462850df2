#include "account/JsonDecoding.h"

#include "core/DecodingError.h"

#include <QJsonValue>

namespace plimsy {

QString memberPath(const QString &path, const char *key)
{
    return path.isEmpty() ? QString::fromLatin1(key) : path + u'.' + QLatin1String(key);
}

QString requiredString(const QJsonObject &json, const QString &path, const char *key)
{
    const QJsonValue value = json.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) {
        throw DecodingError(memberPath(path, key), QStringLiteral("is missing"));
    }
    if (!value.isString()) {
        throw DecodingError(memberPath(path, key), QStringLiteral("expected a string"));
    }
    return value.toString();
}

} // namespace plimsy
