#include "FakeAccountBackend.h"
#include "SignInPageVisitor.h"
#include "StatusMenuFixture.h"
#include "core/NotificationNames.h"

using namespace plimsy;
using namespace plimsy::test;

namespace {

class SignInTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        setSignedIn(false);
        visitor.manager = &auth;
        authManager = &auth;
        for (const auto name : {NotificationNames::authStateChanged, NotificationNames::showAPIKeySetup}) {
            NotificationCenter::defaultCenter().addObserver(
                name, &observer, [this](const Notification &n) { posted << n.name; });
        }
    }

    FakeAccountBackend backend;
    SignInPageVisitor visitor;
    AuthManager auth{accountServices, visitor, defaults, [this] { return backend.webBase(); }, [] {}};
    QObject observer;
    QStringList posted;
};

} // namespace

TEST_F(SignInTest, ASignInRefreshesGreetsAndWithoutAccountsAsksForAKey)
{
    start();
    networkUp();
    ASSERT_EQ(logLinesStartingWith("[StatusMenu] updateServers() BLOCKED - not authenticated").size(), 1);
    alerts.answer(alerts.open().first().id, 0); // the Preferences stand-in of a first start

    controller->signIn(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
    EXPECT_EQ(visitor.lastStatus, 302);
    EXPECT_TRUE(accountServices.authService().isAuthenticated());
    const auto greeting = alerts.open().first();
    EXPECT_EQ(greeting.alert.messageText, QStringLiteral("Signed In Successfully"));
    EXPECT_EQ(greeting.alert.informativeText, QStringLiteral("Welcome, robin@example.com"));
    // Announced by the sign-in itself and by the menu after its refresh.
    EXPECT_EQ(posted, (QStringList{"authStateChanged", "authStateChanged"}));
    EXPECT_EQ(logLinesStartingWith("[StatusMenu] === updateServers() STARTING ===").size(), 1);

    alerts.answer(greeting.id, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(posted.count("showAPIKeySetup"), 1);
    EXPECT_EQ(posted.last(), QStringLiteral("showAPIKeySetup"));
}

TEST_F(SignInTest, WithAccountsTheGreetingIsAllAndSignOutClosesTheGate)
{
    addAccount("Main");
    forge.buildAccount(1, 1, 1);
    start();
    networkUp();
    controller->signIn(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
    waitUntilIdle();
    EXPECT_EQ(appState.serverList.size(), 1);
    alerts.answer(alerts.open().first().id, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(posted.count("showAPIKeySetup"), 0);

    posted.clear();
    controller->signOut(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([this] { return posted.contains("authStateChanged"); }, 20'000));
    EXPECT_FALSE(accountServices.authService().isAuthenticated());
    EXPECT_EQ(logLinesStartingWith("[StatusMenu] updateServers() BLOCKED - not authenticated").size(), 2);
}
