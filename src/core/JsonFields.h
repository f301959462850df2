#pragma once

#include "core/DecodingError.h"

#include <QByteArray>
#include <QHash>
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

// The path of a failure inside a member, given the member's own path: "data[3]" and "attributes.name"
// give "data[3].attributes.name".
QString joinPath(const QString &outer, const QString &inner);

// Runs `decode`, which reads the member as if it stood alone, and puts the member's path in front of any
// DecodingError it throws: paths are only put together when something fails.
template <typename F> auto within(const QString &path, QLatin1String key, F &&decode) -> decltype(decode())
{
    try {
        return decode();
    } catch (const DecodingError &error) {
        throw DecodingError(joinPath(member(path, key), error.path()), error.problem());
    }
}

template <typename F> auto withinElement(const QString &path, qsizetype index, F &&decode) -> decltype(decode())
{
    try {
        return decode();
    } catch (const DecodingError &error) {
        throw DecodingError(joinPath(element(path, index), error.path()), error.problem());
    }
}

// A member met while walking an object; its path is only put together when reading it fails.
struct Member
{
    const QString &path;
    const QString &key;
};

// A member's value, already known to be neither missing nor null, as the record's type; fails with a
// DecodingError naming the member.
template <typename T> T valueAs(const QJsonValue &value, const Member &at);
template <> QString valueAs<QString>(const QJsonValue &value, const Member &at);
template <> qint64 valueAs<qint64>(const QJsonValue &value, const Member &at);
template <> bool valueAs<bool>(const QJsonValue &value, const Member &at);
template <> QStringList valueAs<QStringList>(const QJsonValue &value, const Member &at);
template <> QJsonObject valueAs<QJsonObject>(const QJsonValue &value, const Member &at);

template <typename Record> using MemberReader = void (*)(Record &, const QJsonValue &, const Member &);
template <typename Record> using MemberReaders = QHash<QString, MemberReader<Record>>;

namespace detail {
template <auto Field> struct FieldOf;
template <typename R, typename T, T R::*F> struct FieldOf<F>
{
    using Record = R;
    using Value = typename T::value_type;
};
} // namespace detail

// The reader of an optional field: stores the member's value in `Field`.
template <auto Field>
void field(typename detail::FieldOf<Field>::Record &record, const QJsonValue &value, const Member &at)
{
    record.*Field = valueAs<typename detail::FieldOf<Field>::Value>(value, at);
}

// Reads an object in one pass over its members, instead of one search per field: each member whose key
// has a reader is handed to it; a null member counts as absent, and unknown members are skipped.
template <typename Record>
void readMembers(const QJsonObject &object, const QString &path, const MemberReaders<Record> &readers, Record &record)
{
    for (auto it = object.constBegin(), end = object.constEnd(); it != end; ++it) {
        const QString key = it.key();
        const auto reader = readers.constFind(key);
        if (reader == readers.constEnd()) {
            continue;
        }
        const QJsonValue value = it.value();
        if (!value.isNull()) {
            (*reader)(record, value, Member{path, key});
        }
    }
}

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
