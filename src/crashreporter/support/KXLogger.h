#pragma once

#include <QString>

namespace kestrix {

// The crash reporter's log lines, with their fixed prefixes, on standard error.
void kxLogError(const QString &message);
void kxLogWarning(const QString &message);
void kxLogInfo(const QString &message);

} // namespace kestrix
