#include "platform/NotificationCenter.h"

#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace plimsy;

namespace {

TEST(NotificationCenterTest, DeliversSynchronouslyToObserversOfTheName)
{
    NotificationCenter center;
    QObject context;
    QStringList seen;
    center.addObserver("accountsChanged", &context, [&](const Notification &n) {
        seen << n.name + ":" + n.userInfo.value("uuid").toString();
    });
    center.post("accountsChanged", nullptr, {{"uuid", "A"}});
    center.post("windowClosed");
    EXPECT_EQ(seen, QStringList{"accountsChanged:A"});
}

TEST(NotificationCenterTest, SenderFilterAndContextLifetime)
{
    NotificationCenter center;
    QObject senderA;
    QObject senderB;
    int fromA = 0;
    int fromAny = 0;
    auto context = std::make_unique<QObject>();
    center.addObserver(
        "windowClosed", context.get(), [&](const Notification &) { ++fromA; }, &senderA);
    center.addObserver("windowClosed", context.get(), [&](const Notification &) { ++fromAny; });
    center.post("windowClosed", &senderA);
    center.post("windowClosed", &senderB);
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromAny, 2);

    context.reset();
    center.post("windowClosed", &senderA);
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromAny, 2);
}

TEST(NotificationCenterTest, ChangesDuringDeliveryApplyToLaterPosts)
{
    NotificationCenter center;
    QObject first;
    QObject second;
    int secondCalls = 0;
    int firstCalls = 0;
    center.addObserver("allSitesLoaded", &first, [&](const Notification &) {
        ++firstCalls;
        center.removeObserver(&second);
        center.addObserver("allSitesLoaded", &second, [&](const Notification &) { ++secondCalls; });
    });
    center.addObserver("allSitesLoaded", &second, [&](const Notification &) { ++secondCalls; });
    center.post("allSitesLoaded");
    EXPECT_EQ(firstCalls, 1);
    EXPECT_EQ(secondCalls, 0);
    center.removeObserver(&first, "allSitesLoaded");
    center.post("allSitesLoaded");
    EXPECT_EQ(secondCalls, 1);
    EXPECT_EQ(firstCalls, 1);
}

TEST(NotificationCenterTest, AThrowingObserverDoesNotStopTheOthers)
{
    NotificationCenter center;
    QObject context;
    int calls = 0;
    center.addObserver("authStateChanged", &context, [](const Notification &) { throw std::runtime_error("boom"); });
    center.addObserver("authStateChanged", &context, [&](const Notification &) { ++calls; });
    center.post("authStateChanged");
    EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, PostsFromOtherThreadsArriveOnTheGuiThread)
{
    NotificationCenter center;
    QObject context;
    QThread *deliveredOn = nullptr;
    center.addObserver(
        "monitoringSettingsChanged", &context, [&](const Notification &) { deliveredOn = QThread::currentThread(); });
    std::unique_ptr<QThread> worker(QThread::create([&] { center.post("monitoringSettingsChanged"); }));
    worker->start();
    ASSERT_TRUE(worker->wait(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return deliveredOn != nullptr; }, 5000));
    EXPECT_EQ(deliveredOn, QThread::currentThread());
}

} // namespace
