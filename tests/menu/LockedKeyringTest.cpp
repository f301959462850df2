// A keyring that is locked while Plimsy runs: a real gnome-keyring on a private bus whose unlock prompt
// fails at once, as when the user dismisses it.
#include "FakeAccountBackend.h"
#include "PrivateKeyring.h"
#include "SignInPageVisitor.h"
#include "StatusMenuFixture.h"
#include "core/SimpleKeychain.h"
#include "menu/MenuTags.h"

using namespace plimsy;
using namespace plimsy::test;

namespace {

const QString LockedMarker = QStringLiteral("Keyring locked or unavailable - unlock it, then choose Refresh");

// The keyring's bus becomes the session bus before the menu fixture's notices or anything else connect to
// one; a session bus Qt opened earlier would never see the keyring's signals.
struct KeyringFirst
{
    PrivateKeyring keyring;
};

class LockedKeyringTest : public KeyringFirst, public StatusMenuFixture
{
protected:
    const QString keyService =
        QStringLiteral("com.tindrel.plimsy.test.keys.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString tokenService =
        QStringLiteral("com.tindrel.plimsy.test.auth.") + QUuid::createUuid().toString(QUuid::WithoutBraces);

    QString topItem() const { return menu()->actions().isEmpty() ? QString() : menu()->actions().first()->text(); }

    int refreshesStarted() const
    {
        return int(logLinesStartingWith(QStringLiteral("[StatusMenu] === updateServers() STARTING")).size());
    }

    // This run's controller over the keyring's items, which it has not read yet.
    void startOnTheKeyring()
    {
        storedKeys = std::make_unique<APIKeyManager>(std::make_unique<SimpleKeychain>(keyService));
        // The token is read at once.
        storedAccount = std::make_unique<ServiceContainer>(
            backendClient,
            std::make_shared<KeychainTokenStore>(std::make_unique<SimpleKeychain>(tokenService)),
            defaults);
        auth = std::make_unique<AuthManager>(
            *storedAccount, browser, defaults, [this] { return backend.webBase(); }, [] {});
        browser.manager = auth.get();
        StatusMenuServices keyringServices = services();
        keyringServices.forge.apiKeys = storedKeys.get();
        keyringServices.authService = &storedAccount->authService();
        keyringServices.deviceService = &storedAccount->deviceService();
        keyringServices.authManager = auth.get();
        start(keyringServices);
    }

    FakeAccountBackend backend;
    APIClient backendClient{session, [this] { return backend.apiBase(); }};
    SignInPageVisitor browser;
    std::unique_ptr<APIKeyManager> storedKeys;
    std::unique_ptr<ServiceContainer> storedAccount;
    std::unique_ptr<AuthManager> auth;
};

} // namespace

TEST_F(LockedKeyringTest, LockedMeansMarkedAndRetriedWithoutPromptsUntilUnlockedThenOneRefreshBringsTheMenuBack)
{
    ASSERT_TRUE(keyring.isRunning());
    // What an earlier run stored.
    Account account = addAccount(QStringLiteral("Main"));
    ASSERT_TRUE(APIKeyManager(std::make_unique<SimpleKeychain>(keyService)).setAPIKey(*account.uuid, "forge-key"));
    ASSERT_TRUE(KeychainTokenStore(std::make_unique<SimpleKeychain>(tokenService)).setAccessToken("access-token"));
    forge.setValidKeys({QStringLiteral("forge-key")});
    const qint64 server = forge.addServer(forge.addOrganization(QStringLiteral("Acme")).slug, "web").id;

    ASSERT_TRUE(keyring.lock());
    startOnTheKeyring();

    // Refreshes the network, the retry and the idle timer start: marked and retried, never a prompt.
    networkUp();
    EXPECT_EQ(topItem(), LockedMarker);
    EXPECT_TRUE(controller->hasErrors());
    EXPECT_TRUE(controller->isRetryPending());
    EXPECT_TRUE(logLines().contains(LockedMarker));
    EXPECT_TRUE(logLines().contains("[StatusMenu] updateServers() BLOCKED - keyring locked or unavailable"));
    for (int minute = 0; minute < 11; ++minute) {
        advanceClock(std::chrono::minutes(1));
    }
    EXPECT_GE(logLinesStartingWith("[StatusMenu] updateServers() BLOCKED - keyring").size(), 3);
    EXPECT_EQ(keyring.unlockCalls(), 0);
    EXPECT_FALSE(storedKeys->hasLoadedFromKeychain());

    // The user's Refresh may ask once; dismissed, the menu stays marked.
    QAction *refresh = itemTitled(menu(), QStringLiteral("Refresh"));
    ASSERT_NE(refresh, nullptr);
    refresh->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return keyring.unlockCalls() == 1; }, 20'000));
    QCoreApplication::processEvents();
    EXPECT_EQ(topItem(), LockedMarker);
    EXPECT_EQ(refreshesStarted(), 0);

    // Unlocked elsewhere: one refresh, without waiting for the retry, and the servers are back.
    ASSERT_TRUE(keyring.unlock());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return MenuItems::findItem(menu(), MenuTag::server(server)) != nullptr; }, 20'000));
    waitUntilIdle();
    EXPECT_FALSE(controller->hasErrors());
    EXPECT_NE(topItem(), LockedMarker);
    advanceClock(std::chrono::minutes(1));
    EXPECT_EQ(refreshesStarted(), 1);
    EXPECT_EQ(keyring.unlockCalls(), 1);

    // Nothing stored was lost or replaced along the way.
    EXPECT_EQ(SecretStore::get(keyService, APIKeyManager::ItemAccount).value,
              QStringLiteral(R"({"%1":"forge-key"})").arg(*account.uuid));
    EXPECT_TRUE(SecretStore::get(tokenService, KeychainTokenStore::Account).value.contains("access-token"));
}

// A sign-in or sign-out that the locked keyring cannot keep holds for this run only, and says so; the
// stored sign-in stays as it was.
TEST_F(LockedKeyringTest, SignInAndSignOutThatTheKeyringCannotKeepSaySoAndChangeNothingStored)
{
    ASSERT_TRUE(keyring.isRunning());
    ASSERT_TRUE(KeychainTokenStore(std::make_unique<SimpleKeychain>(tokenService)).setAccessToken("earlier-token"));
    addAccount(QStringLiteral("Main"));
    ASSERT_TRUE(keyring.lock());
    startOnTheKeyring();

    controller->signIn(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
    EXPECT_EQ(alerts.open().first().alert.messageText, QStringLiteral("Signed In for This Session Only"));
    EXPECT_TRUE(storedAccount->authService().isAuthenticated());
    EXPECT_EQ(keyring.unlockCalls(), 1) << "finishing a sign-in may ask once";
    alerts.answer(alerts.open().first().id, 0);

    controller->signOut(nullptr);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
    EXPECT_EQ(alerts.open().first().alert.messageText, QStringLiteral("Signed Out for This Session Only"));
    EXPECT_FALSE(storedAccount->authService().isAuthenticated());
    EXPECT_EQ(keyring.unlockCalls(), 2) << "signing out may ask once";
    EXPECT_TRUE(
        logLines().contains("[TokenStore] The secret store is unavailable; the sign-in is kept for this run only"));
    EXPECT_TRUE(logLines().contains(
        "[TokenStore] Could not remove the sign-in from the secret store; it comes back at the next launch"));

    ASSERT_TRUE(keyring.unlock());
    EXPECT_TRUE(SecretStore::get(tokenService, KeychainTokenStore::Account).value.contains("earlier-token"));
}
