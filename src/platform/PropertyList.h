#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

class QIODevice;

namespace plimsy::PropertyList {

// Reads an XML property list whose top element is a dictionary: string, integer (qint64, or quint64
// from 2^63 to 2^64 - 1), real, true, false, date (UTC), data (bytes), array (QVariantList) and dict
// (QVariantMap). Anything else, malformed XML, content after the plist, or arrays and dictionaries
// nested over 512 deep, gives no result.
std::optional<QVariantMap> readDictionary(QIODevice &device);
std::optional<QVariantMap> readDictionaryFile(const QString &path);

} // namespace plimsy::PropertyList
