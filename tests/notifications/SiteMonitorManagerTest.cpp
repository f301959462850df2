#include "notifications/SiteMonitorManager.h"

#include "Await.h"
#include "FakeClock.h"
#include "FakeCurl.h"
#include "TestRecords.h"
#include "core/Server.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

const FakeCurl::Answer Ok{QStringLiteral("HTTP/1.1 200 OK\r\n\r\n"), {}};
const FakeCurl::Answer Missing{QStringLiteral("HTTP/1.1 404 Not Found\r\n\r\n"), {}};

class CountingDelegate final : public SiteMonitorDelegate
{
public:
    int calls = 0;
    void siteMonitorDidFinish() override { ++calls; }
};

class SiteMonitorManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sleeper.setManual(true);
        defaults.setValue(QStringLiteral("monitorSites"), true);
        SiteMonitorManager::Services services;
        services.records = &records;
        services.defaults = &defaults;
        services.clock = &clock;
        services.sleeper = &sleeper;
        services.store = &store;
        services.curlPath = FakeCurl::program();
        manager = std::make_unique<SiteMonitorManager>(&delegate, services);
    }

    void TearDown() override
    {
        while (manager && curl.running() > 0) {
            curl.releaseOldest(Ok);
            static_cast<void>(QTest::qWaitFor([this] { return !manager->isChecking(); }, 1000));
        }
        // The safety timers end quietly.
        clock.advance(24h);
        QCoreApplication::processEvents();
    }

    void addSites(int count, const QString &prefix = QStringLiteral("site"))
    {
        for (int i = 0; i < count; ++i) {
            Site site;
            site.id = records.siteList.size() + 1;
            site.name = QStringLiteral("%1-%2.example").arg(prefix).arg(site.id);
            site.serverId = 1;
            records.siteList.append(site);
        }
    }

    bool waitForDelegate(int calls = 1)
    {
        return QTest::qWaitFor([&] { return delegate.calls >= calls; }, 20'000);
    }

    FakeCurl curl;
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    FakeSleeper sleeper{clock};
    SiteMonitoringStore store;
    TestRecords records;
    CountingDelegate delegate;
    std::unique_ptr<SiteMonitorManager> manager;
};

TEST_F(SiteMonitorManagerTest, SixRunAtOnceNeverMoreAndThePassReportsOnce)
{
    addSites(20);
    curl.setHandler([](const QStringList &) { return std::nullopt; });
    ::testing::internal::CaptureStdout();
    manager->checkAllSites();
    EXPECT_TRUE(manager->isChecking());
    EXPECT_TRUE(defaults.object(QStringLiteral("siteMonitorInited")).toDateTime() == clock.now());
    for (int answered = 0; answered < 20; ++answered) {
        const int expectedStarts = std::min(20, 6 + answered);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return curl.calls().size() == expectedStarts && curl.running() == std::min(6, 20 - answered); },
            20'000))
            << answered << " answered, " << curl.calls().size() << " started";
        curl.releaseOldest(answered == 3 ? Missing : Ok);
    }
    ASSERT_TRUE(waitForDelegate());
    const std::string printed = ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(curl.peak(), SiteMonitorManager::MaxConcurrentChecks);
    EXPECT_FALSE(manager->isChecking());
    int up = 0;
    QList<MonitoringStatus> down;
    for (const Site &site : records.siteList) {
        const MonitoringStatus status = store.status(site.id);
        if (status.isUp()) {
            ++up;
        } else {
            down.append(status);
        }
    }
    EXPECT_EQ(up, 19);
    EXPECT_EQ(down,
              QList<MonitoringStatus>{
                  MonitoringStatus::down(QStringLiteral("404 Not Found. The requested resource could not be found"))});
    EXPECT_NE(printed.find("🏁 All site checks completed (20/20) - calling delegate"), std::string::npos) << printed;
    // The safety timer of a finished pass ends nothing.
    clock.advance(SiteMonitorManager::SafetyTimeout);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.calls, 1);
}

TEST_F(SiteMonitorManagerTest, TheSafetyTimeoutEndsThePassOnceAndTheStragglerIsStillStored)
{
    addSites(3);
    curl.setHandler([](const QStringList &arguments) -> std::optional<FakeCurl::Answer> {
        if (arguments.last().contains(QStringLiteral("site-3."))) {
            return std::nullopt;
        }
        return Ok;
    });
    manager->checkAllSites();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return store.status(1).isUp() && store.status(2).isUp() && curl.calls().size() == 3; }, 20'000));
    ASSERT_EQ(curl.running(), 1);
    EXPECT_EQ(delegate.calls, 0);

    ::testing::internal::CaptureStdout();
    clock.advance(SiteMonitorManager::SafetyTimeout);
    ASSERT_TRUE(waitForDelegate());
    EXPECT_NE(::testing::internal::GetCapturedStdout().find(
                  "⏰ Safety timeout fired - 2/3 completed, calling delegate anyway"),
              std::string::npos);
    EXPECT_FALSE(manager->isChecking());
    EXPECT_TRUE(store.status(3).isUnchecked());

    curl.releaseOldest(Missing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.status(3).isDown(); }, 20'000));
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.calls, 1);
}

TEST_F(SiteMonitorManagerTest, NothingToCheckStillReportsOnceButLater)
{
    addSites(2);
    for (Site &site : records.siteList) {
        site.disableMonitoring = true;
    }
    manager->checkAllSites();
    EXPECT_EQ(delegate.calls, 0); // asynchronously
    EXPECT_FALSE(manager->isChecking());
    ASSERT_TRUE(waitForDelegate());
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_TRUE(curl.calls().isEmpty());
}

TEST_F(SiteMonitorManagerTest, OffOrAlreadyRunningStartsNothing)
{
    addSites(2);
    defaults.setValue(QStringLiteral("monitorSites"), false);
    manager->checkAllSites();
    EXPECT_FALSE(manager->isChecking());

    // A forced pass runs all the same, and a second start while it runs is ignored.
    curl.setHandler([](const QStringList &) { return std::nullopt; });
    manager->checkAllSites(true);
    manager->checkAllSites(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return curl.calls().size() == 2 && curl.running() == 2; }, 20'000));
    curl.releaseOldest(Ok);
    curl.releaseOldest(Ok);
    ASSERT_TRUE(waitForDelegate());
    QCoreApplication::processEvents();
    EXPECT_EQ(curl.calls().size(), 2);
    EXPECT_EQ(delegate.calls, 1);
}

TEST_F(SiteMonitorManagerTest, ChecksStillRunningWhenTheManagerGoesEndWithIt)
{
    addSites(2);
    curl.setHandler([](const QStringList &) { return std::nullopt; });
    manager->checkAllSites();
    ASSERT_TRUE(QTest::qWaitFor([&] { return curl.running() == 2; }, 20'000));
    ASSERT_EQ(FakeCurl::childStates().size(), 2);

    manager.reset();
    // Killed and reaped by the time the manager is gone, and their checks over with it (the leak
    // checker finds no frame left), having stored and told nothing.
    EXPECT_TRUE(FakeCurl::childStates().isEmpty());
    QCoreApplication::processEvents();
    EXPECT_TRUE(store.status(1).isUnchecked());
    EXPECT_TRUE(store.status(2).isUnchecked());
    EXPECT_EQ(delegate.calls, 0);
}

TEST_F(SiteMonitorManagerTest, ADefaultSiteIsProbedAtItsServersAddress)
{
    const auto server = [](qint64 id, bool usePrivateIp, std::optional<QString> privateIp) {
        Server s;
        s.id = id;
        s.ipAddress = QStringLiteral("203.0.113.%1").arg(id);
        s.privateIpAddress = std::move(privateIp);
        s.usePrivateIp = usePrivateIp;
        return s;
    };
    records.serverList = {
        server(1, true, std::nullopt), server(2, true, QStringLiteral("10.0.0.2")), server(2, false, {})};
    for (const qint64 serverId : {1, 2}) {
        Site site;
        site.id = serverId;
        site.name = QStringLiteral("default");
        site.serverId = serverId;
        records.siteList.append(site);
    }
    curl.setHandler([](const QStringList &) { return Ok; });
    manager->checkAllSites();
    ASSERT_TRUE(waitForDelegate());
    QStringList probed;
    for (const QStringList &call : curl.calls()) {
        probed << call.last();
    }
    probed.sort();
    // Without a private address the public one; of two servers with one id, the first.
    EXPECT_EQ(probed, QStringList({"http://10.0.0.2", "http://203.0.113.1"}));
}

TEST(SiteMonitorIntervalTest, ValuesOutsideTheListAreCorrectedAndStored)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.conf")));
    const QList<qint64> allowed{10, 30, 60, 720, 1440};
    for (const auto &[stored, used, written] : {std::tuple{0, 10, true},
                                                std::tuple{5, 10, true},
                                                std::tuple{45, 60, true},
                                                std::tuple{2000, 60, true},
                                                std::tuple{720, 720, false}}) {
        defaults.remove(QStringLiteral("monitorSitesInterval"));
        EXPECT_EQ(SiteMonitorManager::validatedMonitorInterval(stored, allowed, 60, defaults), used);
        EXPECT_EQ(defaults.contains(QStringLiteral("monitorSitesInterval")), written) << stored;
    }
}

} // namespace
