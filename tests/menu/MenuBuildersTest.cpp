#include "StatusMenuFixture.h"
#include "menu/CustomServerStore.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/MainMenu.h"
#include "menu/MenuRepresenter.h"
#include "menu/MenuTags.h"
#include "menu/SiteMenu.h"

using namespace plimsy;
using namespace plimsy::test;

namespace {

class MenuBuildersTest : public StatusMenuFixture
{
};

const QStringList FixedLayout{
    "[Open Terminal Here]", "[Copy Path]", "Refresh", "-", "-", "Preferences…", "-", "About…", "Quit"};

} // namespace

TEST_F(MenuBuildersTest, FixedLayoutWithAndWithoutCustomServers)
{
    start();
    EXPECT_EQ(titles(menu()), FixedLayout);
    EXPECT_NE(MenuItems::itemWithTag(menu(), MenuTags::ServerAreaEnd), nullptr);
    EXPECT_EQ(MenuItems::indexOf(menu(), MenuItems::itemWithTag(menu(), MenuTags::ServerAreaEnd)), 4);

    CustomServer box{QUuid::createUuid(), "Backup box", "backup.example.net", "admin", std::nullopt};
    CustomServerStore(defaults).save({box});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(titles(menu()),
              (QStringList{"[Open Terminal Here]",
                           "[Copy Path]",
                           "Refresh",
                           "-",
                           "-",
                           "Custom Servers",
                           "-",
                           "Preferences…",
                           "-",
                           "About…",
                           "Quit"}));
    QAction *custom = MenuItems::itemWithTag(menu(), MenuTags::CustomServers);
    ASSERT_NE(custom, nullptr);
    ASSERT_EQ(custom->menu()->actions().size(), 1);
    EXPECT_EQ(MenuItems::representedObject<CustomServer>(custom->menu()->actions().first()), box);

    // Rebuilding again never doubles the section; an empty list removes it.
    MainMenu(controller.get(), menu()).updateCustomServers();
    EXPECT_EQ(titles(menu()).count("Custom Servers"), 1);
    CustomServerStore(defaults).save({});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(titles(menu()), FixedLayout);
}

TEST_F(MenuBuildersTest, CustomServersNeedTheEndOfTheServerArea)
{
    start();
    CustomServerStore(defaults).save({{QUuid::createUuid(), "box", "h", "u", 22}});
    MenuItems::removeItemsWithTag(menu(), MenuTags::ServerAreaEnd);
    MainMenu(controller.get(), menu()).updateCustomServers();
    EXPECT_EQ(MenuItems::itemWithTag(menu(), MenuTags::CustomServers), nullptr);
}

TEST_F(MenuBuildersTest, FavoritesAboveTheServersLeavingOutWhatIsNotLoaded)
{
    const Account account = addAccount("Main");
    auto &server = forge.addServer(forge.addOrganization("Acme").slug, "web");
    const auto &named = forge.addSite(server.id, "shop.example");
    const auto &unnamed = forge.addSite(server.id, "blog.example");
    forge.site(unnamed.id)->attributes.remove("name");
    start();
    networkUp();
    waitUntilIdle();

    FavoriteSitesStore favorites(defaults);
    favorites.save({{*account.uuid, server.id, named.id},
                    {*account.uuid, server.id, 999},               // not loaded
                    {QStringLiteral("gone"), server.id, named.id}, // account removed
                    {*account.uuid, server.id, unnamed.id}});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const QStringList items = titles(menu());
    ASSERT_GE(items.size(), 8);
    EXPECT_EQ(items.mid(4, 4), (QStringList{"Favorites", "shop.example", "Site", "-"}));
    EXPECT_FALSE(itemTitled(menu(), "Favorites")->isEnabled());
    QAction *shop = itemTitled(menu(), "shop.example");
    ASSERT_NE(shop->menu(), nullptr);
    EXPECT_EQ(MenuItems::state(itemTitled(shop->menu(), "Favorite")), MenuItemState::On);

    // Every favourite left out: neither header nor separator.
    favorites.save({{*account.uuid, server.id, 999}});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(MenuItems::itemWithTag(menu(), MenuTags::Favorites), nullptr);
    EXPECT_EQ(MenuItems::itemWithTag(menu(), MenuTags::FavoritesSeparator), nullptr);
}

TEST_F(MenuBuildersTest, SiteSubmenuItemsCarryTheirSiteAndState)
{
    const Account account = addAccount("Main");
    auto &server = forge.addServer(forge.addOrganization("Acme").slug, "web");
    auto &site = forge.addSite(server.id, "shop.example");
    forge.site(site.id)->attributes.insert("repository",
                                           QJsonObject{{"provider", "github"}, {"url", "x"}, {"branch", " main "}});
    auto &plain = forge.addSite(server.id, "blog.example");
    forge.site(plain.id)->attributes.insert("repository", QJsonObject{{"provider", "github"}, {"branch", "  "}});
    webhooks.save({site.id, server.id, 77, QDateTime::currentDateTimeUtc()});
    start();
    networkUp();
    waitUntilIdle();

    QAction *serverItem = MenuItems::findItem(menu(), MenuTag::server(server.id));
    ASSERT_NE(serverItem, nullptr);
    EXPECT_EQ(titles(serverItem->menu()),
              (QStringList{"Open Terminal",
                           "Copy IP Address",
                           "Open Forge",
                           "-",
                           "Reboot",
                           "Restart PHP",
                           "Restart MySQL",
                           "Restart Nginx",
                           "Restart Postgres",
                           "-",
                           "Upload SSH Key",
                           "Logs",
                           "-",
                           "blog.example",
                           "shop.example"}));
    const auto serverPayload = MenuItems::representedObject<MenuRepresenter>(itemTitled(serverItem->menu(), "Reboot"));
    ASSERT_TRUE(serverPayload.has_value());
    EXPECT_EQ(serverPayload->serverId, server.id);
    EXPECT_FALSE(serverPayload->siteId.has_value());
    EXPECT_EQ(serverPayload->account->uuid, account.uuid);

    QAction *siteItem = MenuItems::findItem(menu(), MenuTag::site(site.id));
    ASSERT_NE(siteItem, nullptr);
    QMenu *siteMenu = siteItem->menu();
    EXPECT_EQ(titles(siteMenu),
              (QStringList{"Deploy Site (main)",
                           "Reboot PHP",
                           "Deployment Log",
                           "Site Log",
                           "-",
                           "Open Terminal",
                           "-",
                           "Deployment Script",
                           "Edit .env",
                           "Nginx Configuration",
                           "Notify on Deploy",
                           "Favorite",
                           "-",
                           "Visit Site",
                           "Open Forge"}));
    EXPECT_EQ(MenuItems::state(itemTitled(siteMenu, "Notify on Deploy")), MenuItemState::On);
    EXPECT_EQ(MenuItems::state(itemTitled(siteMenu, "Favorite")), MenuItemState::Off);
    const auto payload = MenuItems::representedObject<MenuRepresenter>(itemTitled(siteMenu, "Edit .env"));
    EXPECT_EQ(payload->siteId, site.id);
    EXPECT_EQ(payload->serverId, server.id);

    QAction *plainItem = MenuItems::findItem(menu(), MenuTag::site(plain.id));
    EXPECT_EQ(MenuItems::items(plainItem->menu()).first()->text(), QStringLiteral("Deploy Site"));
    EXPECT_EQ(MenuItems::state(itemTitled(plainItem->menu(), "Notify on Deploy")), MenuItemState::Off);
}

TEST_F(MenuBuildersTest, ReorderAccountsOnlyWithACompleteList)
{
    start();
    QMenu &m = *menu();
    int index = 3;
    for (const char *id : {"a", "b", "c"}) {
        QAction *item = MenuItems::makeItem(&m, QString::fromLatin1(id).toUpper(), MenuTags::AccountItem);
        MenuItems::setRepresentedObject(item, QString::fromLatin1(id));
        MenuItems::insertItem(&m, index++, item);
    }
    const auto accountTitles = [&] { return titles(&m).mid(3, 3); };
    ASSERT_EQ(accountTitles(), (QStringList{"A", "B", "C"}));
    MainMenu::reorderAccounts(&m, {"c", "a"});
    EXPECT_EQ(accountTitles(), (QStringList{"A", "B", "C"}));
    MainMenu::reorderAccounts(&m, {"c", "a", "b"});
    EXPECT_EQ(accountTitles(), (QStringList{"C", "A", "B"}));
}

TEST_F(MenuBuildersTest, ServersAndSitesWhoseIdsEqualSectionNumbersLeaveTheSectionsIntact)
{
    const Account account = addAccount("Main");
    const QString organization = forge.addOrganization("Acme").slug;
    // Forge ids are free to equal the numbers of the menu's own sections and each other.
    const qint64 areaEnd = MenuTags::ServerAreaEnd.value;
    const qint64 favorites = MenuTags::Favorites.value;
    forge.addServer(organization, "alpha", areaEnd);
    forge.addServer(organization, "beta", favorites);
    const auto &shop = forge.addSite(areaEnd, "shop.example", favorites);
    const auto &blog = forge.addSite(favorites, "blog.example", areaEnd);
    CustomServerStore(defaults).save({{QUuid::createUuid(), "Backup box", "backup.example.net", "admin", 22}});
    start();
    networkUp();
    waitUntilIdle();
    FavoriteSitesStore(defaults).save({{*account.uuid, areaEnd, shop.id}});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    // A second announcement rebuilds both sections in place.
    CustomServerStore(defaults).save({{QUuid::createUuid(), "Spare box", "spare.example.net", "admin", 22}});
    FavoriteSitesStore(defaults).save({{*account.uuid, areaEnd, shop.id}});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();

    EXPECT_EQ(titles(menu()),
              (QStringList{"[Open Terminal Here]",
                           "[Copy Path]",
                           "Refresh",
                           "-",
                           "Favorites",
                           "shop.example",
                           "-",
                           "alpha",
                           "beta",
                           "-",
                           "Custom Servers",
                           "-",
                           "Preferences…",
                           "-",
                           "About…",
                           "Quit"}));
    EXPECT_EQ(titles(MenuItems::itemWithTag(menu(), MenuTags::CustomServers)->menu()), QStringList{"Spare box"});
    EXPECT_EQ(controller->serverMenuItem(MenuTag::server(areaEnd), menu())->text(), "alpha");
    EXPECT_EQ(controller->serverMenuItem(MenuTag::server(favorites), menu())->text(), "beta");
    QAction *blogItem = controller->serverMenuItem(MenuTag::site(blog.id), menu());
    ASSERT_NE(blogItem, nullptr);
    EXPECT_EQ(blogItem->text(), QStringLiteral("blog.example"));
}
