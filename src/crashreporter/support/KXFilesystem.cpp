#include "crashreporter/support/KXFilesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

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
    return makePrivateDirectory(path);
}

std::optional<QString> KXFilesystem::makePrivateDirectory(const QString &path)
{
    // Made 0700 at once: a process killed between creating and restricting it would leave it open.
    const QString parent = QFileInfo(path).path();
    const QByteArray encoded = QFile::encodeName(path);
    if (!QDir().mkpath(parent) || (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)) {
        return QStringLiteral("Could not create directory %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
    }
    if (::chmod(encoded.constData(), 0700) != 0) { // one made earlier, or by someone else
        return QStringLiteral("Could not restrict directory %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
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
