#pragma once

#include <QJsonObject>

namespace kestrix {

// A crash report file as the crash core wrote it, made into what the event model reads: the
// timestamp as RFC 3339 text, and "system_atcrash" and "user_atcrash" merged into "system" and "user".
QJsonObject kxFixupCrashReport(const QJsonObject &report);

} // namespace kestrix
