#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace kestrix {

// Lenient readers of the crash reporter's records: a missing or wrongly typed member counts as
// absent, and so does a JSON null.
std::optional<QString> kxString(const QJsonObject &object, const char *key);
std::optional<bool> kxBool(const QJsonObject &object, const char *key);
std::optional<double> kxNumber(const QJsonObject &object, const char *key);
// A number, without its fraction.
std::optional<qint64> kxInteger(const QJsonObject &object, const char *key);
// The member when it is an object, else an empty object.
QJsonObject kxObject(const QJsonObject &object, const char *key);

// The value at a dotted path ("user.state.client"); undefined when any step is missing.
QJsonValue kxValueAtPath(const QJsonObject &object, const QString &path);
inline QJsonObject kxObjectAtPath(const QJsonObject &object, const QString &path)
{
    return kxValueAtPath(object, path).toObject();
}

// Writers that leave out absent values.
template <typename T> void kxInsert(QJsonObject &object, const char *key, const std::optional<T> &value)
{
    if (value) {
        object.insert(QLatin1String(key), QJsonValue(*value));
    }
}

} // namespace kestrix
