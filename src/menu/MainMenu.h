#pragma once

#include "core/Account.h"

#include <QList>
#include <QStringList>

class QAction;
class QMenu;

namespace plimsy {

class StatusMenuController;
struct SiteMenuContext;

// Lays out the status menu and keeps three of its sections current: custom servers, favourites and
// the order of the account items. Made, used and dropped; it keeps nothing between calls.
class MainMenu
{
public:
    MainMenu(StatusMenuController *target, QMenu *menu);

    // Clears the menu and lays out its fixed part.
    void build();
    // The same for a refresh, keeping what a refresh replaces once it has loaded (servers, accounts,
    // favourites) and the fixed items as they are, so a tray host keeps its entries for them.
    void renew();
    // Gives each of `accounts` its item (several accounts) or none (one), keeping the items of accounts
    // that stay, and takes away the server and account items no longer wanted. Returns the menus that
    // receive the accounts' servers, in the order of `accounts`.
    QList<QMenu *> placeAccountItems(const QList<Account> &accounts);
    void updateCustomServers();
    void updateSites();
    QAction *favoritesHeader();

    // Puts the account items (in place) into the order of `accountIds`; nothing unless every account
    // item is named in the list.
    static void reorderAccounts(QMenu *menu, const QStringList &accountIds);
    // Where the server or account items of the status menu begin: at `position`, below the favourites.
    static int serverAreaStart(const QMenu *menu, int position);
    // The status menu is about to show: on GNOME every submenu is made now.
    static void willOpen(QMenu *menu);
    // Gives an account's submenu left with nothing in it one disabled item that says why.
    static void showWhenEmpty(QMenu *accountMenu, const QString &why);

private:
    // One item per stored favourite whose site and account are loaded, in stored order; owned by the
    // menu, not in it.
    QList<QAction *> favoriteItems(const SiteMenuContext &context);

    StatusMenuController *m_target;
    QMenu *m_menu;
};

} // namespace plimsy
