#pragma once

#include <QMap>
#include <QString>

#include <optional>
#include <utility>

namespace plimsy {

class UserDefaults;

// Which local file each site's deployment script is linked to, kept in the defaults under
// "com.tindrel.plimsy.deploymentScriptFilePaths" as a map from "<serverId>_<siteId>" to the file's path.
// GUI thread.
class DeploymentScriptFileStore
{
public:
    static constexpr const char *StorageKey = "com.tindrel.plimsy.deploymentScriptFilePaths";

    // `defaults` must outlive the store.
    explicit DeploymentScriptFileStore(UserDefaults &defaults);

    // Over the standard defaults.
    static DeploymentScriptFileStore &shared();

    // Every stored link; an entry whose value is not a text is left out, the others kept.
    QMap<QString, QString> paths() const;
    std::optional<QString> path(qint64 serverId, qint64 siteId) const;
    void setPath(const QString &path, qint64 serverId, qint64 siteId);
    void removePath(qint64 serverId, qint64 siteId);
    // Another site linked to the same file, as (server id, site id); any one when there are several.
    std::optional<std::pair<qint64, qint64>> owner(const QString &path, qint64 excludingServerId, qint64 siteId) const;

    static QString key(qint64 serverId, qint64 siteId);

private:
    void write(const QMap<QString, QString> &paths);

    UserDefaults &m_defaults;
};

} // namespace plimsy
