#include "platform/MenuItems.h"

#include "platform/NotificationCenter.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>

using namespace plimsy;

namespace {

QMenu *addSubmenu(QMenu *menu, const QString &title, MenuTag tag = {})
{
    QAction *item = MenuItems::makeItem(menu, title, tag);
    auto *submenu = new QMenu(menu);
    item->setMenu(submenu);
    menu->addAction(item);
    return submenu;
}

} // namespace

TEST(MenuItemsTest, TagsOfDifferentKindsNeverMatchEachOther)
{
    QMenu menu;
    // A server whose id equals a section number, and a site with the same id as a server.
    QAction *section = MenuItems::makeSeparator(&menu, MenuTag::section(9998));
    menu.addAction(section);
    QMenu *server = addSubmenu(&menu, QStringLiteral("web-1"), MenuTag::server(9998));
    QAction *site = MenuItems::makeItem(server, QStringLiteral("example.com"), MenuTag::site(9998));
    server->addAction(site);

    EXPECT_EQ(MenuItems::itemWithTag(&menu, MenuTag::section(9998)), section);
    EXPECT_EQ(MenuItems::findItem(&menu, MenuTag::server(9998))->text(), QStringLiteral("web-1"));
    EXPECT_EQ(MenuItems::findItem(&menu, MenuTag::site(9998)), site);
    EXPECT_EQ(MenuItems::findItem(&menu, MenuTag::site(1)), nullptr);

    EXPECT_EQ(MenuItems::removeItemsWithTag(&menu, MenuTag::section(9998)), 1);
    EXPECT_NE(MenuItems::findItem(&menu, MenuTag::server(9998)), nullptr);
}

TEST(MenuItemsTest, FindGivesTheFirstMatchInMenuOrderTwoLevelsDeep)
{
    QMenu menu;
    QMenu *first = addSubmenu(&menu, QStringLiteral("A"));
    QMenu *deep = addSubmenu(first, QStringLiteral("A1"));
    QAction *wanted = MenuItems::makeItem(deep, QStringLiteral("deep"), MenuTag::site(7));
    deep->addAction(wanted);
    QMenu *second = addSubmenu(&menu, QStringLiteral("B"));
    second->addAction(MenuItems::makeItem(second, QStringLiteral("later"), MenuTag::site(7)));

    EXPECT_EQ(MenuItems::findItem(&menu, MenuTag::site(7)), wanted);
    EXPECT_EQ(MenuItems::indexTree(&menu).value(MenuTag::site(7)), wanted);
    EXPECT_EQ(MenuItems::findItem(nullptr, MenuTag::site(7)), nullptr);
}

TEST(MenuItemsTest, InsertByIndexAndClearDeletesSubmenus)
{
    QMenu menu;
    for (const char *title : {"a", "c"}) {
        menu.addAction(MenuItems::makeItem(&menu, QString::fromLatin1(title)));
    }
    MenuItems::insertItem(&menu, 1, MenuItems::makeItem(&menu, QStringLiteral("b")));
    MenuItems::insertItem(&menu, 99, MenuItems::makeItem(&menu, QStringLiteral("d")));
    QStringList titles;
    for (const QAction *item : menu.actions()) {
        titles << item->text();
    }
    EXPECT_EQ(titles, (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(MenuItems::indexOf(&menu, menu.actions().at(2)), 2);

    QPointer<QMenu> submenu = addSubmenu(&menu, QStringLiteral("sub"));
    MenuItems::clear(&menu);
    EXPECT_TRUE(menu.actions().isEmpty());
    EXPECT_TRUE(submenu.isNull());
}

TEST(MenuItemsTest, StateShowsItsImageOrACheckMark)
{
    QMenu menu;
    QAction *item = MenuItems::makeItem(&menu, QStringLiteral("site"));
    QPixmap green(8, 8);
    green.fill(Qt::green);
    MenuItems::setState(item, MenuItemState::On);
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(item->icon().isNull());

    MenuItems::setStateImage(item, MenuItemState::On, QIcon(green));
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(item->icon().isNull());

    MenuItems::setState(item, MenuItemState::Off);
    EXPECT_EQ(MenuItems::state(item), MenuItemState::Off);
    EXPECT_TRUE(item->icon().isNull());
    EXPECT_FALSE(item->isChecked());
}

// A site check sets every site item's state again each pass: only a change may reach the menu (and a
// D-Bus host behind it).
TEST(MenuItemsTest, SettingWhatAnItemAlreadyHoldsAnnouncesNothing)
{
    QMenu menu;
    QAction *item = MenuItems::makeItem(&menu, QStringLiteral("site"), MenuTag::site(7));
    menu.addAction(item);
    QPixmap red(8, 8);
    red.fill(Qt::red);
    const QIcon off(red);
    MenuItems::setStateImage(item, MenuItemState::Off, off);
    MenuItems::setState(item, MenuItemState::Off);

    QSignalSpy changes(item, &QAction::changed);
    MenuItems::setTag(item, MenuTag::site(7));
    MenuItems::setStateImage(item, MenuItemState::Off, off);
    MenuItems::setState(item, MenuItemState::Off);
    EXPECT_EQ(changes.count(), 0);

    MenuItems::setState(item, MenuItemState::On);
    EXPECT_GT(changes.count(), 0);
    EXPECT_EQ(MenuItems::tag(item), MenuTag::site(7));
}

TEST(MenuItemsTest, RepresentedObjectIsReadBackOnlyAsItsOwnType)
{
    QMenu menu;
    QAction *item = MenuItems::makeItem(&menu, QStringLiteral("account"));
    EXPECT_FALSE(MenuItems::representedObject<QString>(item).has_value());
    MenuItems::setRepresentedObject(item, QStringLiteral("uuid-1"));
    EXPECT_EQ(MenuItems::representedObject<QString>(item), QStringLiteral("uuid-1"));
    EXPECT_FALSE(MenuItems::representedObject<qint64>(item).has_value());
    MenuItems::setRepresentedObject(item, 5);
    MenuItems::setRepresentedObject(item, qint64(5)); // equal as a QVariant, not the same type
    EXPECT_EQ(MenuItems::representedObject<qint64>(item), 5);
}

TEST(MenuItemsTest, ChoosingAnItemAnnouncesItsTitleBeforeItsActionRuns)
{
    QMenu menu;
    QAction *item = MenuItems::makeItem(&menu, QStringLiteral("Deploy Now"));
    QStringList seen;
    QObject context;
    NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("NSMenuWillSendActionNotification"), &context, [&seen](const Notification &notification) {
            seen << notification.userInfo.value(QStringLiteral("MenuItem")).toString();
        });
    QObject::connect(item, &QAction::triggered, [&seen] { seen << QStringLiteral("action"); });
    item->trigger();
    EXPECT_EQ(seen, (QStringList{QStringLiteral("Deploy Now"), QStringLiteral("action")}));
}
