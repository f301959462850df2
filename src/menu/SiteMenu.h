#pragma once

#include "core/Account.h"
#include "core/Site.h"
#include "menu/FavoriteSite.h"

#include <QList>
#include <QSet>

#include <memory>

class QMenu;
class QWidget;

namespace plimsy {

class StatusMenuController;

// What the site submenus show as switched on, read once for a batch of site menus.
struct SiteMenuContext
{
    QSet<qint64> notifiedSiteIds; // sites with a stored webhook registration
    QList<FavoriteSite> favorites;

    static SiteMenuContext load(const StatusMenuController &controller);
};

// One site's submenu.
class SiteMenu
{
public:
    SiteMenu(qint64 serverId, qint64 siteId, std::shared_ptr<const Account> account);

    // A new menu owned by `parent`, each item calling `target`. `site` names the site record when the
    // caller has it; otherwise it is looked up among the loaded sites.
    QMenu *buildMenu(StatusMenuController *target,
                     QWidget *parent,
                     const SiteMenuContext &context,
                     const Site *site = nullptr) const;
    QMenu *buildMenu(StatusMenuController *target, QWidget *parent) const;

    static QString deployTitle(const Site *site);

private:
    qint64 m_serverId;
    qint64 m_siteId;
    std::shared_ptr<const Account> m_account;
};

} // namespace plimsy
