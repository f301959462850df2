#include "menu/FavoriteSite.h"

#include "platform/JsonFields.h"

namespace plimsy {

QJsonObject FavoriteSite::toJson() const
{
    return {
        {QStringLiteral("accountId"), accountId},
        {QStringLiteral("serverId"), serverId},
        {QStringLiteral("siteId"), siteId},
    };
}

std::optional<FavoriteSite> FavoriteSite::fromJson(const QJsonObject &object)
{
    const auto accountId = JsonFields::string(object, "accountId");
    const auto serverId = JsonFields::integer(object, "serverId");
    const auto siteId = JsonFields::integer(object, "siteId");
    if (!accountId || !serverId || !siteId) {
        return std::nullopt;
    }
    return FavoriteSite{*accountId, *serverId, *siteId};
}

} // namespace plimsy
