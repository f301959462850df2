#include "app/StartupCoordinator.h"

#include "Await.h"
#include "FakeAlertPresenter.h"
#include "ShellTestSupport.h"
#include "core/Account.h"
#include "core/AccountManager.h"
#include "core/NotificationNames.h"
#include "menu/StatusMenuController.h"
#include "onboarding/OnboardingWindowController.h"
#include "onboarding/WelcomeWindowController.h"
#include "platform/DockVisibilityManager.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class StartupFixture
{
protected:
    StartupFixture()
    {
        StatusMenuServices menuServices;
        menuServices.defaults = &defaults;
        menuServices.alerts = &alerts;
        menuServices.authService = &auth;
        menuServices.makePreferencesWindow = preferences.factory();
        controller = std::make_unique<StatusMenuController>(appState, menuServices);
        StatusMenuControllerHolder::shared().controller = controller.get();
    }

    StartupCoordinator makeCoordinator()
    {
        return StartupCoordinator({&defaults, &auth, &alerts, onboarding.factory(), welcome.factory()});
    }

    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("Plimsy.conf"))};
    FakeAlertPresenter alerts;
    FixedAuthService auth;
    AppState appState;
    WindowLog onboarding;
    WindowLog welcome;
    WindowLog preferences;
    std::unique_ptr<StatusMenuController> controller;
};

struct RoutingRow
{
    const char *name;
    bool hasCompletedOnboarding;
    bool hasAccount;
    bool isSignedIn;
    bool hasSeenWelcome;
    AppReadiness readiness;
    // What handling it does: the onboarding window, the welcome window, or the first refresh.
    int onboardingShown;
    int welcomeShown;
    bool refreshes;
    bool completedOnboardingAfter;
};

void PrintTo(const RoutingRow &row, std::ostream *out)
{
    *out << row.name;
}

class StartupRoutingTest : public StartupFixture, public ::testing::TestWithParam<RoutingRow>
{
};

TEST_P(StartupRoutingTest, RoutesOnLocalStateOnly)
{
    const RoutingRow &row = GetParam();
    defaults.setValue(QLatin1String(StartupCoordinator::CompletedOnboardingKey), row.hasCompletedOnboarding);
    defaults.setValue(QLatin1String(StartupCoordinator::SeenWelcomeKey), row.hasSeenWelcome);
    if (row.hasAccount) {
        Account account;
        account.name = QStringLiteral("Main");
        account.uuid = QStringLiteral("0F6B1A2C-3D4E-4F50-8A9B-0C1D2E3F4A5B");
        AccountManager::saveAccounts({account}, defaults);
    }
    auth.signedIn = row.isSignedIn;
    StartupCoordinator coordinator = makeCoordinator();
    const qsizetype refreshesBefore = plimsyLog().count(QStringLiteral("updateServers()"));

    const AppReadiness readiness = await(coordinator.checkReadiness());
    coordinator.handle(readiness);

    EXPECT_EQ(readiness, row.readiness);
    EXPECT_EQ(onboarding.shown, row.onboardingShown);
    EXPECT_EQ(welcome.shown, row.welcomeShown);
    EXPECT_EQ(plimsyLog().count(QStringLiteral("updateServers()")) > refreshesBefore, row.refreshes);
    EXPECT_EQ(defaults.boolValue(QLatin1String(StartupCoordinator::CompletedOnboardingKey)),
              row.completedOnboardingAfter);
    EXPECT_EQ(defaults.boolValue(QLatin1String(StartupCoordinator::SeenWelcomeKey)),
              row.hasSeenWelcome || row.readiness == AppReadiness::NeedsAuth);
}

INSTANTIATE_TEST_SUITE_P(
    Startup,
    StartupRoutingTest,
    ::testing::Values(
        RoutingRow{"freshProfile", false, false, false, false, AppReadiness::NeedsOnboarding, 1, 0, false, false},
        RoutingRow{
            "accountButOnboardingUnfinished", false, true, false, false, AppReadiness::NeedsAuth, 0, 1, false, true},
        // Signed in without any Forge account: never the onboarding.
        RoutingRow{"signedInWithoutAccounts", false, false, true, false, AppReadiness::Ready, 0, 0, true, true},
        // Signed out, the welcome comes every time, seen before or not.
        RoutingRow{"signedOutWelcomeSeen", true, false, false, true, AppReadiness::NeedsAuth, 0, 1, false, true},
        RoutingRow{"signedInWithAccount", true, true, true, true, AppReadiness::Ready, 0, 0, true, true}),
    [](const auto &info) { return std::string(info.param.name); });

class StartupWindowsTest : public StartupFixture, public ::testing::Test
{
};

TEST_F(StartupWindowsTest, OnboardingIsMadeOnceAndTheAPIKeySetupIsAnsweredOncePerRequest)
{
    StartupCoordinator coordinator = makeCoordinator();
    coordinator.showOnboarding();
    coordinator.showOnboarding();
    EXPECT_EQ(onboarding.made, 1);
    EXPECT_EQ(onboarding.shown, 2);

    // Answered before any welcome, and once per request however many welcomes were shown.
    NotificationCenter::defaultCenter().post(NotificationNames::showAPIKeySetup);
    EXPECT_EQ(preferences.shown, 1);
    coordinator.showWelcome();
    coordinator.showWelcome();
    NotificationCenter::defaultCenter().post(NotificationNames::showAPIKeySetup);
    EXPECT_EQ(preferences.shown, 2);
    EXPECT_EQ(welcome.made, 2);
}

TEST_F(StartupWindowsTest, TheRealWindowsCountOnceWhileShownAndTheOnboardingComesBackForward)
{
    const qint64 countBefore = DockVisibilityManager::windowCount();
    StartupCoordinator coordinator({&defaults, &auth, &alerts, {}, {}});
    coordinator.handle(AppReadiness::NeedsOnboarding);
    auto *onboarding = dynamic_cast<OnboardingWindowController *>(coordinator.onboardingWindow());
    ASSERT_NE(onboarding, nullptr);
    QWidget *onboardingWindow = onboarding->window();
    EXPECT_TRUE(onboardingWindow->isVisible());
    EXPECT_EQ(onboardingWindow->windowTitle(), "Welcome to Plimsy");
    EXPECT_EQ(onboardingWindow->size(), QSize(520, 480));

    onboardingWindow->close();
    coordinator.showOnboarding();
    coordinator.showOnboarding();
    EXPECT_EQ(coordinator.onboardingWindow(), onboarding) << "kept for the process";
    EXPECT_TRUE(onboardingWindow->isVisible());
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore + 1);

    coordinator.handle(AppReadiness::NeedsAuth);
    auto *welcome = dynamic_cast<WelcomeWindowController *>(coordinator.welcomeWindow());
    ASSERT_NE(welcome, nullptr);
    EXPECT_TRUE(welcome->window()->isVisible());
    EXPECT_EQ(welcome->window()->windowTitle(), "Welcome to Plimsy");
    EXPECT_EQ(welcome->window()->size(), QSize(500, 420));
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore + 2);

    welcome->window()->close();
    onboardingWindow->close();
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore);
}

} // namespace
