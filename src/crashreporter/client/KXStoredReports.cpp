#include "crashreporter/client/KXStoredReports.h"

#include "crashreporter/model/KXCrashReportFixup.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace kestrix {

namespace {

QStringList sectionsIn(const QByteArray &prefix)
{
    static const QRegularExpression section(
        QStringLiteral("\"(report|process|system|system_atcrash|binary_images|crash|threads|error|user_atcrash|"
                       "config|metaData|state|breadcrumbs|featureFlags)\":"));
    QStringList names;
    auto matches = section.globalMatch(QString::fromUtf8(prefix));
    while (matches.hasNext()) {
        names << matches.next().captured(1);
    }
    return names;
}

} // namespace

std::optional<QJsonObject> kxReadJsonObject(const QByteArray &bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

KXCrashReportReading kxReadCrashReport(const QByteArray &bytes)
{
    KXCrashReportReading reading;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        reading.errorDescription =
            error.error != QJsonParseError::NoError ? error.errorString() : QStringLiteral("not a JSON object");
        if (bytes.isEmpty()) {
            reading.corruptReason = QStringLiteral("File is empty");
        } else if (bytes.front() != '{') {
            reading.corruptReason = QStringLiteral("Does not start with \"{\"");
        } else if (bytes.back() != '}') {
            reading.corruptReason = QStringLiteral("Does not end with \"}\"");
        } else {
            reading.corruptReason = QStringLiteral("JSON parsing error");
        }
        if (error.error != QJsonParseError::NoError && error.offset > 0) {
            reading.sectionsBeforeDamage = sectionsIn(bytes.left(error.offset));
        }
        return reading;
    }
    reading.event = KestrixEvent::fromCoreReport(kxFixupCrashReport(document.object()));
    if (!reading.event) {
        reading.corruptReason = QStringLiteral("Invalid JSON payload");
    }
    return reading;
}

std::optional<KestrixEvent> kxReadStoredEvent(const QByteArray &bytes)
{
    const auto object = kxReadJsonObject(bytes);
    if (!object) {
        return std::nullopt;
    }
    return KestrixEvent::fromJson(*object);
}

} // namespace kestrix
