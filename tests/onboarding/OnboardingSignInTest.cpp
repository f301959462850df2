#include "OnboardingFixture.h"
#include "onboarding/WelcomeWindowController.h"

#include <QLabel>
#include <QUrlQuery>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class OnboardingSignInTest : public OnboardingFixture
{
protected:
    // The address of the sign-in page the browser was sent to, with its one-time state.
    QString heldState() const { return QUrlQuery(browser.held.last()).queryItemValue(QStringLiteral("state")); }
};

TEST_F(OnboardingSignInTest, CancelEndsTheWaitQuietlyAndALateReturnSignsNobodyIn)
{
    openOnboarding();
    browser.holds = true;
    press("signInButton");
    EXPECT_TRUE(showsOnScreen("waitingLabel"));
    EXPECT_FALSE(showsOnScreen("signInButton"));
    ASSERT_EQ(browser.held.size(), 1);

    press("cancelSignInButton");
    QCoreApplication::processEvents();
    EXPECT_TRUE(showsOnScreen("signInButton"));
    EXPECT_FALSE(showsOnScreen("waitingLabel"));

    // The browser comes back from the abandoned sign-in after all.
    browser.visitor.openUrl(browser.held.last());
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.visitor.lastStatus != 0; }, 20'000));
    QCoreApplication::processEvents();
    EXPECT_FALSE(accountServices.authService().isAuthenticated());
    EXPECT_EQ(onboarding->currentStep(), OnboardingStep::Welcome);
    EXPECT_TRUE(alerts.shown().isEmpty());
}

TEST_F(OnboardingSignInTest, AnExpiredLinkEndsTheWaitWithTheServicesText)
{
    openOnboarding();
    backend.setSignInError(QStringLiteral("invalid_token"));
    press("signInButton");

    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.open().isEmpty(); }, 20'000));
    const Alert alert = alerts.open().last().alert;
    EXPECT_EQ(alert.messageText, "Sign In Failed");
    EXPECT_EQ(alert.informativeText, AuthError::invalidToken().userMessage());
    EXPECT_TRUE(showsOnScreen("signInButton"));
    EXPECT_EQ(onboarding->currentStep(), OnboardingStep::Welcome);
}

// The screen follows every "authStateChanged": one without a sign-in changes nothing, one with a sign-in
// moves on even from the idle screen; coming back shows an idle screen and empty fields.
TEST_F(OnboardingSignInTest, AuthStateChangesMoveOnOnlyWhenSignedInAndScreensStartAfresh)
{
    openOnboarding();
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    QCoreApplication::processEvents();
    EXPECT_EQ(onboarding->currentStep(), OnboardingStep::Welcome);

    setSignedIn(true);
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    ASSERT_TRUE(waitForStep(OnboardingStep::ApiKey));
    QPointer<QWidget> keyScreen = onboarding->screen();
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(onboarding->screen(), keyScreen) << "handed over once";

    typeAccount("Work", "good-key");
    press("backButton");
    EXPECT_EQ(onboarding->window()->windowTitle(), "Welcome to Plimsy");
    EXPECT_TRUE(showsOnScreen("signInButton"));
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    ASSERT_TRUE(waitForStep(OnboardingStep::ApiKey));
    EXPECT_TRUE(onScreen<QLineEdit>("accountNameField")->text().isEmpty());
    EXPECT_TRUE(onScreen<QLineEdit>("apiKeyField")->text().isEmpty());
    EXPECT_FALSE(onScreen<QPushButton>("continueButton")->isEnabled());
}

class WelcomeWindowTest : public OnboardingFixture
{
protected:
    void TearDown() override
    {
        welcome.reset();
        OnboardingFixture::TearDown();
    }

    WelcomeWindowController &openWelcome()
    {
        countBefore = DockVisibilityManager::windowCount();
        welcome = std::make_unique<WelcomeWindowController>(onboardingServices());
        welcome->showWindow();
        QCoreApplication::processEvents();
        return *welcome;
    }

    std::unique_ptr<WelcomeWindowController> welcome;
};

TEST_F(WelcomeWindowTest, TheUpgradeLineShowsOnlyWithStoredAccounts)
{
    for (const bool hasAccounts : {false, true}) {
        if (hasAccounts) {
            addAccount(QStringLiteral("Main"));
        }
        openWelcome();
        EXPECT_EQ(welcome->window()->size(), QSize(500, 420));
        const auto *upgrade = welcome->window()->findChild<QLabel *>(QStringLiteral("upgradeLabel"));
        EXPECT_EQ(upgrade != nullptr, hasAccounts);
        if (upgrade) {
            EXPECT_EQ(upgrade->text(), "Create an account to continue using Plimsy.");
        }
        welcome.reset();
        EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore) << "released while open";
    }
}

TEST_F(WelcomeWindowTest, AFailedSignInLeavesItOpenAndOneThatWorksClosesIt)
{
    openWelcome();
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore + 1);
    backend.setSignInError(QStringLiteral("invalid_token"));
    click(welcome->window(), QStringLiteral("signInButton"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser.visitor.lastStatus != 0; }, 20'000));
    for (int turn = 0; turn < 3; ++turn) {
        QCoreApplication::processEvents();
    }
    EXPECT_TRUE(welcome->window()->isVisible());
    EXPECT_TRUE(alerts.shown().isEmpty());

    backend.setSignInError(std::nullopt);
    QTest::keyClick(welcome->window()->findChild<QWidget *>(QStringLiteral("welcomeView")), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !welcome->window()->isVisible(); }, 20'000));
    EXPECT_TRUE(accountServices.authService().isAuthenticated());
    EXPECT_TRUE(posted.contains("authStateChanged"));
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore);
}

} // namespace
