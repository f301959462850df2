#pragma once

#include <QJsonValue>
#include <QString>

namespace kestrix {

// Cuts long strings to a maximum length, counting what it cut.
struct KXTruncateContext
{
    qsizetype maxLength = 0;
    qsizetype stringsTruncated = 0;
    qsizetype lengthTruncated = 0;
};

// Cut at the start of the character (grapheme) holding the limit, followed by
// "\n***<n> CHARS TRUNCATED***".
QString kxTruncateString(KXTruncateContext &context, const QString &text);
// The same through every string of objects and arrays; other values pass through.
QJsonValue kxTruncateStrings(KXTruncateContext &context, const QJsonValue &value);

// Deep merge: the first one's values win, nested objects merge the same way.
QJsonObject kxMergeObjects(const QJsonObject &first, const QJsonObject &second);

} // namespace kestrix
