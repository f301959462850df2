#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace plimsy {

// A site the user marked as a favourite, across accounts.
struct FavoriteSite
{
    // The owning account's uuid; empty when the account has none.
    QString accountId;
    qint64 serverId = 0;
    qint64 siteId = 0;

    QJsonObject toJson() const;
    // No result unless all three keys are present with their types.
    static std::optional<FavoriteSite> fromJson(const QJsonObject &object);

    bool operator==(const FavoriteSite &) const = default;
};

} // namespace plimsy
