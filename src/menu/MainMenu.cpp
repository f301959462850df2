#include "menu/MainMenu.h"

#include "core/AccountManager.h"
#include "menu/CustomServerStore.h"
#include "menu/MenuAction.h"
#include "menu/MenuTags.h"
#include "menu/ServerMenu.h"
#include "menu/SiteMenu.h"
#include "menu/StatusMenuController.h"
#include "platform/SystemInfo.h"

#include <QAction>
#include <QDataStream>
#include <QHash>
#include <QJsonDocument>
#include <QMenu>

#include <memory>

namespace plimsy {

MainMenu::MainMenu(StatusMenuController *target, QMenu *menu)
    : m_target(target)
    , m_menu(menu)
{
}

void MainMenu::build()
{
    using C = StatusMenuController;
    MenuItems::clear(m_menu);
    QAction *terminalHere =
        MenuActions::add(m_menu, QStringLiteral("Open Terminal Here"), m_target, &C::openTerminalHere);
    QAction *copyPath = MenuActions::add(m_menu, QStringLiteral("Copy Path"), m_target, &C::copyFinderWindowPath);
    // Both act on the file manager's front window, which Linux offers no common way to ask for: they
    // keep their places in the menu but are never shown.
    terminalHere->setVisible(false);
    copyPath->setVisible(false);
    MenuActions::add(m_menu, QStringLiteral("Refresh"), m_target, &C::refresh);
    MenuActions::addSeparator(m_menu);
    m_menu->addAction(MenuItems::makeSeparator(m_menu, MenuTags::ServerAreaEnd));
    MenuActions::add(m_menu, QStringLiteral("Preferences\u2026"), m_target, &C::preferences);
    updateCustomServers();
    MenuActions::addSeparator(m_menu);
    MenuActions::add(m_menu, QStringLiteral("About\u2026"), m_target, &C::aboutClicked);
    MenuActions::add(m_menu, QStringLiteral("Quit"), m_target, &C::quit);
}

void MainMenu::renew()
{
    if (!MenuItems::itemWithTag(m_menu, MenuTags::ServerAreaEnd)) {
        build();
        return;
    }
    MenuItems::removeItemsWithTag(m_menu, MenuTags::ErrorMarker);
    updateCustomServers();
}

QList<QMenu *> MainMenu::placeAccountItems(const QList<Account> &accounts)
{
    const auto itemsTagged = [this](auto matches) {
        QList<QAction *> found;
        const QList<QAction *> items = m_menu->actions();
        for (QAction *item : items) {
            if (matches(MenuItems::tag(item))) {
                found.append(item);
            }
        }
        return found;
    };
    const QList<QAction *> accountItems = itemsTagged([](MenuTag tag) { return tag == MenuTags::AccountItem; });
    if (accounts.size() < 2) {
        for (QAction *item : accountItems) {
            MenuItems::removeItem(m_menu, item);
        }
        if (accounts.isEmpty()) {
            for (QAction *item : itemsTagged([](MenuTag tag) { return tag.kind == MenuTagKind::Server; })) {
                MenuItems::removeItem(m_menu, item);
            }
            return {};
        }
        return {m_menu};
    }
    // The servers of a single account, from before the second was added.
    for (QAction *item : itemsTagged([](MenuTag tag) { return tag.kind == MenuTagKind::Server; })) {
        MenuItems::removeItem(m_menu, item);
    }
    QList<QAction *> fresh;
    for (const Account &account : accounts) {
        const QString name = account.name.value_or(QString());
        QAction *item = MenuItems::makeItem(m_menu, MenuItems::literalTitle(name), MenuTags::AccountItem);
        if (account.uuid) {
            MenuItems::setRepresentedObject(item, *account.uuid);
        }
        MenuItems::setContentKey(item, (name + QLatin1Char('\n') + account.uuid.value_or(QString())).toUtf8());
        auto *submenu = new QMenu(m_menu);
        showWhenEmpty(submenu, QStringLiteral("Loading\u2026"));
        item->setMenu(submenu);
        fresh.append(item);
    }
    const int start = serverAreaStart(m_menu, static_cast<int>(MenuTags::ServerItemsStart));
    MenuItems::replaceItems(m_menu, accountItems, fresh, start);
    QList<QMenu *> menus;
    for (QAction *item : itemsTagged([](MenuTag tag) { return tag == MenuTags::AccountItem; })) {
        menus.append(item->menu());
    }
    return menus;
}

int MainMenu::serverAreaStart(const QMenu *menu, int position)
{
    const QList<QAction *> items = menu->actions();
    while (position < items.size()) {
        const MenuTag tag = MenuItems::tag(items.at(position));
        if (tag != MenuTags::Favorites && tag != MenuTags::FavoritesSeparator) {
            break;
        }
        ++position;
    }
    return position;
}

void MainMenu::willOpen(QMenu *menu)
{
    // GNOME's tray rebuilds, closed, every submenu it shows whenever the layout changes, as filling a
    // submenu on its first opening does: it gets the whole tree while none of them is open.
    if (SystemInfo::isGnomeDesktop()) {
        MenuItems::buildTree(menu);
    }
}

void MainMenu::showWhenEmpty(QMenu *accountMenu, const QString &why)
{
    // Some tray hosts do not open an empty submenu at all.
    if (accountMenu->actions().isEmpty()) {
        QAction *item = MenuItems::makeItem(accountMenu, why);
        item->setEnabled(false);
        accountMenu->addAction(item);
    }
}

void MainMenu::updateCustomServers()
{
    MenuItems::removeItemsWithTag(m_menu, MenuTags::CustomServers);
    MenuItems::removeItemsWithTag(m_menu, MenuTags::CustomServersSeparator);
    const QList<CustomServer> servers = CustomServerStore(m_target->defaults()).load();
    QAction *end = MenuItems::itemWithTag(m_menu, MenuTags::ServerAreaEnd);
    if (servers.isEmpty() || !end) {
        return;
    }
    const int index = MenuItems::indexOf(m_menu, end);
    QAction *item = MenuItems::makeItem(m_menu, QStringLiteral("Custom Servers"), MenuTags::CustomServers);
    auto *submenu = new QMenu(m_menu);
    for (const CustomServer &server : servers) {
        MenuActions::add(submenu,
                         MenuItems::literalTitle(server.name),
                         m_target,
                         &StatusMenuController::openCustomServerTerminal,
                         QVariant::fromValue(server));
    }
    item->setMenu(submenu);
    MenuItems::insertItem(m_menu, index, MenuItems::makeSeparator(m_menu, MenuTags::CustomServersSeparator));
    MenuItems::insertItem(m_menu, index + 1, item);
}

QAction *MainMenu::favoritesHeader()
{
    QAction *header = MenuItems::makeItem(m_menu, QStringLiteral("Favorites"), MenuTags::Favorites);
    header->setEnabled(false);
    return header;
}

void MainMenu::updateSites()
{
    QList<QAction *> current;
    const QList<QAction *> all = m_menu->actions();
    for (QAction *item : all) {
        const MenuTag tag = MenuItems::tag(item);
        if (tag == MenuTags::Favorites || tag == MenuTags::FavoritesSeparator) {
            current.append(item);
        }
    }
    const SiteMenuContext context = SiteMenuContext::load(*m_target);
    QList<QAction *> fresh = favoriteItems(context);
    if (!fresh.isEmpty()) {
        fresh.prepend(favoritesHeader());
        fresh.append(MenuItems::makeSeparator(m_menu, MenuTags::FavoritesSeparator));
    }
    // Entries that did not change stay, so a tray host keeps them and a click on one still lands.
    MenuItems::replaceItems(m_menu, current, fresh, static_cast<int>(MenuTags::ServerItemsStart));
    const QList<QAction *> placed = m_menu->actions();
    for (QAction *item : placed) {
        if (MenuItems::tag(item) == MenuTags::Favorites && item->menu()) {
            SiteMenu::showStoredState(item->menu(), std::nullopt, context);
        }
    }
}

QList<QAction *> MainMenu::favoriteItems(const SiteMenuContext &context)
{
    // The context holds the stored favourites.
    const QList<FavoriteSite> &favorites = context.favorites;
    if (favorites.isEmpty()) {
        return {};
    }
    const QList<Site> &sites = m_target->appState().siteList;
    QHash<qint64, const Site *> firstSiteById;
    for (const Site &site : sites) {
        if (!firstSiteById.contains(site.id)) {
            firstSiteById.insert(site.id, &site);
        }
    }
    const QList<Account> accounts = AccountManager::loadAccounts(m_target->defaults());

    QList<QAction *> items;
    for (const FavoriteSite &favorite : favorites) {
        const Site *site = firstSiteById.value(favorite.siteId);
        const auto account = std::find_if(accounts.begin(), accounts.end(), [&](const Account &candidate) {
            return candidate.uuid == favorite.accountId;
        });
        if (!site || account == accounts.end()) {
            continue;
        }
        const QString title = site->name ? ServerMenu::siteTitle(*site) : QStringLiteral("Site");
        QAction *item = MenuItems::makeItem(m_menu, MenuItems::literalTitle(title), MenuTags::Favorites);
        const SiteMenu siteMenu(favorite.serverId, favorite.siteId, std::make_shared<const Account>(*account));
        item->setMenu(siteMenu.buildMenu(m_target, m_menu, context, site));
        // What the entry and its submenu show, but for the check marks, which follow the stores.
        QByteArray key;
        QDataStream out(&key, QIODevice::WriteOnly);
        out << title << favorite.serverId << favorite.siteId << SiteMenu::deployTitle(site)
            << QJsonDocument(account->toJson()).toJson(QJsonDocument::Compact);
        MenuItems::setContentKey(item, key);
        items.append(item);
    }
    return items;
}

void MainMenu::reorderAccounts(QMenu *menu, const QStringList &accountIds)
{
    QList<QAction *> current;
    const QList<QAction *> all = menu->actions();
    for (QAction *item : all) {
        if (MenuItems::tag(item) == MenuTags::AccountItem) {
            current.append(item);
        }
    }
    if (current.size() < 2) {
        return;
    }
    QHash<QString, QAction *> byId;
    for (QAction *item : current) {
        if (const auto id = MenuItems::representedObject<QString>(item)) {
            byId.insert(*id, item);
        }
    }
    QList<QAction *> ordered;
    for (const QString &id : accountIds) {
        if (QAction *item = byId.value(id)) {
            ordered.append(item);
        }
    }
    if (ordered.size() != current.size() || ordered == current) {
        return;
    }
    const int first = MenuItems::indexOf(menu, current.constFirst());
    for (QAction *item : ordered) {
        menu->removeAction(item);
    }
    for (qsizetype i = 0; i < ordered.size(); ++i) {
        MenuItems::insertItem(menu, first + static_cast<int>(i), ordered.at(i));
    }
}

} // namespace plimsy
