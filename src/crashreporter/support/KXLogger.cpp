#include "crashreporter/support/KXLogger.h"

#include <cstdio>

namespace kestrix {

namespace {

void writeLine(const char *prefix, const QString &message)
{
    const QByteArray line = QByteArray(prefix) + message.toUtf8() + '\n';
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void kxLogError(const QString &message)
{
    writeLine("[Kestrix] [ERROR] ", message);
}

void kxLogWarning(const QString &message)
{
    writeLine("[Kestrix] [WARN] ", message);
}

void kxLogInfo(const QString &message)
{
    writeLine("[Kestrix] [INFO] ", message);
}

} // namespace kestrix
