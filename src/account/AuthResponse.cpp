#include "account/AuthResponse.h"

#include "account/JsonDecoding.h"
#include "core/DecodingError.h"

#include <QJsonValue>

namespace plimsy {

AuthResponse AuthResponse::fromJson(const QJsonObject &json, const QString &path)
{
    const QJsonValue user = json.value(QLatin1String("user"));
    if (!user.isObject()) {
        throw DecodingError(memberPath(path, "user"),
                            user.isUndefined() ? QStringLiteral("is missing") : QStringLiteral("expected an object"));
    }
    const QString token = requiredString(json, path, "access_token");
    return {User::fromJson(user.toObject(), memberPath(path, "user")), token};
}

QJsonObject AuthResponse::toJson() const
{
    return {{QStringLiteral("user"), user.toJson()}, {QStringLiteral("access_token"), accessToken}};
}

} // namespace plimsy
