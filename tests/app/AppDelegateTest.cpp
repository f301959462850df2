#include "app/AppDelegate.h"

#include "FakeForge.h"
#include "account/ServiceContainer.h"
#include "account/TokenStore.h"
#include "core/APIKeyManager.h"
#include "core/Account.h"
#include "core/AccountManager.h"
#include "core/SimpleKeychain.h"
#include "menu/StatusMenuController.h"
#include "platform/MenuItems.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QMenu>
#include <QTest>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The whole launch with the process-wide services, as main() runs it: the stored accounts, keys and
// sign-in are the application's own (in the test session's private keyring and defaults).
class AppDelegateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        forge.buildAccount(1, 2, 4);
        qputenv("PLIMSY_FORGE_API_BASE", forge.apiBase().toEncoded());
        account.name = QStringLiteral("Main");
        account.uuid = QStringLiteral("5C1A6E0B-3D2F-4A8B-9C7D-1E2F3A4B5C6D");
    }

    void TearDown() override
    {
        for (const char *key : {"plimsyAccounts", "hasCompletedOnboarding", "launchedBefore"}) {
            defaults.remove(QString::fromLatin1(key));
        }
        ServiceContainer::shared().tokenStore().setAccessToken(std::nullopt);
        SimpleKeychain(QString::fromLatin1(APIKeyManager::Service)).removeAll(KeychainProtocol::Kind::Default);
        qunsetenv("PLIMSY_FORGE_API_BASE");
    }

    FakeForge forge;
    UserDefaults &defaults = UserDefaults::standard();
    Account account;
};

} // namespace

TEST_F(AppDelegateTest, ASignedInUserWithAccountsGetsARefreshAtLaunch)
{
    // An account but an unfinished onboarding: the start-up marks it done and goes on to the refresh.
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), false);
    AccountManager::saveAccounts({account}, defaults);
    ASSERT_TRUE(APIKeyManager::shared().setAPIKey(*account.uuid, QStringLiteral("key-main")));
    ServiceContainer::shared().tokenStore().setAccessToken(QStringLiteral("token"));

    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return delegate.state().siteList.size() == 4 && !delegate.state().isLoadingData(); }, 20'000));

    EXPECT_TRUE(defaults.boolValue(QStringLiteral("hasCompletedOnboarding")));
    EXPECT_EQ(delegate.state().serverList.size(), 2);
    QMenu *menu = delegate.statusMenuController().statusMenu();
    for (const FakeForge::Server &server : forge.servers()) {
        EXPECT_NE(MenuItems::findItem(menu, MenuTag::server(server.id)), nullptr) << server.name().toStdString();
    }
    EXPECT_GE(forge.requestCount("GET", QStringLiteral("/api/orgs")), 1);
}

TEST_F(AppDelegateTest, AFirstStartWithoutAccountsShowsThePreferencesWindow)
{
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    const auto preferencesWindows = [] {
        QList<QWidget *> found;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("preferencesWindow")) {
                found.append(widget);
            }
        }
        return found;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return preferencesWindows().size() == 1; }, 20'000));
    QWidget *window = preferencesWindows().first();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "General");
    EXPECT_GE(window->width(), 600);

    window->close();
    delegate.statusMenuController().preferences(nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(preferencesWindows().size(), 1);
}
