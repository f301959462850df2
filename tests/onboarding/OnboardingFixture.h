#pragma once

#include "FakeAccountBackend.h"
#include "FlakyKeychain.h"
#include "PreferencesFixture.h"
#include "SignInPageVisitor.h"
#include "core/NotificationNames.h"
#include "onboarding/OnboardingWindowController.h"

#include <QLineEdit>
#include <QPushButton>

namespace plimsy::test {

// The browser of a sign-in: visits the sign-in page at once, or holds the address while `holds`.
class BrowserStandIn final : public UrlOpener
{
public:
    bool holds = false;
    QList<QUrl> held;
    SignInPageVisitor visitor;

    bool openUrl(const QUrl &url) override
    {
        if (holds) {
            held.append(url);
            return true;
        }
        return visitor.openUrl(url);
    }
};

// The onboarding over the Preferences fixture (its defaults, alerts, sign-in state and FakeForge), a
// FakeAccountBackend for the browser sign-in and a key store of the test's own in the real keyring.
// It starts signed out, before the onboarding was ever finished.
class OnboardingFixture : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        defaults.setValue(QStringLiteral("hasCompletedOnboarding"), false);
        setSignedIn(false);
        browser.visitor.manager = &auth;
        authManager = &auth;
        forge.buildAccount(1, 1, 1);
        forge.setValidKeys({QStringLiteral("good-key")});
        for (const auto name : {NotificationNames::authStateChanged, NotificationNames::accountsChanged}) {
            NotificationCenter::defaultCenter().addObserver(
                name, &observer, [this](const Notification &n) { posted << n.name; });
        }
    }

    void TearDown() override
    {
        onboarding.reset();
        PreferencesFixture::TearDown();
    }

    // The Preferences services with the test's real key store.
    PreferencesServices onboardingServices()
    {
        PreferencesServices s = preferencesServices();
        s.forge.apiKeys = &realKeys;
        return s;
    }

    OnboardingWindowController &openOnboarding(PreferencesServices with)
    {
        countBefore = DockVisibilityManager::windowCount();
        alertsBefore = alerts.shown().size();
        onboarding = std::make_unique<OnboardingWindowController>(with);
        onboarding->showWindow();
        QCoreApplication::processEvents();
        return *onboarding;
    }
    OnboardingWindowController &openOnboarding() { return openOnboarding(onboardingServices()); }

    // A widget of the current screen.
    template <typename T = QWidget> T *onScreen(const QString &name) const
    {
        T *found = onboarding->screen()->findChild<T *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }

    bool showsOnScreen(const QString &name) const
    {
        const QWidget *found = onboarding->screen()->findChild<QWidget *>(name);
        return found && found->isVisibleTo(onboarding->screen());
    }

    void press(const QString &name) { click(onboarding->screen(), name); }

    bool waitForStep(OnboardingStep step)
    {
        return QTest::qWaitFor([&] { return onboarding->currentStep() == step; }, 20'000);
    }

    // Signs in through the welcome screen's button and the fake backend's page.
    void signInOnWelcome()
    {
        press(QStringLiteral("signInButton"));
        ASSERT_TRUE(waitForStep(OnboardingStep::ApiKey));
    }

    void typeAccount(const QString &name, const QString &key)
    {
        onScreen<QLineEdit>(QStringLiteral("accountNameField"))->setText(name);
        QLineEdit *keyField = onScreen<QLineEdit>(QStringLiteral("apiKeyField"));
        keyField->clear();
        QTest::keyClicks(keyField, key);
    }

    // Whatever the real keyring holds for the test's key store.
    QMap<QString, QString> storedKeys() const
    {
        APIKeyManager reader(std::make_unique<SimpleKeychain>(keyService));
        reader.loadKeysIfNeeded();
        return reader.apiKeys();
    }

    qsizetype refreshesStarted() const
    {
        return logLinesStartingWith(QStringLiteral("[StatusMenu] === updateServers() STARTING")).size();
    }

    // The alerts shown since the window opened (the status menu asks for an account before).
    QStringList alertTitles() const
    {
        QStringList titles;
        for (const auto &shown : alerts.shown().mid(alertsBefore)) {
            titles << shown.alert.messageText;
        }
        return titles;
    }

    QString openAlertTitle() const
    {
        return alerts.open().isEmpty() ? QString() : alerts.open().last().alert.messageText;
    }

    FakeAccountBackend backend;
    BrowserStandIn browser;
    AuthManager auth{accountServices, browser, defaults, [this] { return backend.webBase(); }, [] {}};
    FlakyKeychain *keyStore = new FlakyKeychain(keyService);
    APIKeyManager realKeys{std::unique_ptr<FlakyKeychain>(keyStore)};
    QObject observer;
    QStringList posted;
    qint64 countBefore = 0;
    qsizetype alertsBefore = 0;
    std::unique_ptr<OnboardingWindowController> onboarding;
};

} // namespace plimsy::test
