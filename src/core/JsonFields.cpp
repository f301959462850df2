#include "core/JsonFields.h"

#include "platform/JsonSyntax.h"

#include <QJsonDocument>

namespace plimsy::json {

namespace {

const QString MissingProblem = QStringLiteral("is missing");

// The member's path is only built on failure: decoding long listings must not pay for it.
struct Where
{
    const QString &path;
    QAnyStringView key;
    qsizetype index = -1;

    QString text() const
    {
        const QString name = key.toString();
        const QString at = path.isEmpty() ? name : path + QLatin1Char('.') + name;
        return index < 0 ? at : element(at, index);
    }
};

[[noreturn]] void fail(const Where &where, const char *expected)
{
    throw DecodingError(where.text(), QStringLiteral("expected ") + QLatin1String(expected));
}

// The member's value, or none when it is missing or null.
std::optional<QJsonValue> present(const QJsonObject &object, QLatin1String key)
{
    QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull()) {
        return std::nullopt;
    }
    return value;
}

QJsonValue required(const QJsonObject &object, QLatin1String key, const QString &path)
{
    auto value = present(object, key);
    if (!value) {
        throw DecodingError(member(path, key), MissingProblem);
    }
    return *value;
}

QString stringOf(const QJsonValue &value, const Where &where)
{
    if (!value.isString()) {
        fail(where, "a string");
    }
    return value.toString();
}

qint64 integerOf(const QJsonValue &value, const Where &where)
{
    const auto number = integerValue(value);
    if (!number) {
        fail(where, "an integer");
    }
    return *number;
}

bool boolOf(const QJsonValue &value, const Where &where)
{
    if (!value.isBool()) {
        fail(where, "a boolean");
    }
    return value.toBool();
}

QJsonObject objectOf(const QJsonValue &value, const Where &where)
{
    if (!value.isObject()) {
        fail(where, "an object");
    }
    return value.toObject();
}

QStringList stringListOf(const QJsonValue &value, const Where &where)
{
    if (!value.isArray()) {
        fail(where, "an array");
    }
    const QJsonArray array = value.toArray();
    QStringList strings;
    strings.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        strings.append(stringOf(array.at(i), Where{where.path, where.key, i}));
    }
    return strings;
}

} // namespace

QString member(const QString &path, QLatin1String key)
{
    return path.isEmpty() ? QString(key) : path + QLatin1Char('.') + key;
}

QString element(const QString &path, qsizetype index)
{
    return path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

QString joinPath(const QString &outer, const QString &inner)
{
    if (inner.isEmpty() || outer.isEmpty()) {
        return outer + inner;
    }
    return inner.startsWith(QLatin1Char('[')) ? outer + inner : outer + QLatin1Char('.') + inner;
}

QJsonObject parseObject(const QByteArray &bytes, const QString &path)
{
    // The whole answer has no member to name: its problems get a subject of their own.
    const QString subject = path.isEmpty() ? QStringLiteral("The answer ") : QString();
    const auto malformed = [&](const QString &why, qsizetype offset) {
        return DecodingError(path,
                             subject + QStringLiteral("is not valid JSON (") + why + QStringLiteral(" at offset ")
                                 + QString::number(offset) + QLatin1Char(')'));
    };
    // Checked first: Qt's parser takes some malformed text and reads it as something else.
    if (const std::optional<qsizetype> offset = jsonSyntaxError(bytes)) {
        throw malformed(*offset < bytes.size() ? QStringLiteral("unexpected character")
                                               : QStringLiteral("unexpected end"),
                        *offset);
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        throw malformed(error.errorString(), error.offset);
    }
    if (!document.isObject()) {
        throw DecodingError(path,
                            path.isEmpty() ? QStringLiteral("The answer is not a JSON object")
                                           : QStringLiteral("expected an object"));
    }
    return document.object();
}

std::optional<qint64> integerValue(const QJsonValue &value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    // toInteger() answers its default for fractions and out-of-range numbers; two defaults tell.
    const qint64 number = value.toInteger(0);
    if (number != value.toInteger(1)) {
        return std::nullopt;
    }
    return number;
}

QString requiredString(const QJsonObject &object, QLatin1String key, const QString &path)
{
    return stringOf(required(object, key, path), Where{path, key});
}

qint64 requiredInteger(const QJsonObject &object, QLatin1String key, const QString &path)
{
    return integerOf(required(object, key, path), Where{path, key});
}

bool requiredBool(const QJsonObject &object, QLatin1String key, const QString &path)
{
    return boolOf(required(object, key, path), Where{path, key});
}

QJsonObject requiredObject(const QJsonObject &object, QLatin1String key, const QString &path)
{
    return objectOf(required(object, key, path), Where{path, key});
}

QJsonArray requiredArray(const QJsonObject &object, QLatin1String key, const QString &path)
{
    const QJsonValue value = required(object, key, path);
    if (!value.isArray()) {
        fail(Where{path, key}, "an array");
    }
    return value.toArray();
}

std::optional<QString> optionalString(const QJsonObject &object, QLatin1String key, const QString &path)
{
    const auto value = present(object, key);
    return value ? std::optional<QString>(stringOf(*value, Where{path, key})) : std::nullopt;
}

std::optional<qint64> optionalInteger(const QJsonObject &object, QLatin1String key, const QString &path)
{
    const auto value = present(object, key);
    return value ? std::optional<qint64>(integerOf(*value, Where{path, key})) : std::nullopt;
}

std::optional<bool> optionalBool(const QJsonObject &object, QLatin1String key, const QString &path)
{
    const auto value = present(object, key);
    return value ? std::optional<bool>(boolOf(*value, Where{path, key})) : std::nullopt;
}

std::optional<QStringList> optionalStringList(const QJsonObject &object, QLatin1String key, const QString &path)
{
    const auto value = present(object, key);
    return value ? std::optional<QStringList>(stringListOf(*value, Where{path, key})) : std::nullopt;
}

std::optional<QJsonObject> optionalObject(const QJsonObject &object, QLatin1String key, const QString &path)
{
    const auto value = present(object, key);
    return value ? std::optional<QJsonObject>(objectOf(*value, Where{path, key})) : std::nullopt;
}

template <> QString valueAs<QString>(const QJsonValue &value, const Member &at)
{
    return stringOf(value, Where{at.path, at.key});
}

template <> qint64 valueAs<qint64>(const QJsonValue &value, const Member &at)
{
    return integerOf(value, Where{at.path, at.key});
}

template <> bool valueAs<bool>(const QJsonValue &value, const Member &at)
{
    return boolOf(value, Where{at.path, at.key});
}

template <> QStringList valueAs<QStringList>(const QJsonValue &value, const Member &at)
{
    return stringListOf(value, Where{at.path, at.key});
}

template <> QJsonObject valueAs<QJsonObject>(const QJsonValue &value, const Member &at)
{
    return objectOf(value, Where{at.path, at.key});
}

} // namespace plimsy::json
