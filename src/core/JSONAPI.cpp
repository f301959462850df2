#include "core/JSONAPI.h"

namespace plimsy {

using namespace json;

JSONAPIResourceIdentifier JSONAPIResourceIdentifier::fromJson(const QJsonObject &object, const QString &path)
{
    return JSONAPIResourceIdentifier{requiredString(object, QLatin1String("id"), path),
                                     requiredString(object, QLatin1String("type"), path)};
}

QJsonObject JSONAPIResourceIdentifier::toJson() const
{
    return QJsonObject{{QLatin1String("id"), id}, {QLatin1String("type"), type}};
}

JSONAPIRelationship JSONAPIRelationship::fromJson(const QJsonObject &object, const QString &path)
{
    JSONAPIRelationship relationship;
    // Read leniently, so a failure's path is never shown: none is put together.
    const QJsonValue data = object.value(QLatin1String("data"));
    if (data.isArray()) {
        try {
            const QJsonArray array = data.toArray();
            for (qsizetype i = 0; i < array.size(); ++i) {
                if (!array.at(i).isObject()) {
                    throw DecodingError(path, QStringLiteral("expected an object"));
                }
                relationship.data.append(JSONAPIResourceIdentifier::fromJson(array.at(i).toObject(), path));
            }
            return relationship;
        } catch (const DecodingError &) {
            relationship.data.clear();
        }
    }
    if (data.isObject()) {
        try {
            relationship.data.append(JSONAPIResourceIdentifier::fromJson(data.toObject(), path));
        } catch (const DecodingError &) {
            relationship.data.clear();
        }
    }
    return relationship;
}

QJsonObject JSONAPIRelationship::toJson() const
{
    QJsonArray array;
    for (const auto &identifier : data) {
        array.append(identifier.toJson());
    }
    return QJsonObject{{QLatin1String("data"), array}};
}

JSONAPILinks JSONAPILinks::fromJson(const QJsonObject &object, const QString &path)
{
    JSONAPILinks links;
    links.first = optionalString(object, QLatin1String("first"), path);
    links.last = optionalString(object, QLatin1String("last"), path);
    links.prev = optionalString(object, QLatin1String("prev"), path);
    links.next = optionalString(object, QLatin1String("next"), path);
    return links;
}

QJsonObject JSONAPILinks::toJson() const
{
    QJsonObject object;
    insertIfPresent(object, QLatin1String("first"), first);
    insertIfPresent(object, QLatin1String("last"), last);
    insertIfPresent(object, QLatin1String("prev"), prev);
    insertIfPresent(object, QLatin1String("next"), next);
    return object;
}

namespace json {

std::optional<JSONAPIRelationships> optionalRelationships(const QJsonObject &object, const QString &path)
{
    const auto relationships = optionalObject(object, QLatin1String("relationships"), path);
    if (!relationships) {
        return std::nullopt;
    }
    JSONAPIRelationships result;
    for (auto it = relationships->begin(); it != relationships->end(); ++it) {
        const QString name = it.key();
        if (!it.value().isObject()) {
            throw DecodingError(member(path, QLatin1String("relationships")) + QLatin1Char('.') + name,
                                QStringLiteral("expected an object"));
        }
        result.insert(name, JSONAPIRelationship::fromJson(it.value().toObject(), path));
    }
    return result;
}

QJsonObject relationshipsJson(const JSONAPIRelationships &relationships)
{
    QJsonObject object;
    for (auto it = relationships.begin(); it != relationships.end(); ++it) {
        object.insert(it.key(), it.value().toJson());
    }
    return object;
}

std::optional<JSONAPILinks> lenientLinks(const QJsonObject &object)
{
    const QJsonValue links = object.value(QLatin1String("links"));
    if (!links.isObject()) {
        return std::nullopt;
    }
    try {
        return JSONAPILinks::fromJson(links.toObject(), QStringLiteral("links"));
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

ResourceParts resourceParts(const QJsonObject &object, const QString &path)
{
    return ResourceParts{requiredString(object, QLatin1String("id"), path),
                         requiredString(object, QLatin1String("type"), path),
                         requiredObject(object, QLatin1String("attributes"), path)};
}

} // namespace json

} // namespace plimsy
