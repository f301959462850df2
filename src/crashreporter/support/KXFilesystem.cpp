#include "crashreporter/support/KXFilesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace kestrix {

std::optional<QString> KXFilesystem::ensurePathExists(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        return std::nullopt;
    }
    if (info.exists() || info.isSymLink()) {
        QFile file(path);
        if (!file.remove()) {
            return QStringLiteral("Could not remove %1: %2").arg(path, file.errorString());
        }
    }
    if (!QDir().mkpath(path)) {
        return QStringLiteral("Could not create directory %1").arg(path);
    }
    return std::nullopt;
}

std::optional<QString> KXFilesystem::rebuildPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink()) {
        if (!QDir(path).removeRecursively()) {
            return QStringLiteral("Could not remove %1").arg(path);
        }
    } else if (info.exists() || info.isSymLink()) {
        QFile file(path);
        if (!file.remove()) {
            return QStringLiteral("Could not remove %1: %2").arg(path, file.errorString());
        }
    }
    return ensurePathExists(path);
}

} // namespace kestrix
