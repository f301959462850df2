#include "crashreporter/support/KXJSONSerialization.h"

#include "crashreporter/support/KXFileSystemQueue.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace kestrix {

std::optional<QJsonObject> KXJSONSerialization::objectFromData(const QByteArray &data, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (error != nullptr) {
            *error = parseError.errorString();
        }
        return std::nullopt;
    }
    if (!document.isObject()) {
        if (error != nullptr) {
            *error = QStringLiteral("Not a valid JSON object");
        }
        return std::nullopt;
    }
    return document.object();
}

std::optional<QJsonObject> KXJSONSerialization::readObjectFromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return std::nullopt;
    }
    return objectFromData(file.readAll(), error);
}

bool KXJSONSerialization::writeObjectToFile(const QJsonObject &object, const QString &path, QString *error)
{
    return KXFileSystemQueue::writeFile(path, QJsonDocument(object).toJson(QJsonDocument::Compact), error);
}

QJsonValue kxSanitizeJSON(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Array: {
        QJsonArray result;
        for (const QJsonValue &element : value.toArray()) {
            const QJsonValue sanitized = kxSanitizeJSON(element);
            if (!sanitized.isUndefined()) {
                result.append(sanitized);
            }
        }
        return result;
    }
    case QJsonValue::Object: {
        QJsonObject result;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QJsonValue sanitized = kxSanitizeJSON(it.value());
            if (!sanitized.isUndefined()) {
                result.insert(it.key(), sanitized);
            }
        }
        return result;
    }
    case QJsonValue::Double:
        return std::isfinite(value.toDouble()) ? value : QJsonValue(QJsonValue::Undefined);
    case QJsonValue::Undefined:
        return QJsonValue(QJsonValue::Undefined);
    default:
        return value;
    }
}

} // namespace kestrix
