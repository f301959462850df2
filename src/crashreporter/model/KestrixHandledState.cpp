#include "crashreporter/model/KestrixHandledState.h"

#include "crashreporter/model/KXJSONFields.h"

namespace kestrix {

namespace {

constexpr const char *ReasonNames[] = {"unhandledException",
                                       "signal",
                                       "handledError",
                                       "handledException",
                                       "userSpecifiedSeverity",
                                       "userCallbackSetSeverity",
                                       "unhandledPromiseRejection",
                                       "log",
                                       "outOfMemory",
                                       "appHang",
                                       "thermalKill"};

std::optional<QString> attributeKey(KestrixSeverityReason reason)
{
    switch (reason) {
    case KestrixSeverityReason::Signal:
        return QStringLiteral("signalType");
    case KestrixSeverityReason::LogMessage:
        return QStringLiteral("level");
    default:
        return std::nullopt;
    }
}

} // namespace

KestrixHandledState::KestrixHandledState(KestrixSeverityReason reason,
                                         KestrixSeverity severity,
                                         bool unhandled,
                                         bool unhandledOverridden,
                                         const std::optional<QString> &attrValue)
    : unhandled(unhandled)
    , unhandledOverridden(unhandledOverridden)
    , severityReasonType(reason)
    , originalSeverity(severity)
    , currentSeverity(severity)
    , attrKey(attributeKey(reason))
{
    if (attrKey) {
        this->attrValue = attrValue;
    }
}

KestrixHandledState KestrixHandledState::withReason(KestrixSeverityReason reason,
                                                    KestrixSeverity severity,
                                                    const std::optional<QString> &attrValue)
{
    bool unhandled = false;
    switch (reason) {
    case KestrixSeverityReason::UnhandledException:
    case KestrixSeverityReason::Signal:
    case KestrixSeverityReason::UnhandledPromiseRejection:
    case KestrixSeverityReason::OutOfMemory:
    case KestrixSeverityReason::ThermalKill:
        unhandled = true;
        severity = KestrixSeverity::Error;
        break;
    case KestrixSeverityReason::AppHang:
        severity = KestrixSeverity::Error;
        break;
    case KestrixSeverityReason::HandledError:
    case KestrixSeverityReason::HandledException:
        severity = KestrixSeverity::Warning;
        break;
    default: // the given severity
        break;
    }
    return {reason, severity, unhandled, false, attrValue};
}

KestrixHandledState KestrixHandledState::fromDictionary(const QJsonObject &json)
{
    KestrixHandledState state(reasonFromName(kxString(json, "severityReasonType").value_or(QString())),
                              severityFromName(kxString(json, "originalSeverity").value_or(QString())),
                              kxBool(json, "unhandled").value_or(false),
                              false,
                              std::nullopt);
    state.currentSeverity = severityFromName(kxString(json, "currentSeverity").value_or(QString()));
    state.attrKey = kxString(json, "attrKey");
    state.attrValue = kxString(json, "attrValue");
    return state;
}

QJsonObject KestrixHandledState::toJson() const
{
    QJsonObject json{{QStringLiteral("unhandled"), unhandled},
                     {QStringLiteral("severityReasonType"), reasonName(severityReasonType)},
                     {QStringLiteral("originalSeverity"), severityName(originalSeverity)},
                     {QStringLiteral("currentSeverity"), severityName(currentSeverity)}};
    if (unhandledOverridden) {
        json.insert(QStringLiteral("unhandledOverridden"), true);
    }
    kxInsert(json, "attrKey", attrKey);
    kxInsert(json, "attrValue", attrValue);
    return json;
}

KestrixHandledState KestrixHandledState::fromEventJson(const QJsonObject &event)
{
    const QJsonObject reason = kxObject(event, "severityReason");
    const QJsonObject attributes = kxObject(reason, "attributes");
    std::optional<QString> attrValue;
    if (attributes.size() == 1 && attributes.begin().value().isString()) {
        attrValue = attributes.begin().value().toString();
    }
    const KestrixSeverity severity = severityFromName(kxString(event, "severity").value_or(QString()));
    return {reasonFromName(kxString(reason, "type").value_or(QString())),
            severity,
            kxBool(event, "unhandled").value_or(false),
            kxBool(reason, "unhandledOverridden").value_or(false),
            attrValue};
}

KestrixSeverityReason KestrixHandledState::calculateSeverityReasonType() const
{
    return originalSeverity != currentSeverity ? KestrixSeverityReason::UserCallbackSetSeverity : severityReasonType;
}

QString KestrixHandledState::severityName(KestrixSeverity severity)
{
    switch (severity) {
    case KestrixSeverity::Info:
        return QStringLiteral("info");
    case KestrixSeverity::Warning:
        return QStringLiteral("warning");
    default:
        return QStringLiteral("error");
    }
}

KestrixSeverity KestrixHandledState::severityFromName(const QString &name)
{
    if (name == QLatin1String("info")) {
        return KestrixSeverity::Info;
    }
    return name == QLatin1String("warning") ? KestrixSeverity::Warning : KestrixSeverity::Error;
}

QString KestrixHandledState::reasonName(KestrixSeverityReason reason)
{
    const auto index = static_cast<uint64_t>(reason);
    return QLatin1String(index < std::size(ReasonNames) ? ReasonNames[index] : "signal");
}

KestrixSeverityReason KestrixHandledState::reasonFromName(const QString &name)
{
    for (uint64_t index = 0; index < std::size(ReasonNames); index++) {
        if (name == QLatin1String(ReasonNames[index])) {
            return static_cast<KestrixSeverityReason>(index);
        }
    }
    return KestrixSeverityReason::UnhandledException;
}

} // namespace kestrix
