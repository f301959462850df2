#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace kestrix {

enum class KestrixSeverity
{
    Error = 0,
    Warning = 1,
    Info = 2,
};

// Why an event has its severity.
enum class KestrixSeverityReason : uint64_t
{
    UnhandledException = 0,
    Signal = 1,
    HandledError = 2,
    HandledException = 3,
    UserSpecifiedSeverity = 4,
    UserCallbackSetSeverity = 5,
    UnhandledPromiseRejection = 6,
    LogMessage = 7,
    OutOfMemory = 8,
    AppHang = 9,
    ThermalKill = 10,
};

// Whether an error was handled, how severe it is, and why.
struct KestrixHandledState
{
    // The reason's default severity and handling; `severity` stands where the reason takes one given.
    static KestrixHandledState withReason(KestrixSeverityReason reason,
                                          KestrixSeverity severity = KestrixSeverity::Warning,
                                          const std::optional<QString> &attrValue = std::nullopt);
    KestrixHandledState(KestrixSeverityReason reason,
                        KestrixSeverity severity,
                        bool unhandled,
                        bool unhandledOverridden,
                        const std::optional<QString> &attrValue);

    // The crash-time form: "unhandled", "unhandledOverridden", "severityReasonType", "originalSeverity",
    // "currentSeverity", "attrKey", "attrValue".
    static KestrixHandledState fromDictionary(const QJsonObject &json);
    QJsonObject toJson() const;
    // From an event's JSON: "unhandled", "severity" and "severityReason".
    static KestrixHandledState fromEventJson(const QJsonObject &event);

    // A callback that changed the severity makes the reason "userCallbackSetSeverity".
    KestrixSeverityReason calculateSeverityReasonType() const;
    bool originalUnhandledValue() const { return unhandled != unhandledOverridden; }

    static QString severityName(KestrixSeverity severity);
    static KestrixSeverity severityFromName(const QString &name);
    // Numbers above 10 are named "signal"; unknown names read as "unhandledException".
    static QString reasonName(KestrixSeverityReason reason);
    static KestrixSeverityReason reasonFromName(const QString &name);

    bool unhandled = false;
    bool unhandledOverridden = false;
    KestrixSeverityReason severityReasonType = KestrixSeverityReason::UnhandledException;
    KestrixSeverity originalSeverity = KestrixSeverity::Error;
    KestrixSeverity currentSeverity = KestrixSeverity::Error;
    std::optional<QString> attrValue;
    std::optional<QString> attrKey;
};

} // namespace kestrix
