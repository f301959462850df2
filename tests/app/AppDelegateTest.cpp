#include "app/AppDelegate.h"

#include "FakeAlertPresenter.h"
#include "FakeClock.h"
#include "FakeForge.h"
#include "FakeHttpServer.h"
#include "FakePushTransport.h"
#include "RecordingUrlOpener.h"
#include "account/ServiceContainer.h"
#include "account/TokenStore.h"
#include "actionbar/ActionBarDataSource.h"
#include "actionbar/ActionBarWindowController.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "app/StartupCoordinator.h"
#include "core/APIKeyManager.h"
#include "core/Account.h"
#include "core/AccountManager.h"
#include "core/Reachability.h"
#include "core/SimpleKeychain.h"
#include "menu/StatusMenuController.h"
#include "platform/MenuItems.h"
#include "platform/NetworkReachability.h"
#include "platform/UserDefaults.h"

#include <algorithm>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QThreadPool>
#include <QUuid>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The whole launch with the process-wide services, as main() runs it: the stored accounts, keys and
// sign-in are the application's own (in the test session's private keyring and defaults); the statistics
// and the account backend are a FakeHttpServer.
class AppDelegateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        forge.buildAccount(1, 2, 4);
        qputenv("PLIMSY_FORGE_API_BASE", forge.apiBase().toEncoded());
        qputenv("PLIMSY_STATS_URL", backend.url(QStringLiteral("/api/v1/stats")).toEncoded());
        qputenv("PLIMSY_API_BASE", backend.url(QStringLiteral("/v1")).toEncoded());
        backend.route("GET", QStringLiteral("/v1/announcements"), FakeResponse::empty(204));
        account.name = QStringLiteral("Main");
        account.uuid = QStringLiteral("5C1A6E0B-3D2F-4A8B-9C7D-1E2F3A4B5C6D");
    }

    void TearDown() override
    {
        for (const auto &open : alerts.open()) {
            alerts.close(open.id);
        }
        delegate.reset();
        QThreadPool::globalInstance()->waitForDone();
        ServiceContainer::shared().tokenStore().setAccessToken(std::nullopt);
        SimpleKeychain(QString::fromLatin1(APIKeyManager::Service)).removeAll(KeychainProtocol::Kind::Default);
        relayKeychain.removeAll(KeychainProtocol::Kind::Default);
        for (const char *name : {"PLIMSY_FORGE_API_BASE", "PLIMSY_STATS_URL", "PLIMSY_API_BASE", "PLIMSY_RELAY_BASE"}) {
            qunsetenv(name);
        }
    }

    void storeAccount()
    {
        AccountManager::saveAccounts({account}, defaults);
        ASSERT_TRUE(APIKeyManager::shared().setAPIKey(*account.uuid, QStringLiteral("key-main")));
    }

    AppDelegate &launch(AppDelegate::Services services = {})
    {
        services.alerts = &alerts;
        services.urlOpener = &opener;
        services.startupCoordinator = &coordinator;
        services.pushTransport = &pushTransport;
        services.relayKeychain = &relayKeychain;
        delegate = std::make_unique<AppDelegate>(services);
        delegate->loadInterface();
        delegate->applicationWillFinishLaunching();
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    // The visible top-level window of that object name, if any.
    static QWidget *shownWindow(const QString &objectName)
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == objectName && widget->isVisible()) {
                return widget;
            }
        }
        return nullptr;
    }

    // The top-level window of that object name, shown or not.
    static QWidget *builtWindow(const QString &objectName)
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        const auto found = std::find_if(
            windows.begin(), windows.end(), [&](const QWidget *widget) { return widget->objectName() == objectName; });
        return found == windows.end() ? nullptr : *found;
    }

    qsizetype orgRequests() const { return forge.requestCount("GET", QStringLiteral("/api/orgs")); }

    FakeForge forge;
    FakeHttpServer backend;
    UserDefaults &defaults = UserDefaults::standard();
    FakeAlertPresenter alerts;
    RecordingUrlOpener opener;
    StartupCoordinator coordinator{{nullptr, nullptr, &alerts, {}, {}}};
    FakePushTransport pushTransport;
    // The legacy push relay's key, in a service of this test's own.
    SimpleKeychain relayKeychain{QStringLiteral("com.tindrel.plimsy.test.relay-") + QUuid::createUuid().toString()};
    Account account;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, ASignedInUserWithAccountsGetsARefreshAndOneLaunchEvent)
{
    // An account but an unfinished onboarding: the start-up marks it done and goes on to the refresh.
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), false);
    storeAccount();
    ServiceContainer::shared().tokenStore().setAccessToken(QStringLiteral("token"));

    AppDelegate &app = launch();
    // The windows the refresh does not need are built after its requests have been started.
    EXPECT_EQ(builtWindow(QStringLiteral("actionBarPanel")), nullptr);
    EXPECT_EQ(app.state().aboutWindow, nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return app.state().siteList.size() == 4 && !app.state().isLoadingData(); }, 20'000));
    EXPECT_NE(builtWindow(QStringLiteral("actionBarPanel")), nullptr);
    EXPECT_NE(app.state().aboutWindow, nullptr);

    EXPECT_TRUE(defaults.boolValue(QStringLiteral("hasCompletedOnboarding")));
    EXPECT_EQ(app.state().serverList.size(), 2);
    QMenu *menu = app.statusMenuController().statusMenu();
    for (const FakeForge::Server &server : forge.servers()) {
        EXPECT_NE(MenuItems::findItem(menu, MenuTag::server(server.id)), nullptr) << server.name().toStdString();
    }
    EXPECT_GE(orgRequests(), 1);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return backend.requestCount("GET", QStringLiteral("/v1/announcements")) == 1; }, 20'000));
    EXPECT_EQ(backend.requestCount("POST", QStringLiteral("/api/v1/stats")), 1);
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_EQ(coordinator.onboardingWindow(), nullptr);
    EXPECT_EQ(coordinator.welcomeWindow(), nullptr);
}

// The hot key's registration (on Wayland it starts the desktop portal) and the announcement check wait for
// the first refresh's requests; offline, where none comes, only for a while.
struct DeferredRow
{
    const char *name;
    bool isOnline;
};

void PrintTo(const DeferredRow &row, std::ostream *out)
{
    *out << row.name;
}

class AppDelegateDeferredTest : public AppDelegateTest, public ::testing::WithParamInterface<DeferredRow>
{
protected:
    FakeClock clock;
    FakeSleeper sleeper{clock};
};

TEST_P(AppDelegateDeferredTest, TheHotKeyAndTheAnnouncementsWaitForTheFirstRefresh)
{
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    storeAccount();
    ServiceContainer::shared().tokenStore().setAccessToken(QStringLiteral("token"));
    sleeper.setManual(true);
    AppDelegate::Services services;
    services.sleeper = &sleeper;
    if (!GetParam().isOnline) {
        services.statusMenu.makeReachability = [] {
            auto offline = std::make_unique<NetworkReachability>(QStringLiteral("none"));
            offline->injectFlags(0);
            return std::make_unique<Reachability>(std::move(offline));
        };
    }
    const GlobalHotkeyManager &hotkeys = GlobalHotkeyManager::shared();

    launch(services);
    EXPECT_EQ(hotkeys.registrationStatus(), GlobalShortcut::Status::NotRegistered);
    if (GetParam().isOnline) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return orgRequests() >= 1; }, 20'000));
    } else {
        clock.advance(std::chrono::seconds(5));
    }
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return hotkeys.registrationStatus() != GlobalShortcut::Status::NotRegistered; }, 20'000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return backend.requestCount("GET", QStringLiteral("/v1/announcements")) == 1; }, 20'000));
    EXPECT_EQ(orgRequests() > 0, GetParam().isOnline);
}

INSTANTIATE_TEST_SUITE_P(Launch,
                         AppDelegateDeferredTest,
                         ::testing::Values(DeferredRow{"Online", true}, DeferredRow{"Offline", false}),
                         [](const ::testing::TestParamInfo<DeferredRow> &row) { return std::string(row.param.name); });

TEST_F(AppDelegateTest, AFreshProfileGetsTheOnboarding)
{
    AppDelegate &app = launch();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindow(QStringLiteral("onboardingWindow")); }, 20'000));

    QWidget *window = shownWindow(QStringLiteral("onboardingWindow"));
    EXPECT_EQ(window->windowTitle(), "Welcome to Plimsy");
    EXPECT_EQ(window->size(), QSize(520, 480));
    EXPECT_EQ(shownWindow(QStringLiteral("welcomeWindow")), nullptr);
    EXPECT_FALSE(defaults.boolValue(QStringLiteral("hasCompletedOnboarding")));
    EXPECT_EQ(orgRequests(), 0);
    EXPECT_TRUE(app.state().serverList.isEmpty());
}

// A sign-in begun before a restart: its callback finds no sign-in waiting, and still starts the refresh.
TEST_F(AppDelegateTest, ACallbackWithNoSignInWaitingStartsTheRefresh)
{
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    storeAccount();
    AppDelegate &app = launch();
    // Onboarding finished but signed out: the welcome window.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindow(QStringLiteral("welcomeWindow")); }, 20'000));
    EXPECT_EQ(shownWindow(QStringLiteral("welcomeWindow"))->size(), QSize(500, 420));
    EXPECT_EQ(shownWindow(QStringLiteral("onboardingWindow")), nullptr);
    EXPECT_EQ(orgRequests(), 0);

    defaults.setValue(QStringLiteral("authState"), QStringLiteral("STATE-BEFORE-RESTART"));
    app.handleURLs({QStringLiteral("PLIMSY://auth/callback?state=STATE-BEFORE-RESTART&access_token=wrong-scheme"),
                    QStringLiteral("plimsy://auth/callback?state=STATE-BEFORE-RESTART&access_token=tok-9&user_id=9"
                                   "&email=robin%40example.com&name=Robin")});

    EXPECT_EQ(ServiceContainer::shared().tokenStore().accessToken(), QStringLiteral("tok-9"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return app.state().siteList.size() == 4 && !app.state().isLoadingData(); }, 20'000));
    EXPECT_GE(orgRequests(), 1);
}

TEST_F(AppDelegateTest, PreferencesShowsOneWindowAndBringsItBack)
{
    AppDelegate &delegate = launch();
    delegate.statusMenuController().preferences(nullptr);
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

// A user still on the legacy relay: a device token reaches the relay with its key, as well as the store.
TEST_F(AppDelegateTest, ADeviceTokenGoesToTheLegacyRelayWhenItsKeyIsStored)
{
    qputenv("PLIMSY_RELAY_BASE", backend.url(QStringLiteral("/relay/")).toEncoded());
    backend.route("POST", QStringLiteral("/relay/device"), FakeResponse::json(R"({"success":true})"));
    ASSERT_TRUE(relayKeychain.set(QStringLiteral("relay-key"), QStringLiteral("PlimsyTollixAPIKey")));
    launch();

    Q_EMIT pushTransport.tokenReceived(QByteArray("\x00\xab\x10", 3));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return backend.requestCount("POST", QStringLiteral("/relay/device")) == 1; }, 20'000));
    // Other requests of the launch (the announcements) may come after it.
    const QList<RecordedRequest> requests = backend.requests();
    const auto relay = std::find_if(requests.cbegin(), requests.cend(), [](const RecordedRequest &request) {
        return request.path == QLatin1String("/relay/device");
    });
    ASSERT_NE(relay, requests.cend());
    const RecordedRequest &sent = *relay;
    EXPECT_EQ(sent.queryValue(QStringLiteral("token")), QStringLiteral("00ab10"));
    EXPECT_EQ(sent.header("authorization"), "Bearer relay-key");
    EXPECT_EQ(defaults.string(QStringLiteral("DeviceToken")), QStringLiteral("00ab10"));
}

// Without a tray the palette is the way to the menu's About: it opens the same window.
TEST_F(AppDelegateTest, ThePalettesAboutOpensTheMenusAboutWindow)
{
    launch();
    ActionBarWindowController palette;
    const QList<ActionBarItem> globals = ActionBarDataSource::globalItems();
    const auto about = std::find_if(globals.begin(), globals.end(), [](const ActionBarItem &item) {
        return item.type == ActionBarCommandType::about;
    });
    ASSERT_NE(about, globals.end());
    palette.executeItem(*about);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shownWindow(QStringLiteral("aboutWindow")); }, 20'000));
    EXPECT_TRUE(alerts.shown().isEmpty());
}

} // namespace
