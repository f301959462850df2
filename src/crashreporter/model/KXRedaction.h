#pragma once

#include "crashreporter/support/KXJSONWriter.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

#include <variant>
#include <vector>

namespace kestrix {

// A key or class name to match: a string (whole) or a regular expression (anywhere in the name).
using KestrixStringOrPattern = std::variant<QString, QRegularExpression>;

// Whether a key or class name matches one of the members: strings compare whole (ignoring case
// when asked), expressions match anywhere.
bool kxMatchesAny(const std::vector<KestrixStringOrPattern> &members, const QString &name, bool ignoreCase);

// Writes the object with the value of every key that matches `redactedKeys` (ignoring case) as
// "[REDACTED]", through nested objects and the objects inside lists.
void kxWriteRedacted(KXJSONWriter &writer,
                     const char *key,
                     const QJsonObject &object,
                     const std::vector<KestrixStringOrPattern> &redactedKeys);

} // namespace kestrix
