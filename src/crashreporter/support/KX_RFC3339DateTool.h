#pragma once

#include <QDateTime>
#include <QString>

namespace kestrix {

// Dates as the crash reporter stores them: RFC 3339 in UTC with milliseconds.
class KX_RFC3339DateTool
{
public:
    static QString stringFromDate(const QDateTime &date);
    // Accepts the stored form, whole seconds with "Z", and whole seconds with a numeric offset.
    static QDateTime dateFromString(const QString &text);
    static QString stringFromUNIXTimestamp(double seconds);
    static bool isLikelyDateString(const QString &text);
};

} // namespace kestrix
