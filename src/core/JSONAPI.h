#pragma once

#include "core/JsonFields.h"
#include "core/ListingReader.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

// The JSON:API envelope every Forge answer comes in, generic over the attributes record `A`, which
// offers `static A fromJson(const QJsonObject &, const QString &path)` and `QJsonObject toJson() const`.
namespace plimsy {

struct JSONAPIResourceIdentifier
{
    QString id;
    QString type;

    bool operator==(const JSONAPIResourceIdentifier &) const = default;
    static JSONAPIResourceIdentifier fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const;
};

struct JSONAPIRelationship
{
    // Read leniently: a list of identifiers, else one identifier, else empty.
    QList<JSONAPIResourceIdentifier> data;

    bool operator==(const JSONAPIRelationship &) const = default;
    static JSONAPIRelationship fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const; // "data" always as a list
};

struct JSONAPILinks
{
    std::optional<QString> first;
    std::optional<QString> last;
    std::optional<QString> prev;
    std::optional<QString> next;

    bool operator==(const JSONAPILinks &) const = default;
    static JSONAPILinks fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const;
};

using JSONAPIRelationships = QMap<QString, JSONAPIRelationship>;

namespace json {
// "relationships": optional, and every value must be an object.
std::optional<JSONAPIRelationships> optionalRelationships(const QJsonObject &object, const QString &path);
QJsonObject relationshipsJson(const JSONAPIRelationships &relationships);
// "links" of a list: any failure to read them gives none.
std::optional<JSONAPILinks> lenientLinks(const QJsonObject &object);
// The resource's "id", "type" and "attributes" object, checked.
struct ResourceParts
{
    QString id;
    QString type;
    QJsonObject attributes;
};
ResourceParts resourceParts(const QJsonObject &object, const QString &path);
} // namespace json

template <typename A> struct JSONAPIResource
{
    QString id; // always text on the wire
    QString type;
    A attributes;
    std::optional<JSONAPIRelationships> relationships;

    bool operator==(const JSONAPIResource &) const = default;

    static JSONAPIResource fromJson(const QJsonObject &object, const QString &path)
    {
        json::ResourceParts parts = json::resourceParts(object, path);
        A attributes =
            json::within(path, QLatin1String("attributes"), [&] { return A::fromJson(parts.attributes, {}); });
        return JSONAPIResource{std::move(parts.id),
                               std::move(parts.type),
                               std::move(attributes),
                               json::optionalRelationships(object, path)};
    }

    QJsonObject toJson() const
    {
        QJsonObject object{{QLatin1String("id"), id},
                           {QLatin1String("type"), type},
                           {QLatin1String("attributes"), attributes.toJson()}};
        if (relationships) {
            object.insert(QLatin1String("relationships"), json::relationshipsJson(*relationships));
        }
        return object;
    }
};

template <typename A> struct JSONAPIResponse
{
    QList<JSONAPIResource<A>> data;
    std::optional<JSONAPILinks> links;

    bool operator==(const JSONAPIResponse &) const = default;

    static JSONAPIResponse fromJson(const QJsonObject &object, const QString &path = {})
    {
        const QJsonArray array = json::requiredArray(object, QLatin1String("data"), path);
        const QString dataPath = json::member(path, QLatin1String("data"));
        JSONAPIResponse response;
        response.data.reserve(array.size());
        for (qsizetype i = 0; i < array.size(); ++i) {
            const QJsonValue element = array.at(i);
            if (!element.isObject()) {
                throw DecodingError(json::element(dataPath, i), QStringLiteral("expected an object"));
            }
            response.data.append(
                json::withinElement(dataPath, i, [&] { return JSONAPIResource<A>::fromJson(element.toObject(), {}); }));
        }
        response.links = json::lenientLinks(object);
        return response;
    }

    // Parses and decodes a response body; throws DecodingError. Listings that have a reader of their own
    // are read from the bytes directly; what it leaves gets the parsed document, and with it the errors.
    static JSONAPIResponse decode(const QByteArray &body)
    {
        if constexpr (json::HasListingReader<A>) {
            JSONAPIResponse response;
            if (json::readListing(QByteArrayView(body), response)) {
                return response;
            }
        }
        return fromJson(json::parseObject(body));
    }

    QJsonObject toJson() const
    {
        QJsonArray array;
        for (const auto &resource : data) {
            array.append(resource.toJson());
        }
        QJsonObject object{{QLatin1String("data"), array}};
        if (links) {
            object.insert(QLatin1String("links"), links->toJson());
        }
        return object;
    }
};

template <typename A> struct JSONAPISingleResponse
{
    JSONAPIResource<A> data;

    bool operator==(const JSONAPISingleResponse &) const = default;

    static JSONAPISingleResponse fromJson(const QJsonObject &object, const QString &path = {})
    {
        return JSONAPISingleResponse{JSONAPIResource<A>::fromJson(
            json::requiredObject(object, QLatin1String("data"), path), json::member(path, QLatin1String("data")))};
    }

    static JSONAPISingleResponse decode(const QByteArray &body) { return fromJson(json::parseObject(body)); }

    QJsonObject toJson() const { return QJsonObject{{QLatin1String("data"), data.toJson()}}; }
};

} // namespace plimsy

// A resource moves as its bytes when its attributes do (Site does): a page of thousands of resources grows
// by moving memory, not resource by resource.
template <typename A>
class QTypeInfo<plimsy::JSONAPIResource<A>>
    : public QTypeInfoMerger<plimsy::JSONAPIResource<A>, A, QString, plimsy::JSONAPIRelationships>
{
};
