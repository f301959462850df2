// The event's payload form, and reading it back.
#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/model/KestrixEvent.h"
#include "crashreporter/support/KXLogger.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace kestrix {

namespace {

const QString Redacted = QStringLiteral("[REDACTED]");

QJsonValue redacted(const QJsonValue &value, const std::vector<KestrixStringOrPattern> &keys);

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
    const QByteArray list = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(list.mid(1, list.size() - 2));
}

QJsonObject redactedObject(const QJsonObject &object, const std::vector<KestrixStringOrPattern> &keys)
{
    QJsonObject result;
    for (auto it = object.begin(); it != object.end(); ++it) {
        result.insert(it.key(), kxMatchesAny(keys, it.key(), true) ? QJsonValue(Redacted) : redacted(it.value(), keys));
    }
    return result;
}

// Objects inside lists are redacted too: a list of logins must not carry their passwords.
QJsonValue redacted(const QJsonValue &value, const std::vector<KestrixStringOrPattern> &keys)
{
    if (value.isObject()) {
        return redactedObject(value.toObject(), keys);
    }
    if (value.isArray()) {
        QJsonArray result;
        for (const QJsonValue &element : value.toArray()) {
            result.append(redacted(element, keys));
        }
        return result;
    }
    return value;
}

QJsonObject redactedMetadata(const QJsonObject &sections, const std::vector<KestrixStringOrPattern> &keys)
{
    QJsonObject result;
    for (auto it = sections.begin(); it != sections.end(); ++it) {
        if (it.value().isObject()) {
            result.insert(it.key(), redactedObject(it.value().toObject(), keys));
            continue;
        }
        const QString message =
            QStringLiteral("Expected an NSDictionary but got %1 %2").arg(kindName(it.value()), valueText(it.value()));
        kxLogError(message);
        result.insert(it.key(), QJsonObject{{QStringLiteral("kestrix.error"), message}});
    }
    result.remove(QStringLiteral("context"));
    return result;
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
    QJsonObject json;
    QJsonArray exceptions;
    for (size_t i = 0; i < errors.size(); i++) {
        exceptions.append(i == 0 && customException ? *customException : errors[i].toDictionary());
    }
    json.insert(QStringLiteral("exceptions"), exceptions);
    json.insert(QStringLiteral("threads"), KestrixThread::serializeThreads(threads));
    json.insert(QStringLiteral("severity"), KestrixHandledState::severityName(severity()));

    QJsonArray trail;
    for (const KestrixBreadcrumb &breadcrumb : breadcrumbs) {
        if (auto object = breadcrumb.objectValue()) {
            object->insert(QStringLiteral("metaData"),
                           redactedObject(object->value(QStringLiteral("metaData")).toObject(), redactedKeys));
            trail.append(*object);
        }
    }
    json.insert(QStringLiteral("breadcrumbs"), trail);
    json.insert(QStringLiteral("metaData"), redactedMetadata(metadata.toDictionary(), redactedKeys));

    kxInsert(json, "apiKey", m_apiKey);
    kxInsert(json, "context", context);
    kxInsert(json, "groupingDiscriminator", groupingDiscriminator);
    kxInsert(json, "groupingHash", groupingHash);
    json.insert(QStringLiteral("device"), device.toDictionary());
    json.insert(QStringLiteral("app"), app.toDict());
    if (correlation) {
        json.insert(QStringLiteral("correlation"), correlation->toJsonDictionary());
    }
    json.insert(QStringLiteral("featureFlags"), featureFlagStore.toJSON());
    json.insert(QStringLiteral("unhandled"), handledState.unhandled);

    QJsonObject reason{
        {QStringLiteral("type"), KestrixHandledState::reasonName(handledState.calculateSeverityReasonType())}};
    if (handledState.unhandledOverridden) {
        reason.insert(QStringLiteral("unhandledOverridden"), true);
    }
    if (handledState.attrKey && handledState.attrValue) {
        reason.insert(QStringLiteral("attributes"), QJsonObject{{*handledState.attrKey, *handledState.attrValue}});
    }
    json.insert(QStringLiteral("severityReason"), reason);
    json.insert(QStringLiteral("user"), user ? user->toJson() : QJsonObject());
    if (session) {
        json.insert(QStringLiteral("session"), session->toEventJson());
    }
    kxInsert(json, "usage", usage);
    return json;
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
