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
    // The same menu with its items made when it is first opened, from what is stored then; its deploy
    // item takes the title of the record the site's item was made from.
    QMenu *buildMenuOnOpen(StatusMenuController *target, QWidget *parent, const QString &deployItemTitle) const;

    static QString deployTitle(const Site *site);

    // A site's submenu can be in the menu more than once (under its server and among the favourites):
    // sets the "Notify on Deploy" and "Favorite" items of every copy of it under `root` from what is stored.
    // Every site's copies when `siteId` is absent.
    static void showStoredState(const QMenu *root, std::optional<qint64> siteId, const SiteMenuContext &context);

private:
    void fill(QMenu *menu,
              StatusMenuController *target,
              const SiteMenuContext &context,
              const QString &deployItemTitle) const;

    qint64 m_serverId;
    qint64 m_siteId;
    std::shared_ptr<const Account> m_account;
};

} // namespace plimsy
