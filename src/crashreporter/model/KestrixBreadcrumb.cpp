#include "crashreporter/model/KestrixBreadcrumb.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

namespace kestrix {

namespace {

constexpr const char *TypeNames[] = {"manual", "error", "log", "navigation", "process", "request", "state", "user"};

} // namespace

KestrixBreadcrumb::KestrixBreadcrumb()
    : m_timestamp(QDateTime::currentDateTimeUtc())
{
}

std::optional<QString> KestrixBreadcrumb::timestampString() const
{
    if (m_timestampString) {
        return m_timestampString;
    }
    if (m_timestamp && m_timestamp->isValid()) {
        return KX_RFC3339DateTool::stringFromDate(*m_timestamp);
    }
    return std::nullopt;
}

void KestrixBreadcrumb::setTimestampString(const std::optional<QString> &text)
{
    m_timestampString = text;
    m_timestamp.reset(); // derived again from the text when asked
}

std::optional<QDateTime> KestrixBreadcrumb::timestamp() const
{
    if (m_timestamp) {
        return m_timestamp;
    }
    if (m_timestampString) {
        const QDateTime date = KX_RFC3339DateTool::dateFromString(*m_timestampString);
        if (date.isValid()) {
            return date;
        }
    }
    return std::nullopt;
}

void KestrixBreadcrumb::setTimestamp(const QDateTime &date)
{
    m_timestamp = date;
    m_timestampString.reset();
}

bool KestrixBreadcrumb::isValid() const
{
    if (message.isEmpty()) {
        return false;
    }
    return (m_timestampString && KX_RFC3339DateTool::isLikelyDateString(*m_timestampString)) || m_timestamp;
}

std::optional<QJsonObject> KestrixBreadcrumb::objectValue() const
{
    KXJSONWriter writer;
    return writeJson(writer) ? std::optional(writer.object()) : std::nullopt;
}

bool KestrixBreadcrumb::writeJson(KXJSONWriter &writer, const std::vector<KestrixStringOrPattern> &redactedKeys) const
{
    const std::optional<QString> text = timestampString();
    if (!text || message.isEmpty()) {
        return false;
    }
    writer.beginObject();
    writer.value("name", message);
    writer.value("timestamp", *text);
    writer.value("type", typeName(type));
    kxWriteRedacted(writer, "metaData", metadata, redactedKeys);
    writer.endObject();
    return true;
}

std::optional<KestrixBreadcrumb> KestrixBreadcrumb::fromDict(const QJsonObject &json)
{
    QJsonValue metadata = json.value(QStringLiteral("metaData"));
    if (!metadata.isObject()) {
        metadata = json.value(QStringLiteral("metadata"));
    }
    const auto message = kxString(json, "message") ? kxString(json, "message") : kxString(json, "name");
    const auto timestamp = kxString(json, "timestamp");
    const auto type = kxString(json, "type");
    if (!message || !timestamp || !type) {
        return std::nullopt;
    }
    KestrixBreadcrumb breadcrumb;
    breadcrumb.setTimestampString(timestamp);
    breadcrumb.type = typeFromName(*type);
    breadcrumb.message = *message;
    breadcrumb.metadata = metadata.toObject();
    return breadcrumb.isValid() ? std::optional(breadcrumb) : std::nullopt;
}

QString KestrixBreadcrumb::typeName(KestrixBreadcrumbType type)
{
    const auto index = static_cast<uint64_t>(type);
    return QLatin1String(index < std::size(TypeNames) ? TypeNames[index] : "log");
}

KestrixBreadcrumbType KestrixBreadcrumb::typeFromName(const QString &name)
{
    for (uint64_t index = 1; index < std::size(TypeNames); index++) {
        if (name == QLatin1String(TypeNames[index])) {
            return static_cast<KestrixBreadcrumbType>(index);
        }
    }
    return KestrixBreadcrumbType::Manual;
}

} // namespace kestrix
