#include "platform/AppPaths.h"

#include "platform/BundleInfo.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

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

} // namespace plimsy::AppPaths
