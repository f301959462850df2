#include "../menu/StatusMenuFixture.h"
#include "actionbar/ActionBarDataSource.h"
#include "actionbar/ActionBarPanel.h"
#include "actionbar/ActionBarSearchField.h"
#include "actionbar/ActionBarWindowController.h"
#include "actionbar/RecentCommandsManager.h"
#include "platform/DockVisibilityManager.h"

#include <QGuiApplication>
#include <QListView>
#include <QScreen>
#include <QWidget>

#include <functional>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The real status menu loaded from a FakeForge (web-1 and web-12, each with an "example.com" site, and
// shop.test on web-1), and the Action Bar over it.
class ActionBarWindowTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        addAccount(QStringLiteral("Main"));
        forge.addOrganization(QStringLiteral("Acme"), QStringLiteral("acme"));
        web1 = forge.addServer(QStringLiteral("acme"), QStringLiteral("web-1")).id;
        web12 = forge.addServer(QStringLiteral("acme"), QStringLiteral("web-12")).id;
        example1 = forge.addSite(web1, QStringLiteral("example.com")).id;
        forge.addSite(web12, QStringLiteral("example.com"));
        forge.addSite(web1, QStringLiteral("shop.test"));
        start();
        networkUp();
        waitUntilIdle();
        ASSERT_EQ(appState.siteList.size(), 3);
        bar = std::make_unique<ActionBarWindowController>(
            ActionBarServices{{&appState, &defaults, &webhooks}, &alerts, &recents});
    }

    void TearDown() override
    {
        bar.reset();
        StatusMenuFixture::TearDown();
    }

    ActionBarSearchField *field() const { return bar->window()->searchField(); }

    // Types and waits for the search that follows the pause.
    void type(const QString &text)
    {
        QTest::keyClicks(field(), text);
        ASSERT_TRUE(QTest::qWaitFor([&] { return shownQuery == field()->text(); }, 20'000));
    }

    QStringList rowIds() const
    {
        QStringList ids;
        for (const FuzzyMatch &match : bar->filteredItems()) {
            ids << match.item().id;
        }
        return ids;
    }

    QList<FakeAlertPresenter::Shown> shownAlerts(const QString &title) const
    {
        QList<FakeAlertPresenter::Shown> found;
        for (const auto &shown : alerts.shown()) {
            if (shown.alert.messageText == title) {
                found << shown;
            }
        }
        return found;
    }

    qsizetype nginxReboots() const
    {
        const QList<RecordedRequest> requests = forge.requests();
        return std::count_if(requests.begin(), requests.end(), [](const RecordedRequest &r) {
            return r.method == "POST" && r.path.endsWith(QStringLiteral("/services/nginx/actions"));
        });
    }

    // Runs the nginx reboot of web-1 with the key, answers its question, and waits for the request.
    void rebootNginxWith(Qt::KeyboardModifiers modifiers, qsizetype expectedReboots)
    {
        bar->show();
        type(QStringLiteral("web-1 reboot nginx"));
        ASSERT_EQ(rowIds().value(0), QStringLiteral("reboot-nginx-%1").arg(web1));
        QTest::keyClick(field(), Qt::Key_Return, modifiers);
        EXPECT_FALSE(bar->isVisible());
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return shownAlerts(QStringLiteral("Reboot Nginx on web-1?")).size() == expectedReboots; }, 20'000));
        alerts.answer(alerts.open().last().id, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return nginxReboots() == expectedReboots; }, 20'000));
    }

    qint64 web1 = 0;
    qint64 web12 = 0;
    qint64 example1 = 0;
    RecentCommandsManager recents{defaults, clock};
    std::unique_ptr<ActionBarWindowController> bar;
    QString shownQuery;
    QMetaObject::Connection watch;
};

TEST_F(ActionBarWindowTest, OpensWithEverythingAndResizesDownwardsFromAFixedTop)
{
    const qint64 openWindows = DockVisibilityManager::windowCount();
    bar->show();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(DockVisibilityManager::windowCount(), openWindows + 1);
    // Four globals, two MySQL servers of 10 commands, three sites of 11.
    EXPECT_EQ(bar->filteredItems().size(), 4 + 2 * 10 + 3 * 11);
    EXPECT_EQ(bar->window()->tableView()->currentIndex().row(), 0);
    EXPECT_TRUE(field()->text().isEmpty());
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = bar->window()->geometry();
    EXPECT_EQ(frame.size(), QSize(500, 8 * 36 + 92));
    // Centred on the offscreen screen, and kept below its top edge.
    ASSERT_EQ(available, QRect(0, 0, 800, 800));
    EXPECT_EQ(frame.topLeft(), QPoint(150, 0));
    EXPECT_TRUE(available.contains(frame));

    shownQuery = QStringLiteral("?");
    watch = QObject::connect(bar->window()->tableView()->model(), &QAbstractItemModel::modelReset, bar.get(), [this] {
        shownQuery = field()->text();
    });
    type(QStringLiteral("zzqq"));
    EXPECT_TRUE(bar->filteredItems().isEmpty());
    EXPECT_EQ(bar->window()->geometry(), QRect(frame.topLeft(), QSize(500, 36 + 92)));

    QTest::keyClick(field(), Qt::Key_Escape);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(DockVisibilityManager::windowCount(), openWindows);
    bar->show();
    EXPECT_TRUE(field()->text().isEmpty());
    EXPECT_EQ(bar->filteredItems().size(), 57);
}

TEST_F(ActionBarWindowTest, ScopesToEntitiesByTheFirstWordAndByTab)
{
    bar->show();
    watch = QObject::connect(bar->window()->tableView()->model(), &QAbstractItemModel::modelReset, bar.get(), [this] {
        shownQuery = field()->text();
    });
    // web-1's reboot commands, and those of web-12, whose name merely begins with it.
    type(QStringLiteral("web-1 reboot"));
    QStringList expected;
    for (const qint64 id : {web1, web12}) {
        for (const char *prefix : {"reboot-server-", "reboot-php-", "reboot-mysql-", "reboot-nginx-"}) {
            expected << QLatin1String(prefix) + QString::number(id);
        }
    }
    QStringList ids = rowIds();
    ids.sort();
    expected.sort();
    EXPECT_EQ(ids, expected);

    // Tab completes the duplicate site's whole name, spaces included, and scopes to that one site.
    field()->clear();
    type(QStringLiteral("exam"));
    QTest::keyClick(field(), Qt::Key_Tab);
    EXPECT_EQ(field()->text(), QStringLiteral("example.com (web-1) "));
    EXPECT_EQ(QApplication::focusWidget(), field());
    EXPECT_EQ(bar->filteredItems().size(), 11);
    for (const FuzzyMatch &match : bar->filteredItems()) {
        EXPECT_EQ(match.item().siteId, example1) << match.item().id.toStdString();
    }
    type(QStringLiteral("dep"));
    ASSERT_FALSE(bar->filteredItems().isEmpty());
    EXPECT_EQ(rowIds().first(), QStringLiteral("deploy-%1").arg(example1));
    for (const FuzzyMatch &match : bar->filteredItems()) {
        EXPECT_EQ(match.item().siteId, example1) << match.item().id.toStdString();
    }
}

TEST_F(ActionBarWindowTest, ReturnAndCtrlReturnRunTheSelectedCommandOnce)
{
    watch = QObject::connect(bar->window()->tableView()->model(), &QAbstractItemModel::modelReset, bar.get(), [this] {
        shownQuery = field()->text();
    });
    rebootNginxWith(Qt::NoModifier, 1);
    rebootNginxWith(Qt::ControlModifier, 2);
    // The command and its server lead the empty list next time.
    bar->show();
    EXPECT_EQ(rowIds().first(), QStringLiteral("reboot-nginx-%1").arg(web1));
    EXPECT_EQ(recents.entityRecencyScore(QStringLiteral("web-1")), 80);
}

TEST_F(ActionBarWindowTest, ReturnRightAfterTypingRunsTheFreshTopRow)
{
    bar->show();
    QTest::keyClicks(field(), QStringLiteral("web-1 reboot nginx"));
    QTest::keyClick(field(), Qt::Key_Return);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return shownAlerts(QStringLiteral("Reboot Nginx on web-1?")).size() == 1; }, 20'000));
    EXPECT_EQ(recents.commandRecencyScore(QStringLiteral("global-refresh")), 0);
}

TEST_F(ActionBarWindowTest, SaysWhenACommandCannotRun)
{
    const auto waitForAlert = [this](const QString &informative) {
        return QTest::qWaitFor(
            [&] {
                return std::any_of(alerts.shown().begin(), alerts.shown().end(), [&](const auto &shown) {
                    return shown.alert.messageText == QStringLiteral("Could not execute action")
                           && shown.alert.informativeText == informative;
                });
            },
            20'000);
    };
    ActionBarItem orphan;
    orphan.id = QStringLiteral("reboot-server-999");
    orphan.type = ActionBarCommandType::rebootServer;
    orphan.entityName = QStringLiteral("gone");
    bar->executeItem(orphan);
    EXPECT_TRUE(
        waitForAlert(QStringLiteral("Missing server or account data. Please refresh your servers and try again.")));

    StatusMenuControllerHolder::shared().controller = nullptr;
    bar->executeItem(ActionBarDataSource::globalItems().first());
    EXPECT_TRUE(waitForAlert(QStringLiteral("The menu controller is not available. Please try restarting Plimsy.")));
    StatusMenuControllerHolder::shared().controller = controller.get();
    // Recorded before the failure.
    EXPECT_EQ(recents.commandRecencyScore(QStringLiteral("reboot-server-999")), 100);
    EXPECT_EQ(nginxReboots(), 0);
}

TEST_F(ActionBarWindowTest, OpeningClosingAndDeactivatingKeepTheWindowCountBalanced)
{
    const qint64 openWindows = DockVisibilityManager::windowCount();
    for (int cycle = 0; cycle < 10; ++cycle) {
        bar->toggle();
        EXPECT_EQ(DockVisibilityManager::windowCount(), openWindows + 1);
        bar->toggle();
    }
    EXPECT_EQ(DockVisibilityManager::windowCount(), openWindows);

    bar->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->window()->isActiveWindow(); }, 20'000));
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !bar->isVisible(); }, 20'000));
    EXPECT_EQ(DockVisibilityManager::windowCount(), openWindows);
}

} // namespace

// A site whose submenu was never opened: the palette's command does what the submenu's own item does,
// and leaves the submenu unmade.
TEST_F(ActionBarWindowTest, ACommandOnANeverOpenedSiteRunsAsFromTheMenu)
{
    QMenu *siteMenu = MenuItems::submenu(MenuItems::findItem(menu(), MenuTag::site(example1)));
    ASSERT_FALSE(MenuItems::isBuilt(siteMenu));
    const QString deployments = QStringLiteral("/deployments");
    // Runs one deploy and answers its question; what was asked and what was sent.
    const auto deploy = [&](const std::function<void()> &choose) {
        const qsizetype asked = alerts.shown().size();
        const qsizetype sent = forge.requests().size();
        choose();
        EXPECT_TRUE(QTest::qWaitFor([&] { return alerts.shown().size() == asked + 1; }, 20'000));
        const Alert question = alerts.shown().last().alert;
        alerts.answer(alerts.open().last().id, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return forge.requests().size() > sent; }, 20'000));
        const RecordedRequest request = forge.requests().last();
        return QStringList{question.messageText, question.informativeText, request.method, request.path, request.body};
    };

    const QList<ActionBarItem> commands = ActionBarDataSource::allItems({&appState, &defaults, &webhooks});
    const auto command = std::find_if(commands.begin(), commands.end(), [&](const ActionBarItem &item) {
        return item.type == ActionBarCommandType::deploySite && item.siteId == example1;
    });
    ASSERT_NE(command, commands.end());
    const QStringList fromPalette = deploy([&] { bar->executeItem(*command); });
    EXPECT_TRUE(fromPalette.value(3).endsWith(deployments));
    EXPECT_FALSE(MenuItems::isBuilt(siteMenu));

    const QStringList fromMenu = deploy([&] {
        MenuItems::items(siteMenu).first()->trigger();
        QCoreApplication::processEvents();
    });
    EXPECT_EQ(fromMenu, fromPalette);
}

namespace {

struct PlacementRow
{
    const char *name;
    QRect available;
    int height;
    QPoint expected;
};

class ActionBarPlacementTest : public ::testing::TestWithParam<PlacementRow>
{
};

} // namespace

TEST_P(ActionBarPlacementTest, ThePanelAtItsTallestStaysInsideTheFreeArea)
{
    const PlacementRow &row = GetParam();
    const int tallest = 8 * 36 + ActionBarPanel::ChromeHeight;
    const QPoint at = ActionBarPanel::placement(row.available, QSize(ActionBarPanel::WindowWidth, row.height), tallest);
    EXPECT_EQ(at, row.expected);
    if (row.available.height() >= tallest) {
        EXPECT_TRUE(row.available.contains(QRect(at, QSize(ActionBarPanel::WindowWidth, tallest))));
    }
}

INSTANTIATE_TEST_SUITE_P(Screens,
                         ActionBarPlacementTest,
                         ::testing::Values(
                             // Room enough: centred, the lower edge 100 px above the middle.
                             PlacementRow{"Roomy", {0, 0, 1920, 1080}, 128, {710, 312}},
                             PlacementRow{"RoomyRightScreen", {1920, 32, 2560, 1408}, 380, {2950, 256}},
                             // A 1366x768 laptop under a 27 px top bar, and 1600x1000 at 2x (800x500 logical).
                             PlacementRow{"Laptop", {0, 27, 1366, 741}, 380, {433, 27}},
                             PlacementRow{"DoubleScale", {0, 0, 800, 500}, 380, {150, 0}},
                             // Shorter than the panel: the search field stays on screen.
                             PlacementRow{"TooShort", {0, 20, 640, 300}, 380, {70, 20}}),
                         [](const ::testing::TestParamInfo<PlacementRow> &info) {
                             return std::string(info.param.name);
                         });
