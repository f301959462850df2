#pragma once

#include "core/DecodingError.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1String>
#include <QString>
#include <QStringList>

#include <optional>

// Path-aware readers and writers for records kept as JSON. "Required" members fail when missing, null
// or of another type; "optional" ones read as none when missing or null but still fail on another type.
// Every failure is a DecodingError naming the member ("data[3].attributes.ssh_port").
namespace plimsy::json {

QString member(const QString &path, QLatin1String key);
QString element(const QString &path, qsizetype index);

// The whole document as an object; fails on malformed JSON or another root.
QJsonObject parseObject(const QByteArray &bytes, const QString &path = {});

// A number that is a whole 64-bit integer (5 and 5.0 read, 5.5 does not).
std::optional<qint64> integerValue(const QJsonValue &value);

QString requiredString(const QJsonObject &object, QLatin1String key, const QString &path);
qint64 requiredInteger(const QJsonObject &object, QLatin1String key, const QString &path);
bool requiredBool(const QJsonObject &object, QLatin1String key, const QString &path);
QJsonObject requiredObject(const QJsonObject &object, QLatin1String key, const QString &path);
QJsonArray requiredArray(const QJsonObject &object, QLatin1String key, const QString &path);

std::optional<QString> optionalString(const QJsonObject &object, QLatin1String key, const QString &path);
std::optional<qint64> optionalInteger(const QJsonObject &object, QLatin1String key, const QString &path);
std::optional<bool> optionalBool(const QJsonObject &object, QLatin1String key, const QString &path);
std::optional<QStringList> optionalStringList(const QJsonObject &object, QLatin1String key, const QString &path);
std::optional<QJsonObject> optionalObject(const QJsonObject &object, QLatin1String key, const QString &path);

// Writes the member only when the value is present, so no null is ever written.
template <typename T> void insertIfPresent(QJsonObject &object, QLatin1String key, const std::optional<T> &value)
{
    if (value) {
        if constexpr (std::is_same_v<T, QStringList>) {
            object.insert(key, QJsonArray::fromStringList(*value));
        } else {
            object.insert(key, *value);
        }
    }
}

} // namespace plimsy::json
