#include "account/AuthManager.h"

#include "AccountTestSupport.h"
#include "Await.h"
#include "FakeAccountBackend.h"
#include "RecordingUrlOpener.h"
#include "account/APIClient.h"
#include "account/AuthService.h"
#include "account/DeviceInfo.h"
#include "account/KeychainTokenStore.h"
#include "account/ServiceContainer.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;

namespace {

using Result = AuthManager::Result;

// What one sign-in's completion received.
struct Outcome
{
    int calls = 0;
    std::optional<Result> result;

    AuthManager::Completion completion()
    {
        return [this](const Result &received) {
            ++calls;
            result = received;
        };
    }

    std::optional<AuthError::Case> errorCase() const
    {
        const AuthError *error = result ? std::get_if<AuthError>(&*result) : nullptr;
        return error ? std::optional(error->errorCase()) : std::nullopt;
    }
};

class AuthManagerTest : public AccountBackendTest
{
protected:
    ServiceContainer services{client, makeStore(), defaults};
    RecordingUrlOpener browser;
    int activations = 0;
    std::function<QString()> webBase = [this] { return backend.webBase(); };
    AuthManager manager{services, browser, defaults, [this] { return webBase(); }, [this] { ++activations; }};
    AuthStateSpy posts;

    QString storedState() const { return defaults.string(AuthManager::StateKey); }

    // What the browser does with the sign-in page: follow it to the address it sends the browser to.
    QUrl visitSignInPage(const QUrl &page)
    {
        QNetworkRequest request(page);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        const HttpResponse response = await(session.send(request));
        EXPECT_EQ(response.statusCode, 302);
        return QUrl::fromEncoded(response.header("location"));
    }

    QUrl callback(const QString &query) const { return QUrl("plimsy://auth/callback?" + query); }

    void expectSignedOut()
    {
        EXPECT_FALSE(services.authService().isAuthenticated());
        EXPECT_EQ(services.authService().currentUser(), std::nullopt);
        EXPECT_EQ(posts.count, 0);
        EXPECT_EQ(activations, 0);
    }
};

TEST_F(AuthManagerTest, OpensTheSignInPageWithItsItemsInOrder)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());

    ASSERT_EQ(browser.opened.size(), 1);
    const QUrl page = browser.opened.first();
    EXPECT_EQ(page.adjusted(QUrl::RemoveQuery).toString(), backend.webBase() + "/auth/app");
    const auto items = QUrlQuery(page).queryItems(QUrl::FullyDecoded);
    QStringList names;
    for (const auto &item : items) {
        names.append(item.first);
    }
    EXPECT_EQ(names,
              QStringList({"state", "redirect_uri", "device_identifier", "device_name", "os_version", "app_version"}));
    const QString state = items.value(0).second;
    EXPECT_EQ(state, storedState());
    EXPECT_EQ(state.size(), 36);
    EXPECT_EQ(state, state.toUpper());
    EXPECT_EQ(items.value(1).second, "plimsy://auth/callback");
    EXPECT_EQ(items.value(2).second, hardwareUUID());
    EXPECT_EQ(items.value(3).second, SystemInfo::computerName());
    EXPECT_FALSE(items.value(3).second.isEmpty());
    EXPECT_EQ(items.value(4).second, SystemInfo::osVersion());
    EXPECT_EQ(items.value(5).second, appVersion());
    EXPECT_TRUE(manager.isWaiting());
    EXPECT_EQ(outcome.calls, 0);
}

TEST_F(AuthManagerTest, ACompleteSignInStoresTheTokenAndUserAndAnnouncesIt)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    const QUrl returned = visitSignInPage(browser.opened.value(0));

    manager.handleCallback(returned);

    ASSERT_EQ(outcome.calls, 1);
    const AuthResponse *response = std::get_if<AuthResponse>(&*outcome.result);
    ASSERT_NE(response, nullptr);
    const User expected{backend.user().id, backend.user().email, backend.user().name};
    EXPECT_EQ(response->user, expected);
    EXPECT_TRUE(backend.isValidToken(response->accessToken));
    EXPECT_EQ(services.tokenStore().accessToken(), response->accessToken);
    EXPECT_EQ(makeStore()->accessToken(), response->accessToken);
    EXPECT_TRUE(services.authService().isAuthenticated());
    EXPECT_EQ(services.authService().currentUser(), expected);
    EXPECT_EQ(posts.count, 1);
    EXPECT_EQ(activations, 1);
    EXPECT_FALSE(defaults.contains(AuthManager::StateKey));
    EXPECT_FALSE(manager.isWaiting());
}

TEST_F(AuthManagerTest, OnlyStateAndTokenGiveAnEmptyUser)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    manager.handleCallback(callback("state=" + storedState() + "&access_token=tok"));
    ASSERT_EQ(outcome.calls, 1);
    EXPECT_EQ(std::get<AuthResponse>(*outcome.result), (AuthResponse{User{}, "tok"}));
}

TEST_F(AuthManagerTest, ACallbackNobodyStartedIsRejected)
{
    manager.handleCallback(callback("access_token=forged&user_id=666&email=evil%40example.com"));
    manager.handleCallback(callback("state=&access_token=forged"));
    expectSignedOut();
}

TEST_F(AuthManagerTest, AReplayedCallbackIsRejected)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    const QUrl returned = visitSignInPage(browser.opened.value(0));
    manager.handleCallback(returned);
    ASSERT_TRUE(services.authService().isAuthenticated());
    services.tokenStore().clear();
    posts.count = 0;
    activations = 0;

    manager.handleCallback(returned);
    EXPECT_FALSE(services.authService().isAuthenticated());
    EXPECT_EQ(posts.count, 0);
}

TEST_F(AuthManagerTest, AMismatchedStateFailsAndSpendsTheStoredState)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    const QString state = storedState();

    manager.handleCallback(callback("state=" + state.toLower() + "&access_token=tok"));
    EXPECT_EQ(outcome.errorCase(), AuthError::Case::StateMismatch);
    EXPECT_EQ(std::get<AuthError>(*outcome.result).userMessage(), "Authentication failed. Please try again.");
    EXPECT_FALSE(defaults.contains(AuthManager::StateKey));

    manager.handleCallback(callback("state=" + state + "&access_token=tok"));
    EXPECT_EQ(outcome.calls, 1);
    expectSignedOut();
}

class AuthManagerMalformedTest : public AuthManagerTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(AuthManagerMalformedTest, FailsWithUnknownAndKeepsTheState)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    const QString state = storedState();
    manager.handleCallback(QUrl(QString::fromLatin1(GetParam()).arg(state)));
    EXPECT_EQ(outcome.errorCase(), AuthError::Case::Unknown);
    EXPECT_EQ(storedState(), state);
    expectSignedOut();
}

INSTANTIATE_TEST_SUITE_P(Addresses,
                         AuthManagerMalformedTest,
                         ::testing::Values("plimsy://evil/callback?state=%1&access_token=tok",
                                           "plimsy://auth/not-the-callback?state=%1&access_token=tok",
                                           "plimsy://auth/callback/extra?state=%1&access_token=tok",
                                           "https://auth/callback?state=%1&access_token=tok",
                                           "plimsy://auth?state=%1&access_token=tok",
                                           "http://[::1/callback?state=%1"));

struct CallbackRow
{
    const char *name;
    const char *items; // after "state=<stored>&"
    AuthError::Case expected;
    const char *message;
};

void PrintTo(const CallbackRow &row, std::ostream *out)
{
    *out << row.name;
}

class AuthManagerCallbackErrorTest : public AuthManagerTest, public ::testing::WithParamInterface<CallbackRow>
{
};

TEST_P(AuthManagerCallbackErrorTest, FailsWithoutStoringAnything)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    manager.handleCallback(callback("state=" + storedState() + "&" + GetParam().items));
    EXPECT_EQ(outcome.errorCase(), GetParam().expected);
    EXPECT_EQ(std::get<AuthError>(*outcome.result).userMessage(), GetParam().message);
    EXPECT_EQ(services.tokenStore().accessToken(), std::nullopt);
    expectSignedOut();
}

INSTANTIATE_TEST_SUITE_P(
    Items,
    AuthManagerCallbackErrorTest,
    ::testing::Values(
        CallbackRow{"SpentLink",
                    "error=invalid_token",
                    AuthError::Case::InvalidToken,
                    "This sign-in link has expired or was already used. Please request a new one."},
        CallbackRow{"OtherError", "error=access_denied", AuthError::Case::ServerError, "Server error (0)"},
        CallbackRow{"ErrorBesideToken", "access_token=tok&error=", AuthError::Case::ServerError, "Server error (0)"},
        CallbackRow{"NoToken", "user_id=1", AuthError::Case::Unknown, "An unknown error occurred"},
        CallbackRow{"LaterEmptyTokenWins",
                    "access_token=tok&access_token=",
                    AuthError::Case::Unknown,
                    "An unknown error occurred"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(AuthManagerTest, ASpentLinkFromTheBackendFailsTheSignIn)
{
    backend.setSignInError(QStringLiteral("invalid_token"));
    Outcome outcome;
    manager.startLogin(outcome.completion());
    manager.handleCallback(visitSignInPage(browser.opened.value(0)));
    EXPECT_EQ(outcome.errorCase(), AuthError::Case::InvalidToken);
    expectSignedOut();
}

TEST_F(AuthManagerTest, ASecondSignInCancelsTheFirstAndOnlyItsStateCounts)
{
    Outcome first;
    Outcome second;
    manager.startLogin(first.completion());
    const QString firstState = storedState();
    manager.startLogin(second.completion());

    EXPECT_EQ(first.errorCase(), AuthError::Case::Cancelled);
    EXPECT_EQ(std::get<AuthError>(*first.result).userMessage(), "Sign in was cancelled");
    EXPECT_EQ(second.calls, 0);
    EXPECT_NE(storedState(), firstState);
    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(QUrlQuery(browser.opened.value(1)).queryItemValue("state"), storedState());

    manager.handleCallback(visitSignInPage(browser.opened.value(1)));
    EXPECT_EQ(first.calls, 1);
    ASSERT_EQ(second.calls, 1);
    EXPECT_TRUE(std::holds_alternative<AuthResponse>(*second.result));
}

TEST_F(AuthManagerTest, CancellingReportsCancelledAndTheLateCallbackFails)
{
    Outcome outcome;
    manager.startLogin(outcome.completion());
    const QUrl page = browser.opened.value(0);

    manager.cancelLogin();
    EXPECT_EQ(outcome.errorCase(), AuthError::Case::Cancelled);
    EXPECT_FALSE(defaults.contains(AuthManager::StateKey));
    EXPECT_FALSE(manager.isWaiting());

    manager.handleCallback(visitSignInPage(page));
    EXPECT_EQ(outcome.calls, 1);
    expectSignedOut();
}

TEST_F(AuthManagerTest, ACompletionWhoseCallerIsGoneIsSkipped)
{
    Outcome outcome;
    auto caller = std::make_unique<QObject>();
    manager.startLogin(caller.get(), outcome.completion());
    caller.reset();
    manager.handleCallback(visitSignInPage(browser.opened.value(0)));
    EXPECT_EQ(outcome.calls, 0);
    EXPECT_FALSE(manager.isWaiting());
    EXPECT_TRUE(services.authService().isAuthenticated()) << "the sign-in itself still completes";
}

TEST_F(AuthManagerTest, AnUnusableWebAddressFailsAtOnce)
{
    webBase = [] { return QStringLiteral("not a web address"); };
    Outcome outcome;
    manager.startLogin(outcome.completion());
    EXPECT_EQ(outcome.errorCase(), AuthError::Case::InvalidURL);
    EXPECT_TRUE(browser.opened.isEmpty());
    EXPECT_FALSE(manager.isWaiting());
}

TEST_F(AuthManagerTest, TheContainerPostsAfterA401WithoutSigningOut)
{
    services.tokenStore().setAccessToken("revoked");
    EXPECT_THROW(await(services.authService().webSessionURL(std::nullopt)), AuthError);
    ASSERT_TRUE(QTest::qWaitFor([this] { return posts.count == 1; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(posts.count, 1);
    EXPECT_TRUE(services.authService().isAuthenticated());
}

} // namespace
