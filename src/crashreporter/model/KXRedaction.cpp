#include "crashreporter/model/KXRedaction.h"

#include <QJsonArray>

namespace kestrix {

namespace {

const QString Redacted = QStringLiteral("[REDACTED]");

void writeRedactedValue(KXJSONWriter &writer, const QJsonValue &value, const std::vector<KestrixStringOrPattern> &keys);

void writeRedactedMembers(KXJSONWriter &writer,
                          const QJsonObject &object,
                          const std::vector<KestrixStringOrPattern> &keys)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        writer.key(it.key());
        if (kxMatchesAny(keys, it.key(), true)) {
            writer.value(nullptr, Redacted);
        } else {
            writeRedactedValue(writer, it.value(), keys);
        }
    }
}

// Objects inside lists are redacted too: a list of logins must not carry their passwords.
void writeRedactedValue(KXJSONWriter &writer, const QJsonValue &value, const std::vector<KestrixStringOrPattern> &keys)
{
    if (keys.empty() || (!value.isObject() && !value.isArray())) {
        writer.value(nullptr, value);
    } else if (value.isObject()) {
        writer.beginObject();
        writeRedactedMembers(writer, value.toObject(), keys);
        writer.endObject();
    } else {
        writer.beginArray();
        for (const QJsonValue &element : value.toArray()) {
            writeRedactedValue(writer, element, keys);
        }
        writer.endArray();
    }
}

} // namespace

bool kxMatchesAny(const std::vector<KestrixStringOrPattern> &members, const QString &name, bool ignoreCase)
{
    for (const KestrixStringOrPattern &member : members) {
        if (const auto *text = std::get_if<QString>(&member)) {
            if (QString::compare(*text, name, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0) {
                return true;
            }
        } else if (std::get<QRegularExpression>(member).match(name).hasMatch()) {
            return true;
        }
    }
    return false;
}

void kxWriteRedacted(KXJSONWriter &writer,
                     const char *key,
                     const QJsonObject &object,
                     const std::vector<KestrixStringOrPattern> &redactedKeys)
{
    writer.beginObject(key);
    writeRedactedMembers(writer, object, redactedKeys);
    writer.endObject();
}

} // namespace kestrix
