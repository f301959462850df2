#include "FakePushTransport.h"
#include "OnboardingFixture.h"
#include "core/URLConstants.h"
#include "notifications/PushNotificationError.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class OnboardingWindowTest : public OnboardingFixture
{
};

// By keyboard alone, as a person without a mouse walks it: keys go to whatever has the focus.
TEST_F(OnboardingWindowTest, AFirstRunIsWalkedByKeyboardFromSignInToTheFirstRefresh)
{
    StatusMenuServices menu = services();
    menu.forge.apiKeys = &realKeys;
    start(menu);
    networkUp();
    OnboardingWindowController &controller = openOnboarding();
    EXPECT_EQ(controller.window()->windowTitle(), "Welcome to Plimsy");
    EXPECT_EQ(controller.window()->size(), QSize(520, 480));
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore + 1);
    QWindow *keyboard = controller.window()->windowHandle();
    const auto type = [keyboard](const QString &text) {
        for (const QChar c : text) {
            QTest::keyClick(keyboard, c.toLatin1());
        }
    };
    const auto focused = [&controller] {
        const QWidget *widget = controller.window()->focusWidget();
        return widget ? widget->objectName() : QString();
    };

    QTest::keyClick(keyboard, Qt::Key_Return);
    ASSERT_TRUE(waitForStep(OnboardingStep::ApiKey));
    EXPECT_TRUE(accountServices.authService().isAuthenticated());
    EXPECT_EQ(controller.window()->windowTitle(), "Add Your Forge API Key");
    EXPECT_EQ(focused(), "accountNameField");
    // Blank texts do not count as a name or a key, so Return has nothing to press.
    type("   ");
    QTest::keyClick(keyboard, Qt::Key_Tab);
    EXPECT_EQ(focused(), "apiKeyField");
    type("  ");
    QTest::keyClick(keyboard, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(controller.currentStep(), OnboardingStep::ApiKey);
    EXPECT_TRUE(storedKeys().isEmpty());

    // Tabbing into a field selects its text, so typing replaces it.
    QTest::keyClick(keyboard, Qt::Key_Backtab, Qt::ShiftModifier);
    type("  Production ");
    QTest::keyClick(keyboard, Qt::Key_Tab);
    type("  good-key  ");
    EXPECT_EQ(onScreen<QLineEdit>("apiKeyField")->echoMode(), QLineEdit::Password);
    posted.clear();
    QTest::keyClick(keyboard, Qt::Key_Return);
    ASSERT_TRUE(waitForStep(OnboardingStep::Notifications));
    const QList<Account> accounts = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(accounts.size(), 1);
    EXPECT_EQ(accounts.first().name, "Production");
    EXPECT_EQ(storedKeys(), (QMap<QString, QString>{{*accounts.first().uuid, "good-key"}}));
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
    EXPECT_EQ(refreshesStarted(), 0) << "the refresh waits for the end of the onboarding";

    // This platform has no push service: the screen says so, offers no sign-in and only finishes.
    EXPECT_EQ(controller.window()->windowTitle(), "Stay Informed");
    EXPECT_TRUE(showsOnScreen("pushUnavailableLabel"));
    EXPECT_EQ(onScreen<QLabel>("pushUnavailableLabel")->text(), push.unavailableReason());
    EXPECT_FALSE(showsOnScreen("signInPrompt"));
    EXPECT_EQ(onScreen<QPushButton>("primaryButton")->text(), "Finish");
    EXPECT_EQ(onScreen<QLabel>("oneMoreThingLabel")->text(), "ONE MORE THING...");
    QCoreApplication::processEvents();
    EXPECT_EQ(onScreen<QScrollArea>("contentScrollArea")->verticalScrollBar()->maximum(), 0)
        << "the screen fits its window";
    posted.clear();
    QTest::keyClick(keyboard, Qt::Key_Return);

    EXPECT_TRUE(defaults.boolValue("hasCompletedOnboarding"));
    EXPECT_TRUE(posted.contains("authStateChanged"));
    EXPECT_EQ(refreshesStarted(), 1);
    EXPECT_FALSE(controller.window()->isVisible());
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore);
    EXPECT_EQ(alertTitles(), QStringList());
    waitUntilIdle();
}

TEST_F(OnboardingWindowTest, AFailingKeyLeavesNoKeyBehindAndSaveAnywayStoresANewAccount)
{
    setSignedIn(true);
    openOnboarding().showStep(OnboardingStep::ApiKey);
    typeAccount("Work", "bad-key");
    press("continueButton");
    const QStringList tried = storedKeys().keys();
    ASSERT_EQ(tried.size(), 1) << "the key is stored before the check";

    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.open().isEmpty(); }, 20'000));
    const Alert alert = alerts.open().last().alert;
    EXPECT_EQ(alert.messageText, "Validation Error");
    EXPECT_EQ(alert.informativeText,
              "Could not connect to Forge. The API key may be invalid or Forge may be temporarily unavailable.");
    EXPECT_EQ(alert.window, onboarding->window());
    EXPECT_TRUE(storedKeys().isEmpty());

    answer("Try Again");
    EXPECT_EQ(onScreen<QLineEdit>("accountNameField")->text(), "Work");
    EXPECT_EQ(onScreen<QLineEdit>("apiKeyField")->text(), "bad-key");
    EXPECT_TRUE(onScreen<QPushButton>("continueButton")->isEnabled());
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());

    press("continueButton");
    posted.clear();
    answer("Save Anyway");
    ASSERT_TRUE(waitForStep(OnboardingStep::Notifications));
    const QList<Account> accounts = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(accounts.size(), 1);
    EXPECT_NE(accounts.first().uuid, tried.first());
    EXPECT_EQ(storedKeys(), (QMap<QString, QString>{{*accounts.first().uuid, "bad-key"}}));
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
}

TEST_F(OnboardingWindowTest, AKeyTheKeyringRefusesAddsNoAccountAndTheHelpPagesOpen)
{
    setSignedIn(true);
    openOnboarding().showStep(OnboardingStep::ApiKey);
    keyStore->writesFail = true;
    typeAccount("Work", "good-key");
    press("continueButton");

    EXPECT_EQ(openAlertTitle(), "Could Not Save the API Key");
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(onboarding->currentStep(), OnboardingStep::ApiKey);
    EXPECT_TRUE(onScreen<QPushButton>("continueButton")->isEnabled());

    // The two pages the screen offers open in the browser.
    press("forgeTokenLink");
    press("apiKeyHelpLink");
    EXPECT_EQ(opener.opened, (QList<QUrl>{QUrl(forgeAPITokenURL()), QUrl(apiKeyHelpURL())}));
}

// "Back" does not stop a check under way: a working key is still kept and the walk moves on.
TEST_F(OnboardingWindowTest, ACheckThatOutlivesItsScreenStillKeepsTheAccount)
{
    setSignedIn(true);
    openOnboarding().showStep(OnboardingStep::ApiKey);
    typeAccount("Work", "good-key");
    press("continueButton");
    EXPECT_TRUE(onScreen<QPushButton>("backButton")->isEnabled());
    press("backButton");
    EXPECT_EQ(onboarding->currentStep(), OnboardingStep::Welcome);

    ASSERT_TRUE(waitForStep(OnboardingStep::Notifications));
    EXPECT_EQ(AccountManager::loadAccounts(defaults).size(), 1);
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
}

class OnboardingPushTest : public OnboardingFixture
{
protected:
    void SetUp() override
    {
        OnboardingFixture::SetUp();
        setSignedIn(true);
        start();
        networkUp();
        PreferencesServices with = onboardingServices();
        with.pushManager = &pushManager;
        openOnboarding(with).showStep(OnboardingStep::Notifications);
        EXPECT_EQ(onScreen<QPushButton>("primaryButton")->text(), "Enable Notifications");
        EXPECT_FALSE(showsOnScreen("signInPrompt"));
    }

    FakePushTransport transport;
    PushNotificationManager pushManager{
        {&transport, &defaults, &sleeper, &accountServices.authService(), &accountServices.deviceService()}};
};

// The walk ends once, however many ways reach its end while push is being switched on.
TEST_F(OnboardingPushTest, EnablingThatEndsAfterTheWalkFinishedFinishesNothingAgain)
{
    transport.permission.reset();
    press("primaryButton");
    EXPECT_FALSE(onScreen<QPushButton>("primaryButton")->isEnabled());
    EXPECT_FALSE(onScreen<QPushButton>("backButton")->isEnabled());
    EXPECT_FALSE(onScreen<QPushButton>("maybeLaterButton")->isEnabled());

    onboarding->showStep(OnboardingStep::Complete);
    EXPECT_FALSE(onboarding->window()->isVisible());
    transport.answerPermission(false);
    for (int turn = 0; turn < 5; ++turn) {
        QCoreApplication::processEvents();
    }

    EXPECT_EQ(refreshesStarted(), 1);
    EXPECT_EQ(posted.count("authStateChanged"), 1);
    EXPECT_EQ(alertTitles(), QStringList());
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore);
    waitUntilIdle();
}

TEST_F(OnboardingPushTest, AFailedEnablingIsShownAndTheWalkStillFinishes)
{
    transport.permission = false;
    press("primaryButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.open().isEmpty(); }, 20'000));
    const Alert alert = alerts.open().last().alert;
    EXPECT_EQ(alert.messageText, "Could not enable notifications");
    EXPECT_EQ(alert.informativeText, PushNotificationError::permissionDenied().userMessage());
    EXPECT_FALSE(defaults.boolValue("hasCompletedOnboarding"));

    answer("Continue Anyway");
    EXPECT_TRUE(defaults.boolValue("hasCompletedOnboarding"));
    EXPECT_FALSE(onboarding->window()->isVisible());
    EXPECT_EQ(refreshesStarted(), 1);
    EXPECT_EQ(DockVisibilityManager::windowCount(), countBefore);
    waitUntilIdle();
}

} // namespace
