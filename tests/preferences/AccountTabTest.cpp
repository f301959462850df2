#include "FakeAccountBackend.h"
#include "FlakyKeychain.h"
#include "PreferencesFixture.h"
#include "SignInPageVisitor.h"
#include "core/NotificationNames.h"
#include "platform/PushTransport.h"
#include "preferences/NotificationsTab.h"

#include <QCheckBox>
#include <QLabel>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// A platform with a push service whose user refuses notices; it counts what it is asked.
class RefusingPushTransport final : public PushTransport
{
public:
    bool isAvailable() const override { return true; }
    QString unavailableReason() const override { return {}; }
    QCoro::Task<bool> requestAuthorization() override
    {
        ++authorizations;
        co_return false;
    }
    void registerForRemoteNotifications() override { ++registrations; }
    void unregisterForRemoteNotifications() override { ++unregistrations; }

    int authorizations = 0;
    int registrations = 0;
    int unregistrations = 0;
};

class AccountTabTest : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        visitor.manager = &auth;
        authManager = &auth;
        for (const auto name : {NotificationNames::authStateChanged, NotificationNames::accountsChanged}) {
            NotificationCenter::defaultCenter().addObserver(
                name, &observer, [this](const Notification &n) { posted << n.name; });
        }
    }

    PreferencesWindowController &openAccountTab(PreferencesServices with)
    {
        window = std::make_unique<PreferencesWindowController>(with);
        window->selectTab("Account");
        window->showWindow();
        QCoreApplication::processEvents();
        return *window;
    }

    bool shows(const QString &name) const { return find<QWidget>(name)->isVisibleTo(window.get()); }

    FakeAccountBackend backend;
    SignInPageVisitor visitor;
    AuthManager auth{accountServices, visitor, defaults, [this] { return backend.webBase(); }, [] {}};
    QObject observer;
    QStringList posted;
};

} // namespace

TEST_F(AccountTabTest, SignInShowsTheAddressAndSignOutEndsSignedOutEvenWithTheBackendDown)
{
    setSignedIn(false);
    openAccountTab(preferencesServices());
    EXPECT_TRUE(shows("signInButton"));
    EXPECT_FALSE(shows("signOutButton"));
    EXPECT_TRUE(shows("pushSignInHint"));
    EXPECT_FALSE(shows("pushSwitch"));

    click(window.get(), "signInButton");
    ASSERT_TRUE(QTest::qWaitFor([this] { return shows("emailLabel"); }, 20'000));
    EXPECT_EQ(find<QLabel>("emailLabel")->text(), "robin@example.com");
    EXPECT_TRUE(find<QWidget>("signInButton")->isEnabled());
    EXPECT_TRUE(accountServices.authService().isAuthenticated());
    EXPECT_TRUE(posted.contains("authStateChanged"));
    // Linux has no push service: the switch stays off and says why.
    EXPECT_TRUE(shows("pushSwitch"));
    EXPECT_FALSE(find<QCheckBox>("pushSwitch")->isEnabled());
    EXPECT_FALSE(find<QCheckBox>("pushSwitch")->isChecked());
    EXPECT_EQ(find<QLabel>("pushUnavailableLabel")->text(), push.unavailableReason());
    EXPECT_TRUE(shows("pushUnavailableLabel"));

    // The fixture's backend client talks to a closed port.
    posted.clear();
    click(window.get(), "signOutButton");
    ASSERT_TRUE(QTest::qWaitFor([this] { return shows("signInButton"); }, 20'000));
    EXPECT_FALSE(accountServices.authService().isAuthenticated());
    EXPECT_EQ(posted, QStringList{"authStateChanged"});
    EXPECT_TRUE(shows("pushSignInHint"));
}

TEST_F(AccountTabTest, OpeningWithPushOnSendsNothingAndAFailedSwitchGoesBack)
{
    RefusingPushTransport transport;
    PushNotificationManager refusing(
        {&transport, &defaults, &sleeper, &accountServices.authService(), &accountServices.deviceService()});
    PreferencesServices with = preferencesServices();
    with.pushManager = &refusing;
    defaults.setValue(PushNotificationManager::PushEnabledKey, true);

    openAccountTab(with);
    auto *toggle = find<QCheckBox>("pushSwitch");
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_FALSE(shows("pushUnavailableLabel"));
    QCoreApplication::processEvents();
    EXPECT_EQ(transport.authorizations + transport.unregistrations, 0);
    EXPECT_TRUE(defaults.boolValue(PushNotificationManager::PushEnabledKey));
    EXPECT_TRUE(posted.isEmpty());

    toggle->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return toggle->isEnabled(); }, 20'000));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(defaults.boolValue(PushNotificationManager::PushEnabledKey));
    EXPECT_EQ(transport.unregistrations, 1);
    EXPECT_EQ(posted, QStringList{"accountsChanged"});

    toggle->click();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
    const auto error = alerts.open().first().alert;
    EXPECT_EQ(error.messageText, "Error");
    EXPECT_EQ(error.informativeText, "Notification permission was denied");
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_EQ(transport.authorizations, 1);
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
}

TEST_F(AccountTabTest, TheLegacyKeyMovesOnlyWhenTheCopyHoldsAndItsRowGoesOnlyWithIt)
{
    using Kind = SecretStore::Kind;
    const QString item = "PlimsyTollixAPIKey";
    ASSERT_EQ(SecretStore::set(legacyService, item, "tollix-key", Kind::Legacy), SecretStore::Status::Ok);
    defaults.setValue("deviceID", "legacy-device");
    FlakyKeychain flaky(legacyService);
    flaky.writesFail = true;
    PreferencesServices with = preferencesServices();
    with.legacyRelayKeychain = &flaky;

    openAccountTab(with);
    EXPECT_TRUE(shows("legacyKeyRow"));
    EXPECT_EQ(SecretStore::get(legacyService, item, Kind::Legacy).value, "tollix-key");
    EXPECT_EQ(SecretStore::get(legacyService, item).status, SecretStore::Status::NotFound);

    click(window.get(), "removeLegacyKeyButton");
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().first().alert.messageText, "Error");
    EXPECT_TRUE(shows("legacyKeyRow"));
    EXPECT_EQ(defaults.string("deviceID"), "legacy-device");
    alerts.close(alerts.open().first().id);

    // With a working store the next refresh moves it, and then it can go.
    flaky.writesFail = false;
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    EXPECT_EQ(SecretStore::get(legacyService, item).value, "tollix-key");
    EXPECT_EQ(SecretStore::get(legacyService, item, Kind::Legacy).status, SecretStore::Status::NotFound);
    click(window.get(), "removeLegacyKeyButton");
    EXPECT_FALSE(shows("legacyKeyRow"));
    EXPECT_EQ(SecretStore::get(legacyService, item).status, SecretStore::Status::NotFound);
    EXPECT_FALSE(defaults.contains("deviceID"));
    EXPECT_TRUE(alerts.open().isEmpty());
}
