#include "menu/FavoriteSitesStore.h"

#include "core/NotificationNames.h"
#include "platform/JsonFields.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>

namespace plimsy {

FavoriteSitesStore::FavoriteSitesStore(UserDefaults &defaults)
    : m_defaults(defaults)
{
}

QList<FavoriteSite> FavoriteSitesStore::load() const
{
    return JsonFields::decodeEach<FavoriteSite>(m_defaults.json(QLatin1String(Key)), &FavoriteSite::fromJson);
}

void FavoriteSitesStore::save(const QList<FavoriteSite> &favorites)
{
    m_defaults.setJson(QLatin1String(Key), JsonFields::encodeEach(favorites));
    NotificationCenter::defaultCenter().post(NotificationNames::favoriteSitesDidChange);
}

std::optional<qsizetype> FavoriteSitesStore::contains(const QString &accountId,
                                                      qint64 serverId,
                                                      qint64 siteId,
                                                      const QList<FavoriteSite> &favorites)
{
    const FavoriteSite wanted{accountId, serverId, siteId};
    const qsizetype index = favorites.indexOf(wanted);
    return index < 0 ? std::nullopt : std::optional<qsizetype>(index);
}

void FavoriteSitesStore::toggle(const QString &accountId, qint64 serverId, qint64 siteId)
{
    QList<FavoriteSite> favorites = load();
    if (const auto index = contains(accountId, serverId, siteId, favorites)) {
        favorites.removeAt(*index);
    } else {
        favorites.append({accountId, serverId, siteId});
    }
    save(favorites);
}

} // namespace plimsy
