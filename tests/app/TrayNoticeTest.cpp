#include "Await.h"
#include "FakeClock.h"
#include "FakeStatusNotifierWatcher.h"
#include "app/TrayNoticeWindow.h"
#include "platform/StatusItem.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

// One launch of the tray's side of the shell: the status item with its menu and the notice over it.
struct Launch
{
    Launch(UserDefaults &defaults, Sleeper &sleeper, std::function<QWidget *()> firstRunWindow = {})
        : notice(item,
                 {&defaults,
                  &sleeper,
                  [this] { ++paletteOpenings; },
                  [] { return QStringLiteral("Super+Shift+K"); },
                  true,
                  std::move(firstRunWindow)})
    {
        item.setMenu(&menu);
        item.show();
    }

    // Until the desktop has answered and the notice's wait is over.
    void settle()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return item.isHostKnown(); }, 20'000));
        await(notice.showIfNoHost());
    }

    QMenu menu;
    StatusItem item;
    int paletteOpenings = 0;
    TrayNoticeWindow notice;
};

// Runs on xcb: only there does the platform export the item to a StatusNotifier watcher.
TEST(TrayNoticeTest, TheNoticeShowsWithoutAHostAndAHostAppearingLaterShowsTheItemAndClosesIt)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.conf")));
    FakeClock clock;
    FakeSleeper sleeper(clock);
    {
        Launch first(defaults, sleeper);
        first.settle();
        EXPECT_FALSE(first.item.hasHost());
        EXPECT_FALSE(first.item.isVisible());
        EXPECT_EQ(sleeper.requested(), QList<std::chrono::milliseconds>{TrayNoticeWindow::Delay});
        QWidget *window = first.notice.window();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Plimsy's menu needs a system tray"));
        EXPECT_TRUE(first.notice.isTrackedAsOpen());
        window->findChild<QCheckBox *>(QStringLiteral("dontShowAgainCheckBox"))->click();

        // A watcher whose host registers after it started, as a panel that comes up late.
        std::optional<FakeStatusNotifierWatcher> watcher(std::in_place, false);
        ASSERT_TRUE(watcher->isRunning());
        watcher->setHost(true);
        ASSERT_TRUE(QTest::qWaitFor([&] { return first.item.hasHost(); }, 20'000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher->registeredItems().isEmpty(); }, 20'000));
        // One item, served by this process.
        ASSERT_EQ(watcher->registeredItems().size(), 1);
        const QDBusReply<uint> owner =
            QDBusConnection::sessionBus().interface()->servicePid(watcher->registeredItems().first());
        EXPECT_EQ(owner.value(), uint(QCoreApplication::applicationPid()));
        EXPECT_TRUE(first.item.isVisible());
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 20'000));
        EXPECT_FALSE(first.notice.isTrackedAsOpen());

        watcher.reset();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !first.item.hasHost(); }, 20'000));
    }

    // The next launch finds no host either, and keeps quiet as asked.
    Launch second(defaults, sleeper);
    second.settle();
    EXPECT_FALSE(second.item.hasHost());
    EXPECT_EQ(second.notice.window(), nullptr);
    EXPECT_EQ(second.paletteOpenings, 0);
}

// One window at a time: the notice waits behind the first run's window and comes when it has closed.
TEST(TrayNoticeTest, TheNoticeWaitsUntilTheFirstRunsWindowHasClosed)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.conf")));
    FakeClock clock;
    FakeSleeper sleeper(clock);
    QWidget onboarding;
    onboarding.show();
    Launch launch(defaults, sleeper, [&] { return onboarding.isVisible() ? &onboarding : nullptr; });
    launch.settle();
    ASSERT_FALSE(launch.item.hasHost());
    EXPECT_EQ(launch.notice.window(), nullptr);

    onboarding.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return launch.notice.window() && launch.notice.window()->isVisible(); }, 20'000));
}

} // namespace
