#include "platform/AppPaths.h"

#include "platform/BundleInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace plimsy::AppPaths {

QString applicationSupport()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString caches()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
}

QString applicationDirectory()
{
    const QString root = applicationSupport();
    if (root.isEmpty()) {
        return {};
    }
    const QString path = QDir(root).filePath(QString::fromLatin1(BundleInfo::Identifier));
    return ensurePrivateDirectory(path) ? path : QString();
}

bool ensurePrivateDirectory(const QString &path)
{
    if (path.isEmpty() || !QDir().mkpath(path)) {
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

bool isPrivateDirectory(const QString &path)
{
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
        return false;
    }
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode)
           && status.st_uid == ::geteuid() && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

QString runtimeDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateDirectory(fromEnvironment)) {
        return QDir::cleanPath(fromEnvironment);
    }
    // Not the temporary folder Qt falls back on: another user can make that name first. The cache folder
    // is in the user's home, where nobody else plants anything.
    const QString cache = caches();
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache)) {
        return {};
    }
    const QString own = QDir(cache).filePath(QString::fromLatin1(BundleInfo::Identifier) + QStringLiteral("/runtime"));
    const QByteArray name = QFile::encodeName(own);
    if (!QDir().mkpath(QFileInfo(own).path())) {
        return {};
    }
    ::mkdir(name.constData(), S_IRWXU);
    struct stat status = {};
    if (::lstat(name.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) {
        return {};
    }
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0 && ::chmod(name.constData(), S_IRWXU) != 0) {
        return {};
    }
    return isPrivateDirectory(own) ? own : QString();
}

} // namespace plimsy::AppPaths
