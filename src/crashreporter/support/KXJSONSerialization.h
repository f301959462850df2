#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

namespace kestrix {

// JSON reading and writing of the crash reporter; errors come back as text in `error`.
class KXJSONSerialization
{
public:
    static std::optional<QJsonObject> objectFromData(const QByteArray &data, QString *error = nullptr);
    static std::optional<QJsonObject> readObjectFromFile(const QString &path, QString *error = nullptr);
    // Written through a temporary file, so that readers see the old or the new content whole.
    static bool writeObjectToFile(const QJsonObject &object, const QString &path, QString *error = nullptr);
};

// Makes a value JSON-safe: drops non-finite numbers and anything JSON cannot hold; for arrays and
// objects, recursively, dropping elements that become undefined.
QJsonValue kxSanitizeJSON(const QJsonValue &value);

} // namespace kestrix
