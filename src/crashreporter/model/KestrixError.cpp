#include "crashreporter/model/KestrixError.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KX_CrashDoctor.h"

#include <QRegularExpression>

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace kestrix {

namespace {

// The crash core records C++ exception types by their mangled names ("St13runtime_error").
QString demangled(const QString &name)
{
    int status = 0;
    std::unique_ptr<char, decltype(&free)> readable(
        abi::__cxa_demangle(name.toUtf8().constData(), nullptr, nullptr, &status), &free);
    return status == 0 && readable ? QString::fromUtf8(readable.get()) : name;
}

QString errorClassOf(const QJsonObject &error, const QString &type)
{
    std::optional<QString> name;
    if (type == QLatin1String("cpp_exception")) {
        name = kxString(kxObject(error, "cpp_exception"), "name");
        if (name) {
            name = demangled(*name);
        }
    } else if (type == QLatin1String("mach")) {
        name = kxString(kxObject(error, "mach"), "exception_name");
    } else if (type == QLatin1String("signal")) {
        name = kxString(kxObject(error, "signal"), "name");
    } else if (type == QLatin1String("nsexception")) {
        name = kxString(kxObject(error, "nsexception"), "name");
    } else if (type == QLatin1String("user")) {
        name = kxString(kxObject(error, "user_reported"), "name");
    }
    return name.value_or(QStringLiteral("Exception"));
}

} // namespace

KestrixError KestrixError::fromCrashReport(const QJsonObject &report, std::vector<KestrixStackframe> stacktrace)
{
    const QJsonObject error = kxObjectAtPath(report, QStringLiteral("crash.error"));
    const QString type = kxString(error, "type").value_or(QString());
    KestrixError result;
    result.errorClass = errorClassOf(error, type);
    const auto reason = kxString(error, "reason");
    if (type != QLatin1String("mach") && reason) {
        result.errorMessage = reason;
    } else {
        result.errorMessage = KX_CrashDoctor::diagnoseCrash(report).value_or(reason.value_or(QString()));
    }
    if (!kxValueAtPath(report, QStringLiteral("user.state.didOOM")).toBool()) {
        result.stacktrace = std::move(stacktrace);
    }
    return result;
}

KestrixError KestrixError::fromJson(const QJsonObject &json)
{
    KestrixError error;
    error.errorClass = kxString(json, "errorClass");
    error.errorMessage = kxString(json, "message");
    error.stacktrace = KestrixStacktrace::fromJson(json.value(QStringLiteral("stacktrace")).toArray());
    error.typeString = kxString(json, "type").value_or(QStringLiteral("cocoa"));
    return error;
}

QJsonObject KestrixError::toDictionary() const
{
    return kxJsonObject(*this);
}

void KestrixError::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writer.optional("errorClass", errorClass);
    writer.optional("message", errorMessage);
    writer.value("type", typeString);
    KestrixStacktrace::write(writer, "stacktrace", stacktrace);
    writer.endObject();
}

void KestrixError::updateWithCrashInfoMessage(const QString &message)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(
            QStringLiteral("^(assertion failed|fatal error|precondition failed): ((.+): )?file .+, line \\d+\n$")),
        QRegularExpression(QStringLiteral("^(assertion failed|fatal error|precondition failed): ((.+))?\n$")),
        QRegularExpression(
            QStringLiteral("^(Assertion failed|Fatal error|Precondition failed): ((.+): )?file .+, line \\d+\n$")),
        QRegularExpression(QStringLiteral("^(Assertion failed|Fatal error|Precondition failed): ((.+))?\n$")),
        QRegularExpression(QStringLiteral("^.+:\\d+: (Assertion failed|Fatal error|Precondition failed)(: (.+))?\n$")),
    };
    for (const QRegularExpression &pattern : patterns) {
        const QRegularExpressionMatch match = pattern.match(message);
        if (!match.hasMatch()) {
            continue;
        }
        if (match.hasCaptured(1)) {
            errorClass = match.captured(1);
        }
        if (match.hasCaptured(3)) {
            errorMessage = match.captured(3);
        }
        return;
    }
    if (!errorMessage || errorMessage->isEmpty()) {
        errorMessage = message;
    }
}

std::optional<QJsonObject> KestrixError::findErrorReportingThread(const QJsonObject &report)
{
    for (const QJsonValue &thread : kxValueAtPath(report, QStringLiteral("crash.threads")).toArray()) {
        if (thread.toObject().value(QStringLiteral("crashed")).toBool()) {
            return thread.toObject();
        }
    }
    return std::nullopt;
}

} // namespace kestrix
