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

namespace {

// The two UTC forms read by hand: QDateTime's format parser consults the local time zone.
QDateTime utcDateFromString(const QString &text)
{
    const qsizetype length = text.size();
    if ((length != 20 && length != 24) || text.back() != QLatin1Char('Z')) {
        return {};
    }
    static constexpr char Shape[] = "dddd-dd-ddTdd:dd:dd.ddd";
    int fields[7] = {};
    int field = 0;
    for (qsizetype i = 0; i < length - 1; i++) {
        const QChar c = text.at(i);
        if (Shape[i] != 'd') {
            if (c != QLatin1Char(Shape[i])) {
                return {};
            }
            field++;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return {};
        }
        fields[field] = fields[field] * 10 + (c.unicode() - '0');
    }
    const QDate day(fields[0], fields[1], fields[2]);
    const QTime time(fields[3], fields[4], fields[5], fields[6]);
    if (!day.isValid() || !time.isValid()) {
        return {};
    }
    return QDateTime(day, time, QTimeZone::utc());
}

} // namespace

QDateTime KX_RFC3339DateTool::dateFromString(const QString &text)
{
    if (const QDateTime utc = utcDateFromString(text); utc.isValid()) {
        return utc;
    }
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
    // Checked by hand: this runs for every breadcrumb read back.
    static constexpr char Shape[] = "dddd-dd-ddTdd:dd:dd";
    if (text.size() < 19) {
        return false;
    }
    for (qsizetype i = 0; i < 19; i++) {
        const QChar c = text.at(i);
        if (Shape[i] == 'd' ? !(c >= QLatin1Char('0') && c <= QLatin1Char('9')) : c != QLatin1Char(Shape[i])) {
            return false;
        }
    }
    return true;
}

} // namespace kestrix
