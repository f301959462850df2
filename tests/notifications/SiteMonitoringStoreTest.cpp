#include "notifications/SiteMonitoringStore.h"

#include <QThread>

#include <vector>

using namespace plimsy;

TEST(SiteMonitoringStoreTest, KeepsTheLatestResultPerSiteUntilEmptied)
{
    SiteMonitoringStore store;
    EXPECT_EQ(store.status(1), MonitoringStatus::unchecked());
    store.setStatus(MonitoringStatus::up(), 1);
    store.setStatus(MonitoringStatus::down(QStringLiteral("HTTP 500")), 2);
    store.setStatus(MonitoringStatus::down(), 1);
    EXPECT_EQ(store.status(1), MonitoringStatus::down());
    EXPECT_NE(store.status(1), store.status(2)); // a message makes a different value
    EXPECT_EQ(store.status(2).error, QStringLiteral("HTTP 500"));
    store.removeAll();
    EXPECT_TRUE(store.status(1).isUnchecked());
    EXPECT_TRUE(store.status(2).isUnchecked());
}

TEST(SiteMonitoringStoreTest, WritersOnSeveralThreadsLoseNothing)
{
    SiteMonitoringStore store;
    std::vector<std::unique_ptr<QThread>> workers;
    for (int worker = 0; worker < 6; ++worker) {
        workers.emplace_back(QThread::create([&store, worker] {
            for (qint64 site = 0; site < 500; ++site) {
                store.setStatus(MonitoringStatus::up(), worker * 1000 + site);
            }
        }));
        workers.back()->start();
    }
    for (auto &worker : workers) {
        worker->wait();
    }
    for (int worker = 0; worker < 6; ++worker) {
        EXPECT_TRUE(store.status(worker * 1000 + 499).isUp());
    }
}
