#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

class QIODevice;

namespace plimsy::PropertyList {

// Reads an XML property list whose top element is a dictionary: string, integer (qint64), real, true,
// false, date (UTC), data (bytes), array (QVariantList) and dict (QVariantMap). Anything else, malformed
// XML, or arrays and dictionaries nested over 512 deep, gives no result.
std::optional<QVariantMap> readDictionary(QIODevice &device);
std::optional<QVariantMap> readDictionaryFile(const QString &path);

} // namespace plimsy::PropertyList
