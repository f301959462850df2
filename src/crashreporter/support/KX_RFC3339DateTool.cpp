#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>

namespace kestrix {

QString KX_RFC3339DateTool::stringFromDate(const QDateTime &date)
{
    if (!date.isValid()) {
        return {};
    }
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

QDateTime KX_RFC3339DateTool::dateFromString(const QString &text)
{
    QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
    if (!date.isValid()) {
        date = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
    }
    if (date.isValid()) {
        date.setTimeZone(QTimeZone::utc());
        return date;
    }
    // Whole seconds with an offset such as "+0200".
    static const QRegularExpression offsetForm(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2})([+-])(\\d{2}):?(\\d{2})$"));
    const QRegularExpressionMatch match = offsetForm.match(text);
    if (!match.hasMatch()) {
        return {};
    }
    date = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    if (!date.isValid()) {
        return {};
    }
    const int offset = (match.captured(3).toInt() * 3600 + match.captured(4).toInt() * 60)
                       * (match.captured(2) == QLatin1String("-") ? -1 : 1);
    date.setTimeZone(QTimeZone(offset));
    return date.toUTC();
}

QString KX_RFC3339DateTool::stringFromUNIXTimestamp(double seconds)
{
    return stringFromDate(
        QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(seconds * 1000)), QTimeZone::utc()));
}

bool KX_RFC3339DateTool::isLikelyDateString(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}"));
    return text.size() >= 19 && shape.match(text).hasMatch();
}

} // namespace kestrix
