#pragma once

#include "crashreporter/model/KestrixStackframe.h"

#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace kestrix {

// One error or exception: its class, message, kind and stack trace.
struct KestrixError
{
    std::optional<QString> errorClass;
    std::optional<QString> errorMessage;
    std::vector<KestrixStackframe> stacktrace;
    // "cocoa", "c", "reactnativejs" or "csharp".
    QString typeString = QStringLiteral("cocoa");

    // The crash's class and message from the report's "crash.error" section, with these frames.
    static KestrixError fromCrashReport(const QJsonObject &report, std::vector<KestrixStackframe> stacktrace);
    static KestrixError fromJson(const QJsonObject &json);
    // "errorClass", "message", "type" and "stacktrace".
    QJsonObject toDictionary() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;

    // Takes class and message from an assertion's crash-info message when it has a known shape.
    void updateWithCrashInfoMessage(const QString &message);
    // The first thread of the report's "crash.threads" that crashed.
    static std::optional<QJsonObject> findErrorReportingThread(const QJsonObject &report);
};

} // namespace kestrix
