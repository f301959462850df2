#include "notifications/PushNotificationManager.h"

#include "Await.h"
#include "FakeAccountBackend.h"
#include "FakeClock.h"
#include "FakePushTransport.h"
#include "account/APIClient.h"
#include "account/DeviceInfo.h"
#include "account/KeychainTokenStore.h"
#include "account/ServiceContainer.h"
#include "core/SimpleKeychain.h"
#include "notifications/PushNotificationError.h"
#include "platform/HttpSession.h"
#include "platform/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

const QString Token = QStringLiteral("a1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3d4e5f60718293a4b5c6d7e8f90");

// The outcome of a switch-on that runs while the test moves time and hands over tokens.
struct Outcome
{
    bool done = false;
    std::optional<PushNotificationError::Case> error;
};

QCoro::Task<> track(QCoro::Task<> task, std::shared_ptr<Outcome> outcome)
{
    try {
        co_await std::move(task);
    } catch (const PushNotificationError &error) {
        outcome->error = error.errorCase();
    }
    outcome->done = true;
}

class PushNotificationManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sleeper.setManual(true);
        accountServices.tokenStore().setAccessToken(backend.issueToken());
    }

    void TearDown() override
    {
        clock.advance(1h);
        QCoreApplication::processEvents();
        SimpleKeychain(tokenService).removeAll(KeychainProtocol::Kind::Default);
    }

    PushNotificationManager::Services services(PushTransport *pushTransport)
    {
        return {pushTransport, &defaults, &sleeper, &accountServices.authService(), &accountServices.deviceService()};
    }

    std::shared_ptr<Outcome> startEnabling()
    {
        auto outcome = std::make_shared<Outcome>();
        track(manager.enableNotifications(), outcome);
        return outcome;
    }

    QList<QJsonObject> registrations() const
    {
        QList<QJsonObject> bodies;
        for (const RecordedRequest &request : backend.server().requests("POST", "/v1/devices/register-push")) {
            bodies.append(QJsonDocument::fromJson(request.body).object());
        }
        return bodies;
    }

    FakeAccountBackend backend;
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    FakeSleeper sleeper{clock};
    HttpSession session;
    APIClient apiClient{session, [this] { return backend.apiBase(); }};
    QString tokenService =
        QStringLiteral("com.tindrel.plimsy.test.push.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    ServiceContainer accountServices{
        apiClient, std::make_shared<KeychainTokenStore>(std::make_unique<SimpleKeychain>(tokenService)), defaults};
    FakePushTransport transport;
    PushNotificationManager manager{services(&transport)};
};

TEST_F(PushNotificationManagerTest, OnLinuxSwitchingOnFailsAtOnceAndTouchesNothing)
{
    PushNotificationManager onLinux(services(&PushTransport::system()));
    EXPECT_FALSE(onLinux.isSupported());
    EXPECT_EQ(onLinux.unavailableReason(), QStringLiteral("Push notifications are not available on Linux"));
    try {
        await(onLinux.enableNotifications());
        FAIL() << "switching on succeeded";
    } catch (const PushNotificationError &error) {
        EXPECT_EQ(error.errorCase(), PushNotificationError::Case::Unavailable);
        EXPECT_EQ(error.userMessage(), QStringLiteral("Push notifications are not available on Linux"));
    }
    EXPECT_FALSE(defaults.contains(QString(PushNotificationManager::PushEnabledKey)));
    EXPECT_FALSE(await(onLinux.registerSilentPushToken(true, accountServices.deviceService())));
    EXPECT_EQ(backend.server().requestCount(), 0);
    EXPECT_EQ(onLinux.apnsToken(), std::nullopt);
}

TEST_F(PushNotificationManagerTest, ATokenJustInsideTheWaitCountsAndOneJustOutsideIsKeptForNextTime)
{
    ::testing::internal::CaptureStdout();
    auto first = startEnabling();
    ASSERT_TRUE(QTest::qWaitFor([this] { return sleeper.pending() == 1; }, 20'000));
    EXPECT_EQ(transport.registrations, 1);
    clock.advance(4900ms);
    manager.didReceiveAPNSToken(Token);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->done; }, 20'000));
    EXPECT_EQ(first->error, std::nullopt);
    EXPECT_TRUE(defaults.boolValue(PushNotificationManager::PushEnabledKey));
    ASSERT_EQ(registrations().size(), 1);
    EXPECT_EQ(registrations().first().value(QStringLiteral("apns_token")).toString(), Token);
    EXPECT_EQ(registrations().first().value(QStringLiteral("push_enabled")), QJsonValue(true));

    // Switched off, the old token is gone: the next switch-on waits for a new one.
    await(manager.disableNotifications());
    EXPECT_FALSE(defaults.boolValue(PushNotificationManager::PushEnabledKey));
    EXPECT_EQ(transport.unregistrations, 1);
    clock.advance(1h); // the first wait's timer ends quietly
    auto second = startEnabling();
    ASSERT_TRUE(QTest::qWaitFor([this] { return sleeper.pending() == 1; }, 20'000));
    clock.advance(5100ms);
    ASSERT_TRUE(QTest::qWaitFor([&] { return second->done; }, 20'000));
    EXPECT_EQ(second->error, PushNotificationError::Case::NoAPNSToken);
    manager.didReceiveAPNSToken(QStringLiteral("late"));
    EXPECT_EQ(manager.apnsToken(), QStringLiteral("late"));
    EXPECT_FALSE(defaults.boolValue(PushNotificationManager::PushEnabledKey));
    EXPECT_EQ(registrations().size(), 1);

    // No part of a token reaches standard output.
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.find(Token.left(8).toStdString()), std::string::npos) << printed;
}

TEST_F(PushNotificationManagerTest, OverlappingSwitchOnsShareOneWaitAndEachGetsOneResult)
{
    auto first = startEnabling();
    auto second = startEnabling();
    ASSERT_TRUE(QTest::qWaitFor([this] { return transport.registrations == 2; }, 20'000));
    EXPECT_EQ(sleeper.pending(), 1);
    manager.didReceiveAPNSToken(Token);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->done && second->done; }, 20'000));
    EXPECT_EQ(first->error, std::nullopt);
    EXPECT_EQ(second->error, std::nullopt);
    EXPECT_EQ(registrations().size(), 2);

    // A cancelled wait ends every waiter once, with the cancellation; its timer then ends nothing.
    await(manager.disableNotifications());
    auto third = startEnabling();
    auto fourth = startEnabling();
    ASSERT_TRUE(QTest::qWaitFor([this] { return transport.registrations == 4; }, 20'000));
    manager.cancelTokenWait();
    ASSERT_TRUE(QTest::qWaitFor([&] { return third->done && fourth->done; }, 20'000));
    EXPECT_EQ(third->error, PushNotificationError::Case::Cancelled);
    EXPECT_EQ(fourth->error, PushNotificationError::Case::Cancelled);
    clock.advance(10s);
    QCoreApplication::processEvents();
    EXPECT_EQ(registrations().size(), 2);
}

TEST_F(PushNotificationManagerTest, AFailedSwitchOffIsNotUndoneBySilentRegistration)
{
    DeviceService &device = accountServices.deviceService();
    // Nothing to register yet; a signed-out user is put off.
    EXPECT_FALSE(await(manager.registerSilentPushToken(true, device)));
    manager.didReceiveAPNSToken(Token);
    EXPECT_FALSE(await(manager.registerSilentPushToken(false, device)));
    EXPECT_TRUE(await(manager.registerSilentPushToken(true, device)));
    EXPECT_FALSE(registrations().last().contains(QStringLiteral("push_enabled")));

    await(manager.enableNotifications());
    backend.server().route("DELETE", "/v1/devices/push-token", FakeResponse::json(R"({"message":"down"})", 500));
    await(manager.disableNotifications());
    EXPECT_FALSE(defaults.boolValue(PushNotificationManager::PushEnabledKey));

    // The next launch hands the token over again and registers it silently: still switched off.
    manager.didReceiveAPNSToken(Token);
    EXPECT_TRUE(await(manager.registerSilentPushToken(true, device)));
    EXPECT_EQ(registrations().last().value(QStringLiteral("push_enabled")), QJsonValue(false));
    EXPECT_FALSE(backend.pushRegistration(hardwareUUID())->pushEnabled);
}

} // namespace
