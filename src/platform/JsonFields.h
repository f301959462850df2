#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

namespace plimsy::JsonFields {

// Strict readers for the record lists that UserDefaults keeps as JSON: no result unless the key holds a value
// of exactly that type (an integer must be a whole number that fits in 64 bits without rounding).
std::optional<QString> string(const QJsonObject &object, const char *key);
std::optional<qint64> integer(const QJsonObject &object, const char *key);

// Decodes each element of a stored list, leaving out the ones that do not decode, so one bad entry
// never costs the others. A value that is not an array gives an empty list.
template <typename T>
QList<T> decodeEach(const QJsonValue &stored, const std::function<std::optional<T>(const QJsonObject &)> &decode)
{
    QList<T> items;
    if (!stored.isArray()) {
        return items;
    }
    const QJsonArray entries = stored.toArray();
    for (const QJsonValue &entry : entries) {
        if (!entry.isObject()) {
            continue;
        }
        if (auto item = decode(entry.toObject())) {
            items.append(std::move(*item));
        }
    }
    return items;
}

// The list as a JSON array of each element's toJson().
template <typename T> QJsonArray encodeEach(const QList<T> &items)
{
    QJsonArray entries;
    for (const T &item : items) {
        entries.append(item.toJson());
    }
    return entries;
}

} // namespace plimsy::JsonFields
