#include "core/Reachability.h"

#include "platform/NotificationCenter.h"

#include <QTest>

using namespace plimsy;
using namespace plimsy::ReachabilityFlag;

namespace {

struct FlagRow
{
    const char *name;
    quint32 flags;
    bool reachable;
    const char *statusText;
    const char *description;
};

class ReachabilityFlagTest : public ::testing::TestWithParam<FlagRow>
{
};

TEST_P(ReachabilityFlagTest, ReadsTheFlagWord)
{
    auto target = std::make_unique<NetworkReachability>();
    target->injectFlags(GetParam().flags);
    const Reachability reachability(std::move(target));
    EXPECT_EQ(reachability.isReachable(), GetParam().reachable);
    EXPECT_EQ(reachability.isReachableViaWiFi(), bool(GetParam().flags & Reachable));
    EXPECT_FALSE(reachability.isReachableViaWWAN());
    EXPECT_EQ(reachability.currentStatusText(), GetParam().statusText);
    EXPECT_EQ(reachability.flagsDescription(), GetParam().description);
}

INSTANTIATE_TEST_SUITE_P(
    Flags,
    ReachabilityFlagTest,
    ::testing::Values(FlagRow{"none", 0, false, "No Connection", "-- -------"},
                      FlagRow{"reachable", Reachable, true, "WiFi", "-R -------"},
                      FlagRow{
                          "reachableLocalDirect", Reachable | IsLocalAddress | IsDirect, true, "WiFi", "-R -----ld"},
                      FlagRow{"needsTransientConnection",
                              Reachable | ConnectionRequired | TransientConnection,
                              false,
                              "No Connection",
                              "-R ct-----"},
                      FlagRow{"connectionRequiredOnly", Reachable | ConnectionRequired, true, "WiFi", "-R c------"},
                      FlagRow{"transientOnly", Reachable | TransientConnection, true, "WiFi", "-R -t-----"},
                      FlagRow{"onDemandWithoutReachable",
                              ConnectionRequired | ConnectionOnTraffic | ConnectionOnDemand | InterventionRequired,
                              false,
                              "No Connection",
                              "-- c-iCD--"}),
    [](const auto &info) { return std::string(info.param.name); });

// Records what a running monitor reports, through both roads.
class ReachabilityNotifierTest : public ::testing::Test
{
protected:
    NotificationCenter center;
    QObject observer;
    QStringList reports;
    int posts = 0;
    NetworkReachability *target = nullptr;
    std::unique_ptr<Reachability> reachability;

    void SetUp() override { make(std::make_unique<NetworkReachability>()); }

    void make(std::unique_ptr<NetworkReachability> backing)
    {
        target = backing.get();
        reachability = std::make_unique<Reachability>(std::move(backing));
        reachability->setNotificationCenter(&center);
        reachability->setWhenReachable([this](Reachability &) { reports.append("reachable"); });
        reachability->setWhenUnreachable([this](Reachability &) { reports.append("unreachable"); });
        center.addObserver(
            ReachabilityChangedNotification,
            &observer,
            [this](const Notification &notification) {
                EXPECT_EQ(notification.object, reachability.get());
                ++posts;
            },
            reachability.get());
    }

    bool waitForReports(qsizetype count)
    {
        return QTest::qWaitFor([&] { return reports.size() >= count; }, 5000);
    }
};

TEST_F(ReachabilityNotifierTest, TheFirstCheckAlwaysReportsEvenWithNoFlags)
{
    target->injectFlags(0);
    reachability->startNotifier();
    EXPECT_TRUE(reports.isEmpty()); // queued, not run inside the call
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reports, QStringList{"unreachable"});
    EXPECT_EQ(posts, 1);
}

TEST_F(ReachabilityNotifierTest, ReportsEachChangeOnce)
{
    target->injectFlags(Reachable);
    reachability->startNotifier();
    ASSERT_TRUE(waitForReports(1));
    // Each check reads the flags when it runs, so let each change be seen before the next.
    for (const quint32 flags : {Reachable,
                                Reachable | ConnectionRequired | TransientConnection,
                                Reachable | ConnectionRequired | TransientConnection,
                                Reachable | IsDirect}) {
        target->injectFlags(flags);
        QCoreApplication::sendPostedEvents();
    }
    EXPECT_EQ(reports, (QStringList{"reachable", "unreachable", "reachable"}));
    EXPECT_EQ(posts, 3);
}

TEST_F(ReachabilityNotifierTest, AStartWhileRunningDoesNothingAndAStopEndsReports)
{
    target->injectFlags(Reachable);
    reachability->startNotifier();
    EXPECT_NO_THROW(reachability->startNotifier());
    ASSERT_TRUE(waitForReports(1));
    QCoreApplication::processEvents();
    EXPECT_EQ(reports.size(), 1);

    reachability->stopNotifier();
    EXPECT_FALSE(reachability->isNotifierRunning());
    target->injectFlags(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(reports.size(), 1);
    EXPECT_FALSE(reachability->isReachable());
}

TEST_F(ReachabilityNotifierTest, WithoutABackendTheNetworkCountsAsReachable)
{
    make(std::make_unique<NetworkReachability>(QStringLiteral("no-such-backend")));
    EXPECT_FALSE(target->hasBackend());
    EXPECT_TRUE(reachability->isReachable());
    EXPECT_EQ(reachability->currentStatusText(), "WiFi");
    reachability->startNotifier();
    ASSERT_TRUE(waitForReports(1));
    EXPECT_EQ(reports, QStringList{"reachable"});
}

TEST_F(ReachabilityNotifierTest, AFailingHandlerIsContained)
{
    reachability->setWhenReachable([](Reachability &) { throw std::runtime_error("handler broke"); });
    target->injectFlags(Reachable);
    reachability->startNotifier();
    ASSERT_TRUE(QTest::qWaitFor([&] { return posts == 1; }, 5000));
}

TEST(ReachabilityCreationTest, RefusesNamesThatAreNoHosts)
{
    EXPECT_NE(Reachability::forHostName("forge.laravel.com"), nullptr);
    EXPECT_NE(Reachability::forZeroAddress(), nullptr);
    EXPECT_EQ(Reachability::forHostName(""), nullptr);
    EXPECT_EQ(Reachability::forHostName("no host"), nullptr);
    EXPECT_EQ(Reachability::forHostName("host/path"), nullptr);
}

} // namespace
