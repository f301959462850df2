#include "StatusMenuFixture.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/MenuRepresenter.h"
#include "menu/ServerMenu.h"

using namespace plimsy;
using namespace plimsy::test;

namespace {

class LazySiteMenusTest : public StatusMenuFixture
{
protected:
    void load(bool eager)
    {
        StatusMenuServices with = services();
        with.buildSiteMenusEagerly = eager;
        controller.reset();
        start(with);
        networkUp();
        waitUntilIdle();
    }

    static QString payload(const QAction *item)
    {
        if (const auto represented = MenuItems::representedObject<MenuRepresenter>(item)) {
            return QStringLiteral("%1/%2/%3")
                .arg(represented->serverId)
                .arg(represented->siteId ? QString::number(*represented->siteId) : QStringLiteral("-"))
                .arg(represented->account ? represented->account->uuid.value_or(QString()) : QStringLiteral("-"));
        }
        return MenuItems::representedObject(item).toString();
    }

    // The whole tree, one line per item. `open` announces each submenu first, as a tray host does before
    // it shows or lists one.
    static void describe(QMenu *menu, bool open, int depth, QStringList &lines)
    {
        if (open) {
            Q_EMIT menu->aboutToShow();
        }
        for (QAction *item : menu->actions()) {
            const MenuTag tag = MenuItems::tag(item);
            lines << QString(depth * 2, QLatin1Char(' '))
                         + QStringList{item->isSeparator() ? QStringLiteral("-") : item->text(),
                                       QStringLiteral("tag %1:%2").arg(int(tag.kind)).arg(tag.value),
                                       payload(item),
                                       QStringLiteral("state %1").arg(int(MenuItems::state(item))),
                                       item->isEnabled() ? QStringLiteral("enabled") : QStringLiteral("disabled"),
                                       item->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"),
                                       item->isChecked() ? QStringLiteral("checked") : QString()}
                               .join(QStringLiteral(" | "));
            if (item->menu()) {
                describe(item->menu(), open, depth + 1, lines);
            }
        }
    }

    static int unmadeMenus(const QMenu *menu)
    {
        int count = MenuItems::isBuilt(menu) ? 0 : 1;
        for (const QAction *item : menu->actions()) {
            count += item->menu() ? unmadeMenus(item->menu()) : 0;
        }
        return count;
    }
};

} // namespace

TEST_F(LazySiteMenusTest, OpeningEverySubmenuGivesTheEagerMenuItemForItem)
{
    storeDemoAccounts();
    load(true);
    // Check marks from the stores: one favourite (listed in its own section too), one site notified.
    const Site favorite = appState.siteList.at(1);
    const Site notified = appState.siteList.at(2);
    FavoriteSitesStore(defaults).toggle(*favorite.accountId, *favorite.serverId, favorite.id);
    webhooks.save(WebhookRegistration{notified.id, *notified.serverId, 77, QDateTime::currentDateTimeUtc()});
    refreshAndWait();
    ASSERT_EQ(unmadeMenus(menu()), 0);
    QStringList eager;
    describe(menu(), false, 0, eager);
    ASSERT_TRUE(eager.filter(QStringLiteral("Notify on Deploy")).filter(QStringLiteral("checked")).size() == 1);

    load(false);
    // Only the servers' submenus: a site's submenu is made with its server's.
    EXPECT_EQ(unmadeMenus(menu()), appState.serverList.size());
    QStringList opened;
    describe(menu(), true, 0, opened);
    EXPECT_EQ(unmadeMenus(menu()), 0);
    EXPECT_EQ(opened, eager);
}

// A load can open a server's submenu before its sites arrive (a host opens it while its listing is still
// on the way) or after: either way each site item leads to its own submenu, with its deploy title.
TEST_F(LazySiteMenusTest, SiteItemsGetTheirSubmenusWhetherTheirServerOpensBeforeOrAfterTheyArrive)
{
    start();
    const auto account = std::make_shared<const Account>();
    for (const bool openedFirst : {true, false}) {
        SCOPED_TRACE(openedFirst ? "opened before its sites arrived" : "opened after");
        QMenu server;
        ServerMenu(7, controller.get(), account, &server).buildOnOpen();
        if (openedFirst) {
            Q_EMIT server.aboutToShow();
        }
        Site site;
        site.id = 70;
        site.name = QStringLiteral("shop.example");
        site.repository = Site::Repository{};
        site.repository->branch = QStringLiteral("main");
        ServerMenu(7, controller.get(), account, &server).addSiteItems({site}, 7);

        QAction *item = MenuItems::itemWithTag(&server, MenuTag::site(70));
        ASSERT_NE(item, nullptr);
        QMenu *siteMenu = MenuItems::submenu(item);
        ASSERT_NE(siteMenu, nullptr);
        EXPECT_EQ(MenuItems::items(siteMenu).value(0)->text(), QStringLiteral("Deploy Site (main)"));
        EXPECT_EQ(titles(&server).size(), 14);
        EXPECT_EQ(titles(&server).constLast(), QStringLiteral("shop.example"));
    }
}
