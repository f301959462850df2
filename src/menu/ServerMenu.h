#pragma once

#include "core/Account.h"
#include "core/Site.h"

#include <QList>

#include <memory>

class QMenu;

namespace plimsy {

class StatusMenuController;

// Fills one server's submenu: its fixed items, then one item per site.
class ServerMenu
{
public:
    ServerMenu(qint64 serverId, StatusMenuController *target, std::shared_ptr<const Account> account, QMenu *submenu);

    // The fixed items, put before the site items the submenu already holds.
    void build() const;
    // The same, made when the submenu is first opened or read, with the site items' own submenus: most
    // server menus are never opened.
    void buildOnOpen() const;
    // Appends each site to the loaded sites (stamped with `serverId`) and to the submenu, in order.
    void addSiteItems(QList<Site> sites, qint64 serverId);

    // A site's title in the menu: its name decoded for display, else the name as it is.
    static QString siteTitle(const Site &site);

private:
    void giveSiteItemsTheirMenus() const;

    qint64 m_serverId;
    StatusMenuController *m_target;
    std::shared_ptr<const Account> m_account;
    QMenu *m_submenu;
};

} // namespace plimsy
