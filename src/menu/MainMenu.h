#pragma once

#include <QStringList>

class QAction;
class QMenu;

namespace plimsy {

class StatusMenuController;

// Lays out the status menu and keeps three of its sections current: custom servers, favourites and
// the order of the account items. Made, used and dropped; it keeps nothing between calls.
class MainMenu
{
public:
    MainMenu(StatusMenuController *target, QMenu *menu);

    // Clears the menu and lays out its fixed part.
    void build();
    void updateCustomServers();
    void updateSites();
    QAction *favoritesHeader();

    // Puts the account items (in place) into the order of `accountIds`; nothing unless every account
    // item is named in the list.
    static void reorderAccounts(QMenu *menu, const QStringList &accountIds);

private:
    StatusMenuController *m_target;
    QMenu *m_menu;
};

} // namespace plimsy
