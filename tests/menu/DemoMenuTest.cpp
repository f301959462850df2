#include "StatusMenuFixture.h"

#include <QDir>
#include <QPixmap>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class DemoMenuTest : public StatusMenuFixture
{
protected:
    // With PLIMSY_SCREENSHOT_DIR set, keeps a picture of the menu as a user would see it.
    static void keepPicture(QMenu *shown, const QString &name)
    {
        const QString folder = qEnvironmentVariable("PLIMSY_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            shown->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
        }
    }

    static QMenu *submenuTitled(QMenu *menu, const QString &title)
    {
        QAction *item = itemTitled(menu, title);
        return item ? item->menu() : nullptr;
    }
};

} // namespace

TEST_F(DemoMenuTest, EachAccountSeesItsOwnServersWithNamesDecoded)
{
    storeDemoAccounts();
    start();
    networkUp();
    waitUntilIdle();

    EXPECT_EQ(titles(menu()).mid(4, 2), (QStringList{"Personal", "Northwind Agency"}));
    QMenu *personal = submenuTitled(menu(), "Personal");
    QMenu *agency = submenuTitled(menu(), "Northwind Agency");
    ASSERT_TRUE(personal && agency);
    EXPECT_EQ(titles(personal), (QStringList{"blog-server", "playground", "[staging-box]"}));
    EXPECT_EQ(titles(agency), (QStringList{"acme-db", "acme-prod", "bakery-app", "web-eu-1", "Web-US-1"}));
    QMenu *blog = submenuTitled(personal, "blog-server");
    EXPECT_EQ(titles(blog).mid(13), (QStringList{"café.example", "notes.example", "robin.example"}));
    QMenu *eu = submenuTitled(agency, "web-eu-1");
    EXPECT_TRUE(titles(eu).contains("münchen.example"));
    QMenu *cafe = submenuTitled(blog, "café.example");
    ASSERT_NE(cafe, nullptr);
    EXPECT_EQ(MenuItems::items(cafe).first()->text(), QStringLiteral("Deploy Site (main)"));

    menu()->popup(QPoint(0, 0));
    keepPicture(menu(), "status-menu");
    agency->popup(QPoint(220, 0));
    keepPicture(agency, "account-submenu");
    eu->popup(QPoint(440, 0));
    keepPicture(eu, "server-submenu");
    QMenu *site = submenuTitled(eu, "northwind.example");
    site->popup(QPoint(660, 0));
    keepPicture(site, "site-submenu");
    for (QMenu *shown : {site, eu, agency, menu()}) {
        shown->hide();
    }
}
