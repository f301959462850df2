#include "account/User.h"

#include "account/JsonDecoding.h"
#include "core/DecodingError.h"

#include <QJsonValue>

#include <limits>

namespace plimsy {

namespace {

// Backends send the identifier as a number or as text; both become its decimal text.
QString identifier(const QJsonObject &json, const QString &path)
{
    const QJsonValue value = json.value(QLatin1String("id"));
    if (value.isDouble()) {
        constexpr qint64 NotWhole = std::numeric_limits<qint64>::min();
        const qint64 whole = value.toInteger(NotWhole);
        if (whole == NotWhole) {
            throw DecodingError(memberPath(path, "id"), QStringLiteral("expected an integer or a string"));
        }
        return QString::number(whole);
    }
    return requiredString(json, path, "id");
}

} // namespace

User User::fromJson(const QJsonObject &json, const QString &path)
{
    User user;
    user.id = identifier(json, path);
    user.email = requiredString(json, path, "email");
    const QJsonValue name = json.value(QLatin1String("name"));
    if (name.isString()) {
        user.name = name.toString();
    } else if (!name.isUndefined() && !name.isNull()) {
        throw DecodingError(memberPath(path, "name"), QStringLiteral("expected a string"));
    }
    return user;
}

QJsonObject User::toJson() const
{
    return {{QStringLiteral("id"), id}, {QStringLiteral("email"), email}, {QStringLiteral("name"), name}};
}

} // namespace plimsy
