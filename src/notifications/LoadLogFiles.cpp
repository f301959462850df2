#include "notifications/LoadLogFiles.h"

#include "core/Logger.h"

#include <QDir>

namespace plimsy {

LoadLogFiles::LoadLogFiles()
    : LoadLogFiles(Logger::shared().logDirectory())
{
}

LoadLogFiles::LoadLogFiles(std::optional<QString> baseDirectory)
    : m_baseDirectory(std::move(baseDirectory))
{
}

QList<QUrl> LoadLogFiles::load() const
{
    if (!m_baseDirectory) {
        return {};
    }
    // By name and file type: a folder whose path merely contains the prefix must not list everything.
    const QDir folder(*m_baseDirectory);
    const QStringList names = folder.entryList(
        {QStringLiteral("SiteMonitor_*.log")}, QDir::Files | QDir::CaseSensitive, QDir::Name | QDir::Reversed);
    QList<QUrl> files;
    for (const QString &name : names.mid(0, MaxFiles)) {
        files.append(QUrl::fromLocalFile(folder.filePath(name)));
    }
    return files;
}

} // namespace plimsy
