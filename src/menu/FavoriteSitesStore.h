#pragma once

#include "menu/FavoriteSite.h"

#include <QList>

#include <optional>

namespace plimsy {

class UserDefaults;

// The favourite sites as stored in the defaults, in the order they were added; every call reads them
// afresh. Each save announces "favoriteSitesDidChange".
class FavoriteSitesStore
{
public:
    explicit FavoriteSitesStore(UserDefaults &defaults);

    static constexpr const char *Key = "com.tindrel.plimsy.favoriteSites";

    // Entries that do not decode are left out; the others are kept.
    QList<FavoriteSite> load() const;
    void save(const QList<FavoriteSite> &favorites);
    static std::optional<qsizetype>
    contains(const QString &accountId, qint64 serverId, qint64 siteId, const QList<FavoriteSite> &favorites);
    // Removes the favourite when stored, else appends it; saves either way.
    void toggle(const QString &accountId, qint64 serverId, qint64 siteId);

private:
    UserDefaults &m_defaults;
};

} // namespace plimsy
