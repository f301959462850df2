#include "editor/DeploymentScriptFileStore.h"

#include "platform/UserDefaults.h"

#include <QJsonObject>

namespace plimsy {

DeploymentScriptFileStore::DeploymentScriptFileStore(UserDefaults &defaults)
    : m_defaults(defaults)
{
}

DeploymentScriptFileStore &DeploymentScriptFileStore::shared()
{
    static DeploymentScriptFileStore s_store(UserDefaults::standard());
    return s_store;
}

QString DeploymentScriptFileStore::key(qint64 serverId, qint64 siteId)
{
    return QString::number(serverId) + u'_' + QString::number(siteId);
}

QMap<QString, QString> DeploymentScriptFileStore::paths() const
{
    QMap<QString, QString> result;
    const QJsonObject stored = m_defaults.json(QString::fromLatin1(StorageKey)).toObject();
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        if (it.value().isString()) {
            result.insert(it.key(), it.value().toString());
        }
    }
    return result;
}

std::optional<QString> DeploymentScriptFileStore::path(qint64 serverId, qint64 siteId) const
{
    const QMap<QString, QString> stored = paths();
    const auto found = stored.constFind(key(serverId, siteId));
    return found == stored.cend() ? std::nullopt : std::optional<QString>(*found);
}

void DeploymentScriptFileStore::setPath(const QString &path, qint64 serverId, qint64 siteId)
{
    QMap<QString, QString> stored = paths();
    stored.insert(key(serverId, siteId), path);
    write(stored);
}

void DeploymentScriptFileStore::removePath(qint64 serverId, qint64 siteId)
{
    QMap<QString, QString> stored = paths();
    stored.remove(key(serverId, siteId));
    write(stored);
}

std::optional<std::pair<qint64, qint64>>
DeploymentScriptFileStore::owner(const QString &path, qint64 excludingServerId, qint64 siteId) const
{
    const QString own = key(excludingServerId, siteId);
    const QMap<QString, QString> stored = paths();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (it.value() != path || it.key() == own) {
            continue;
        }
        const QStringList parts = it.key().split(u'_', Qt::SkipEmptyParts);
        if (parts.size() != 2) {
            continue;
        }
        bool serverOk = false;
        bool siteOk = false;
        const qint64 server = parts[0].toLongLong(&serverOk);
        const qint64 site = parts[1].toLongLong(&siteOk);
        if (serverOk && siteOk) {
            return std::pair{server, site};
        }
    }
    return std::nullopt;
}

void DeploymentScriptFileStore::write(const QMap<QString, QString> &paths)
{
    QJsonObject object;
    for (auto it = paths.cbegin(); it != paths.cend(); ++it) {
        object.insert(it.key(), it.value());
    }
    m_defaults.setJson(QString::fromLatin1(StorageKey), object);
}

} // namespace plimsy
