#include "crashreporter/model/KXCrashReportFixup.h"

#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KXStringTruncation.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

namespace kestrix {

namespace {

void mergeInto(QJsonObject &report, const QString &from, const QString &into)
{
    if (!report.contains(from)) {
        return;
    }
    const QJsonValue target = report.value(into);
    if (!target.isUndefined() && !target.isObject()) {
        kxLogError(QStringLiteral("'%1' should be a dictionary, not %2").arg(into, QStringLiteral("a plain value")));
        return;
    }
    report.insert(into, kxMergeObjects(report.value(from).toObject(), target.toObject()));
    report.remove(from);
}

} // namespace

QJsonObject kxFixupCrashReport(const QJsonObject &original)
{
    QJsonObject report = original;
    QJsonObject info = report.value(QStringLiteral("report")).toObject();
    const QJsonValue millis = info.value(QStringLiteral("timestamp_millis"));
    const QJsonValue seconds = info.value(QStringLiteral("timestamp"));
    if (millis.isDouble()) {
        info.insert(QStringLiteral("timestamp"), KX_RFC3339DateTool::stringFromUNIXTimestamp(millis.toDouble() / 1000));
    } else if (seconds.isDouble()) {
        info.insert(QStringLiteral("timestamp"), KX_RFC3339DateTool::stringFromUNIXTimestamp(seconds.toDouble()));
    } else {
        kxLogError(QStringLiteral("entry '%1' not found").arg(QStringLiteral("timestamp")));
    }
    report.insert(QStringLiteral("report"), info);
    mergeInto(report, QStringLiteral("system_atcrash"), QStringLiteral("system"));
    mergeInto(report, QStringLiteral("user_atcrash"), QStringLiteral("user"));
    return report;
}

} // namespace kestrix
