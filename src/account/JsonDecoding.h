#pragma once

#include <QJsonObject>
#include <QString>

namespace plimsy {

// "path.key", or just "key" at the top of an answer.
QString memberPath(const QString &path, const char *key);

// The member as a string; throws DecodingError when it is missing, null or of another type.
QString requiredString(const QJsonObject &json, const QString &path, const char *key);

} // namespace plimsy
