// The event's payload form, and reading it back.
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/model/KestrixEvent.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXLogger.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace kestrix {

namespace {

QString kindName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String:
        return QStringLiteral("string");
    case QJsonValue::Double:
        return QStringLiteral("number");
    case QJsonValue::Bool:
        return QStringLiteral("boolean");
    case QJsonValue::Array:
        return QStringLiteral("array");
    default:
        return QStringLiteral("null");
    }
}

QString valueText(const QJsonValue &value)
{
    if (value.isString()) {
        return value.toString();
    }
    KXJSONWriter writer;
    writer.value(nullptr, value);
    return QString::fromUtf8(writer.data());
}

// The sections without "context"; a section that is no object becomes a note about it.
void writeMetadata(KXJSONWriter &writer, const QJsonObject &sections, const std::vector<KestrixStringOrPattern> &keys)
{
    writer.beginObject("metaData");
    for (auto it = sections.begin(); it != sections.end(); ++it) {
        if (it.key() == QLatin1String("context")) {
            continue;
        }
        writer.key(it.key());
        if (it.value().isObject()) {
            kxWriteRedacted(writer, nullptr, it.value().toObject(), keys);
            continue;
        }
        const QString message =
            QStringLiteral("Expected an NSDictionary but got %1 %2").arg(kindName(it.value()), valueText(it.value()));
        kxLogError(message);
        writer.beginObject();
        writer.value("kestrix.error", message);
        writer.endObject();
    }
    writer.endObject();
}

void writeSeverityReason(KXJSONWriter &writer, const KestrixHandledState &state)
{
    writer.beginObject("severityReason");
    writer.value("type", KestrixHandledState::reasonName(state.calculateSeverityReasonType()));
    if (state.unhandledOverridden) {
        writer.value("unhandledOverridden", true);
    }
    if (state.attrKey && state.attrValue) {
        writer.beginObject("attributes");
        writer.key(*state.attrKey);
        writer.value(nullptr, *state.attrValue);
        writer.endObject();
    }
    writer.endObject();
}

template <typename T, typename Read> std::vector<T> readEach(const QJsonValue &list, Read read)
{
    std::vector<T> result;
    for (const QJsonValue &element : list.toArray()) {
        if (auto item = read(element)) {
            result.push_back(std::move(*item));
        }
    }
    return result;
}

} // namespace

QJsonObject KestrixEvent::toJsonWithRedactedKeys(const std::vector<KestrixStringOrPattern> &redactedKeys) const
{
    return QJsonDocument::fromJson(toJsonData(redactedKeys)).object();
}

QByteArray KestrixEvent::toJsonData(const std::vector<KestrixStringOrPattern> &redactedKeys) const
{
    KXJSONWriter writer(64 * 1024);
    writer.beginObject();
    writer.beginArray("exceptions");
    for (size_t i = 0; i < errors.size(); i++) {
        if (i == 0 && customException) {
            writer.value(nullptr, *customException);
        } else {
            errors[i].writeJson(writer);
        }
    }
    writer.endArray();
    KestrixThread::serializeThreads(writer, "threads", threads);
    writer.value("severity", KestrixHandledState::severityName(severity()));
    writer.beginArray("breadcrumbs");
    for (const KestrixBreadcrumb &breadcrumb : breadcrumbs) {
        breadcrumb.writeJson(writer, redactedKeys);
    }
    writer.endArray();
    writeMetadata(writer, metadata.toDictionary(), redactedKeys);
    writer.optional("apiKey", m_apiKey);
    writer.optional("context", context);
    writer.optional("groupingDiscriminator", groupingDiscriminator);
    writer.optional("groupingHash", groupingHash);
    device.writeJson(writer, "device");
    app.writeJson(writer, "app");
    if (correlation) {
        correlation->writeJson(writer, "correlation");
    }
    kxWriteFeatureFlags(writer, "featureFlags", featureFlagStore.allFlags());
    writer.value("unhandled", handledState.unhandled);
    writeSeverityReason(writer, handledState);
    if (user) {
        user->writeJson(writer, "user");
    } else {
        writer.value("user", QJsonObject());
    }
    if (session) {
        session->writeEventJson(writer, "session");
    }
    if (usage) {
        writer.value("usage", *usage);
    }
    writer.endObject();
    return writer.data();
}

KestrixEvent KestrixEvent::fromJson(const QJsonObject &json)
{
    const QJsonValue appJson = json.value(QStringLiteral("app"));
    const QJsonValue deviceJson = json.value(QStringLiteral("device"));
    KestrixAppWithState app = KestrixAppWithState::fromJson(appJson.toObject());
    KestrixDeviceWithState device = KestrixDeviceWithState::fromJson(deviceJson.toObject());
    KestrixUser user = KestrixUser::fromJson(kxObject(json, "user"));
    auto session = KestrixSession::fromEventJson(kxObject(json, "session"), app, device, user);
    KestrixEvent event(std::move(app),
                       std::move(device),
                       KestrixHandledState::fromEventJson(json),
                       user,
                       KestrixMetadata(kxObject(json, "metaData")),
                       readEach<KestrixBreadcrumb>(
                           json.value(QStringLiteral("breadcrumbs")),
                           [](const QJsonValue &value) { return KestrixBreadcrumb::fromDict(value.toObject()); }),
                       readEach<KestrixError>(json.value(QStringLiteral("exceptions")),
                                              [](const QJsonValue &value) {
                                                  return value.isObject()
                                                             ? std::optional(KestrixError::fromJson(value.toObject()))
                                                             : std::nullopt;
                                              }),
                       readEach<KestrixThread>(json.value(QStringLiteral("threads")), &KestrixThread::fromJson),
                       std::move(session));
    event.m_apiKey = kxString(json, "apiKey");
    event.context = kxString(json, "context");
    event.groupingDiscriminator = kxString(json, "groupingDiscriminator");
    event.groupingHash = kxString(json, "groupingHash");
    event.correlation = KestrixCorrelation::fromJson(kxObject(json, "correlation"));
    event.featureFlagStore = KXMemoryFeatureFlagStore::fromJSON(json.value(QStringLiteral("featureFlags")));
    const QJsonValue usage = json.value(QStringLiteral("usage"));
    event.usage = usage.isObject() ? std::optional(usage.toObject()) : std::nullopt;
    return event;
}

} // namespace kestrix
