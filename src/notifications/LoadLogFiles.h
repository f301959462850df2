#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace plimsy {

// The site-monitor log files of the log folder, newest day first.
class LoadLogFiles
{
public:
    static constexpr qsizetype MaxFiles = 20;

    // The shared logger's folder.
    LoadLogFiles();
    explicit LoadLogFiles(std::optional<QString> baseDirectory);

    // At most MaxFiles regular files named "SiteMonitor_*.log"; empty when the folder cannot be read.
    QList<QUrl> load() const;

private:
    std::optional<QString> m_baseDirectory;
};

} // namespace plimsy
