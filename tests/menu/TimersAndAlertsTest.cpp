#include "StatusMenuFixture.h"
#include "core/NotificationNames.h"
#include "forge/ForgeAPIError.h"
#include "menu/MenuBarIconManager.h"
#include "notifications/MonitoringStatus.h"
#include "platform/DockVisibilityManager.h"
#include "platform/StatusItem.h"

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

class TimersAndAlertsTest : public StatusMenuFixture
{
protected:
    // Starts with one loaded account and the network up.
    void startLoaded(int organizations = 1, int servers = 1, int sites = 1)
    {
        account = addAccount("Main");
        forge.buildAccount(organizations, servers, sites);
        start();
        networkUp();
        waitUntilIdle();
    }

    qsizetype refreshes() const { return forge.requestCount("GET", "/api/orgs"); }

    Account account;
};

class RecordedWindow final : public LogWindowProtocol
{
public:
    explicit RecordedWindow(QString uuid)
        : m_uuid(std::move(uuid))
    {
    }
    QString uuid() const override { return m_uuid; }
    ConfigurationWindowController *configWindow() const override { return nullptr; }

private:
    QString m_uuid;
};

} // namespace

TEST_F(TimersAndAlertsTest, AutoRefreshWaitsForThreeHundredIdleSeconds)
{
    startLoaded();
    ASSERT_EQ(refreshes(), 1);
    Q_EMIT menu()->aboutToShow();
    EXPECT_TRUE(controller->isMenuOpen());
    Q_EMIT menu()->aboutToHide();
    EXPECT_FALSE(controller->isMenuOpen());
    EXPECT_EQ(controller->lastUserActivity(), clock.now());

    advanceClock(299s);
    controller->autoRefreshIfIdle();
    EXPECT_FALSE(appState.isLoadingData());
    EXPECT_TRUE(logLines().contains("[AutoRefresh] Skipped - menu open: false, idle time: 299s"));

    advanceClock(1s);
    controller->autoRefreshIfIdle();
    EXPECT_TRUE(logLines().contains("[AutoRefresh] Refreshing after 300s idle"));
    waitUntilIdle();
    EXPECT_EQ(refreshes(), 2);
}

TEST_F(TimersAndAlertsTest, AnOpenMenuHoldsAutoRefreshForTenMinutesAtMost)
{
    startLoaded();
    Q_EMIT menu()->aboutToShow();
    advanceClock(400s);
    controller->autoRefreshIfIdle();
    EXPECT_TRUE(logLines().contains("[AutoRefresh] Skipped - menu open: true, idle time: 400s"));
    EXPECT_EQ(refreshes(), 1);

    // The host never said the menu closed.
    advanceClock(201s);
    controller->autoRefreshIfIdle();
    waitUntilIdle();
    EXPECT_EQ(refreshes(), 2);
}

TEST_F(TimersAndAlertsTest, TheTimerRunsAtTheStoredIntervalAndAnUnknownOneMeansTen)
{
    defaults.setValue(QStringLiteral("autoRefreshInterval"), 7);
    startLoaded();
    EXPECT_TRUE(sleeper.requested().contains(std::chrono::milliseconds(600s)));
    EXPECT_EQ(defaults.integer(QStringLiteral("autoRefreshInterval")), 7);

    defaults.setValue(QStringLiteral("autoRefreshInterval"), 15);
    NotificationCenter::defaultCenter().post(NotificationNames::autoRefreshIntervalChanged);
    EXPECT_EQ(sleeper.requested().last(), std::chrono::milliseconds(900s));

    // The replaced 600 s timer does nothing when its time comes; the 900 s one ticks.
    advanceClock(600s);
    EXPECT_EQ(refreshes(), 1);
    advanceClock(300s);
    waitUntilIdle();
    EXPECT_EQ(refreshes(), 2);
}

TEST_F(TimersAndAlertsTest, MonitoringIntervalIsCorrectedAndStored)
{
    startLoaded();
    for (const auto &[stored, used] : {std::pair{0, 10}, std::pair{45, 60}, std::pair{720, 720}}) {
        defaults.setValue(QStringLiteral("monitorSitesInterval"), stored);
        defaults.setValue(QStringLiteral("monitorSites"), true);
        NotificationCenter::defaultCenter().post(NotificationNames::monitoringSettingsChanged);
        EXPECT_EQ(defaults.integer(QStringLiteral("monitorSitesInterval")), used);
        EXPECT_EQ(sleeper.requested().last(), std::chrono::milliseconds(std::chrono::minutes(used)));
    }
}

TEST_F(TimersAndAlertsTest, SiteChecksColourServersAndSites)
{
    defaults.setValue(QStringLiteral("monitorSites"), true);
    startLoaded(1, 4, 12); // three sites per server
    ASSERT_EQ(appState.siteList.size(), 12);
    const auto sitesOf = [this](qint64 server) {
        QList<qint64> ids;
        for (const Site &site : appState.siteList) {
            if (site.serverId == server) {
                ids << site.id;
            }
        }
        return ids;
    };
    const QList<Server> servers = appState.serverList;
    const QList<qint64> allUp = sitesOf(servers[0].id);
    const QList<qint64> mixed = sitesOf(servers[1].id);
    const QList<qint64> allDown = sitesOf(servers[2].id);
    for (const qint64 id : allUp) {
        monitoringStore.setStatus(MonitoringStatus::up(), id);
    }
    monitoringStore.setStatus(MonitoringStatus::up(), mixed[0]);
    monitoringStore.setStatus(MonitoringStatus::down(QStringLiteral("HTTP 500")), mixed[1]);
    for (const qint64 id : allDown) {
        monitoringStore.setStatus(MonitoringStatus::down(), id);
    }
    controller->siteMonitorDidFinish();

    const auto state = [this](MenuTag tag) { return MenuItems::state(MenuItems::findItem(menu(), tag)); };
    EXPECT_EQ(state(MenuTag::server(servers[0].id)), MenuItemState::On);
    EXPECT_EQ(state(MenuTag::server(servers[1].id)), MenuItemState::Mixed);
    EXPECT_EQ(state(MenuTag::server(servers[2].id)), MenuItemState::Off);
    EXPECT_FALSE(MenuItems::findItem(menu(), MenuTag::server(servers[2].id))->icon().isNull());
    EXPECT_TRUE(MenuItems::findItem(menu(), MenuTag::server(servers[3].id))->icon().isNull()); // all unchecked
    EXPECT_EQ(state(MenuTag::site(mixed[0])), MenuItemState::On);
    EXPECT_EQ(state(MenuTag::site(mixed[1])), MenuItemState::Off);
    EXPECT_FALSE(MenuItems::findItem(menu(), MenuTag::site(mixed[1]))->icon().isNull());
    EXPECT_TRUE(MenuItems::findItem(menu(), MenuTag::site(mixed[2]))->icon().isNull());

    Logger::shared().flush();
    QFile siteLog(*Logger::shared().logDirectory() + QLatin1Char('/')
                  + Logger::logFileName(QStringLiteral("SiteMonitor"), QDateTime::currentDateTime()));
    ASSERT_TRUE(siteLog.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(siteLog.readAll());
    EXPECT_TRUE(
        written.contains(QStringLiteral("ERROR: %1: HTTP 500").arg(*Site::find(mixed[1], appState.siteList)->name)));
    EXPECT_EQ(written.count(QStringLiteral("ERROR: ")), 1); // a down site without a message writes nothing
}

TEST_F(TimersAndAlertsTest, ASiteLeftOutOfMonitoringIsNotCounted)
{
    defaults.setValue(QStringLiteral("monitorSites"), true);
    account = addAccount("Main");
    forge.buildAccount(1, 1, 2);
    const qint64 ignored = forge.sites().front().id;
    account.ignoredMonitoringSites = QList<qint64>{ignored};
    saveAccount(account);
    start();
    networkUp();
    waitUntilIdle();
    const qint64 other = forge.sites().back().id;
    monitoringStore.setStatus(MonitoringStatus::down(), ignored);
    monitoringStore.setStatus(MonitoringStatus::up(), other);
    controller->siteMonitorDidFinish();
    EXPECT_EQ(MenuItems::state(MenuItems::findItem(menu(), MenuTag::site(ignored))), MenuItemState::Off);
    EXPECT_TRUE(MenuItems::findItem(menu(), MenuTag::site(ignored))->icon().isNull());
    EXPECT_EQ(MenuItems::state(MenuItems::findItem(menu(), MenuTag::server(forge.servers().front().id))),
              MenuItemState::On);
}

TEST_F(TimersAndAlertsTest, ReachabilityRefreshesAtMostOncePerFiveSeconds)
{
    startLoaded();
    ASSERT_EQ(refreshes(), 1);
    advanceClock(3s);
    networkUp(ReachabilityFlag::IsDirect);
    waitUntilIdle();
    EXPECT_EQ(refreshes(), 1);
    advanceClock(3s);
    networkUp(ReachabilityFlag::IsLocalAddress);
    waitUntilIdle();
    EXPECT_EQ(refreshes(), 2);

    networkDown();
    QCoreApplication::processEvents();
    EXPECT_FALSE(controller->hasNetwork());
    EXPECT_TRUE(controller->iconManager().hasError);
    controller->updateServers();
    EXPECT_TRUE(logLines().contains("[StatusMenu] updateServers() BLOCKED - no network"));
}

TEST_F(TimersAndAlertsTest, TheErrorAlertClosesItselfAfterFiveMinutes)
{
    const Account main = addAccount("Main");
    start();
    const qint64 before = DockVisibilityManager::windowCount();
    controller->showErrorAlert(main, QStringLiteral("Could not deploy site"), QStringLiteral("boom"));
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.informativeText, QStringLiteral("boom for account: Main"));
    EXPECT_EQ(DockVisibilityManager::windowCount(), before + 1);

    advanceClock(299s);
    EXPECT_EQ(alerts.open().size(), 1);
    advanceClock(1s);
    EXPECT_TRUE(alerts.open().isEmpty());
    EXPECT_EQ(alerts.shown().first().answer, AlertPresenter::Closed);
    EXPECT_EQ(DockVisibilityManager::windowCount(), before);
}

TEST_F(TimersAndAlertsTest, AnAnsweredAlertsTimerLeavesOtherAlertsAlone)
{
    addAccount("Main");
    start();
    Account unnamed;
    controller->showErrorAlert(unnamed, QStringLiteral("Could not reboot"), QStringLiteral("detail"));
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.informativeText, QStringLiteral("detail"));
    alerts.answer(alerts.open().first().id, 0);

    // Another action's confirmation, on screen when the answered alert's five minutes are up.
    const auto confirmation =
        alerts.show({QStringLiteral("Are you sure you want to deploy?"), {}, {}, {"Deploy Now", "Cancel"}});
    advanceClock(300s);
    EXPECT_TRUE(alerts.isShowing(confirmation));
    controller->closeAlertWindow();
    EXPECT_TRUE(alerts.isShowing(confirmation));
}

TEST_F(TimersAndAlertsTest, ANewerAlertReplacesTheOneOnScreen)
{
    addAccount("Main");
    start();
    const qint64 before = DockVisibilityManager::windowCount();
    controller->showErrorAlert(Account{}, QStringLiteral("first"), std::nullopt);
    controller->showErrorAlert(Account{}, QStringLiteral("second"), std::nullopt);
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, QStringLiteral("second"));
    EXPECT_TRUE(alerts.open().first().alert.informativeText.isEmpty());
    EXPECT_EQ(DockVisibilityManager::windowCount(), before + 1);
    alerts.answer(alerts.open().first().id, 0);
    EXPECT_EQ(DockVisibilityManager::windowCount(), before);
}

TEST_F(TimersAndAlertsTest, ShippedDefaultsAreRegisteredAtEveryLaunchAndNeverWritten)
{
    defaults.remove(QStringLiteral("monitorSites"));
    defaults.setValue(QStringLiteral("launchedBefore"), true);
    start();
    EXPECT_EQ(defaults.integer(QStringLiteral("autoRefreshInterval")), 10);
    EXPECT_EQ(defaults.integer(QStringLiteral("monitorSitesInterval")), 60);
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("monitorSites")));
    QFile stored(defaults.filePath());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_FALSE(stored.readAll().contains("autoRefreshInterval"));
}

TEST_F(TimersAndAlertsTest, FirstLaunchIsRecordedAndNoAccountAsksForAKey)
{
    start();
    EXPECT_TRUE(defaults.boolValue(QStringLiteral("launchedBefore")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !noticeServer.notices().isEmpty(); }, 20'000));
    ASSERT_EQ(noticeServer.notices().size(), 1);
    EXPECT_EQ(noticeServer.notices().first().summary, QStringLiteral("Add Laravel Forge API Key"));
    EXPECT_EQ(noticeServer.notices().first().actions.mid(2), QStringList({"ACTION", "Help…"}));
    // The Preferences window comes up; this build says it is not there yet.
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, QStringLiteral("Preferences"));
}

TEST_F(TimersAndAlertsTest, AClosedWindowIsForgottenOnceByItsUuid)
{
    start();
    for (const char *uuid : {"one", "two", "three"}) {
        controller->configWindows().push_back(std::make_unique<RecordedWindow>(QString::fromLatin1(uuid)));
        DockVisibilityManager::countWindowOpened();
    }
    const qint64 before = DockVisibilityManager::windowCount();
    NotificationCenter::defaultCenter().post(NotificationNames::windowClosed, nullptr, {{"uuid", "two"}});
    NotificationCenter::defaultCenter().post(NotificationNames::windowClosed, nullptr, {{"uuid", "unknown"}});
    NotificationCenter::defaultCenter().post(NotificationNames::windowClosed, nullptr, {});
    ASSERT_EQ(controller->configWindows().size(), 2u);
    EXPECT_EQ(controller->configWindows()[0]->uuid(), QStringLiteral("one"));
    EXPECT_EQ(controller->configWindows()[1]->uuid(), QStringLiteral("three"));
    EXPECT_EQ(DockVisibilityManager::windowCount(), before - 1);
    for (int i = 0; i < 2; ++i) {
        DockVisibilityManager::countWindowClosed();
    }
}

TEST_F(TimersAndAlertsTest, RefreshItemMovesTheActivityClock)
{
    startLoaded();
    advanceClock(100s);
    itemTitled(menu(), QStringLiteral("Refresh"))->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(controller->lastUserActivity(), clock.now());
    waitUntilIdle();
    EXPECT_EQ(refreshes(), 2);
}
