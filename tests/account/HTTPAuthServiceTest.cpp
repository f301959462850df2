#include "account/HTTPAuthService.h"

#include "AccountTestSupport.h"
#include "Await.h"
#include "FakeAccountBackend.h"
#include "account/APIClient.h"
#include "account/AuthError.h"
#include "account/DeviceInfo.h"
#include "account/KeychainTokenStore.h"
#include "platform/NetworkError.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;

namespace {

constexpr auto UserKey = "com.tindrel.plimsy.currentUser";

class HTTPAuthServiceTest : public AccountBackendTest
{
protected:
    void storeToken(const QString &token) const { makeStore()->setAccessToken(token); }

    void storeUserJson(const QByteArray &json) { defaults.setValue(UserKey, json); }

    template <typename F> AuthError authErrorOf(F &&operation)
    {
        return errorOf(std::forward<F>(operation), AuthError::unknown());
    }
};

TEST_F(HTTPAuthServiceTest, RestoresTheStoredUserOnlyWhenSignedIn)
{
    storeUserJson(R"({"id":42,"email":"a@b.c"})");
    EXPECT_EQ(HTTPAuthService(client, makeStore(), defaults).currentUser(), std::nullopt);

    storeToken("tok");
    HTTPAuthService service(client, makeStore(), defaults);
    EXPECT_TRUE(service.isAuthenticated());
    EXPECT_EQ(service.currentUser(), (User{"42", "a@b.c", ""}));

    storeUserJson(R"({"id":"42","name":"No Mail"})");
    HTTPAuthService withoutEmail(client, makeStore(), defaults);
    EXPECT_TRUE(withoutEmail.isAuthenticated()) << "a token without a readable user still counts as signed in";
    EXPECT_EQ(withoutEmail.currentUser(), std::nullopt);
    EXPECT_EQ(defaults.object(UserKey).toByteArray(), R"({"id":"42","name":"No Mail"})");
}

TEST_F(HTTPAuthServiceTest, AUserIsRestoredOnceASecretStoreThatAnsweredLateHasTheToken)
{
    storeToken("tok");
    storeUserJson(R"({"id":"7","email":"a@b.c","name":"Ann"})");
    auto flaky = std::make_unique<FlakyLookupKeychain>(keychain.name);
    flaky->failingLookups = 1; // the first use's read
    HTTPAuthService service(client, std::make_shared<KeychainTokenStore>(std::move(flaky)), defaults);
    EXPECT_FALSE(service.isAuthenticated());
    EXPECT_TRUE(service.isSignInUnavailable());

    EXPECT_TRUE(service.isAuthenticated());
    EXPECT_FALSE(service.isSignInUnavailable());
    EXPECT_EQ(service.currentUser(), (User{"7", "a@b.c", "Ann"}));
}

TEST_F(HTTPAuthServiceTest, SetCurrentUserPersistsItWithoutTouchingTheToken)
{
    HTTPAuthService service(client, makeStore(), defaults);
    AuthStateSpy posts;
    service.setCurrentUser(User{"7", "a@b.c", "Ann"});
    EXPECT_FALSE(service.isAuthenticated());
    EXPECT_EQ(QJsonDocument::fromJson(defaults.object(UserKey).toByteArray()).object(),
              QJsonObject({{"id", "7"}, {"email", "a@b.c"}, {"name", "Ann"}}));
    QCoreApplication::processEvents();
    EXPECT_EQ(posts.count, 0);
}

TEST_F(HTTPAuthServiceTest, LogoutEndsTheSessionAtTheBackendThenClearsEverythingLocal)
{
    const QString token = backend.issueToken();
    storeToken(token);
    storeUserJson(R"({"id":"7","email":"a@b.c","name":"Ann"})");
    HTTPAuthService service(client, makeStore(), defaults);
    AuthStateSpy posts;

    await(service.logout());

    const RecordedRequest sent = backend.server().requests().value(0);
    EXPECT_EQ(sent.path, "/v1/auth/logout");
    EXPECT_EQ(sent.header("authorization"), "Bearer " + token.toUtf8());
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), QJsonObject({{"device_identifier", hardwareUUID()}}));
    EXPECT_FALSE(backend.isValidToken(token));
    EXPECT_FALSE(service.isAuthenticated());
    EXPECT_EQ(service.currentUser(), std::nullopt);
    EXPECT_FALSE(defaults.contains(UserKey));
    EXPECT_EQ(SecretStore::get(keychain.name, KeychainTokenStore::Account).status, SecretStore::Status::NotFound);
    ASSERT_TRUE(QTest::qWaitFor([&posts] { return posts.count == 1; }, 5000));
}

// Other code reads the store on the GUI thread without a lock, so sign-out must clear it there too.
TEST_F(HTTPAuthServiceTest, LogoutClearsTheStoreOnTheGuiThread)
{
    class ThreadRecordingStore final : public TokenStore
    {
    public:
        std::optional<QString> token;
        QThread *clearedOn = nullptr;

        std::optional<QString> accessToken() override { return token; }
        bool setAccessToken(std::optional<QString> value) override
        {
            token = std::move(value);
            return true;
        }
        std::optional<QString> deviceId() override { return std::nullopt; }
        bool setDeviceId(std::optional<QString>) override { return true; }
        bool clear() override
        {
            token.reset();
            clearedOn = QThread::currentThread();
            return true;
        }
    };
    auto store = std::make_shared<ThreadRecordingStore>();
    store->token = backend.issueToken();
    HTTPAuthService service(client, store, defaults);

    await(service.logout());

    EXPECT_EQ(store->clearedOn, QThread::currentThread());
    EXPECT_FALSE(service.isAuthenticated());
}

TEST_F(HTTPAuthServiceTest, LogoutWithoutANetworkStillSignsOutAndPostsOnce)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    APIClient offline(session, [port] { return QStringLiteral("http://127.0.0.1:%1/v1").arg(port); });
    storeToken("tok");
    HTTPAuthService service(offline, makeStore(), defaults);
    service.setCurrentUser(User{"7", "a@b.c", "Ann"});
    AuthStateSpy posts;

    EXPECT_NO_THROW(await(service.logout()));

    EXPECT_FALSE(service.isAuthenticated());
    EXPECT_FALSE(defaults.contains(UserKey));
    EXPECT_FALSE(makeStore()->accessToken().has_value());
    ASSERT_TRUE(QTest::qWaitFor([&posts] { return posts.count == 1; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(posts.count, 1);
}

TEST_F(HTTPAuthServiceTest, ALogoutAnswered401PostsTwice)
{
    client.setOnUnauthorized([] { NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged); });
    storeToken("expired");
    HTTPAuthService service(client, makeStore(), defaults);
    AuthStateSpy posts;

    await(service.logout());

    EXPECT_FALSE(service.isAuthenticated());
    ASSERT_TRUE(QTest::qWaitFor([&posts] { return posts.count == 2; }, 5000));
}

TEST_F(HTTPAuthServiceTest, WebSessionAsksWithTheRedirectAndReturnsTheLink)
{
    const QString token = backend.issueToken();
    storeToken(token);
    HTTPAuthService service(client, makeStore(), defaults);

    const QUrl link = await(service.webSessionURL(QStringLiteral("/dashboard?tab=a&b=c+d")));
    const RecordedRequest withRedirect = backend.server().requests().value(0);
    EXPECT_EQ(withRedirect.method, "GET");
    EXPECT_EQ(withRedirect.path, "/v1/auth/web-session");
    EXPECT_EQ(withRedirect.query.queryItems(QUrl::FullyDecoded).size(), 1);
    EXPECT_EQ(withRedirect.queryValue("redirect"), "/dashboard?tab=a&b=c+d");
    EXPECT_EQ(withRedirect.header("authorization"), "Bearer " + token.toUtf8());
    EXPECT_EQ(withRedirect.header("accept"), "application/json");
    EXPECT_TRUE(link.toString().startsWith(backend.webBase() + "/auth/session/")) << link.toString().toStdString();

    await(service.webSessionURL(std::nullopt));
    EXPECT_TRUE(backend.server().requests().value(1).query.isEmpty());
    EXPECT_FALSE(backend.server().requests().value(1).rawTarget.contains('?'));
}

struct WebSessionFailure
{
    const char *name;
    FakeResponse answer;
    AuthError::Case expected;
    const char *message;
};

void PrintTo(const WebSessionFailure &row, std::ostream *out)
{
    *out << row.name;
}

class HTTPAuthServiceWebSessionTest : public HTTPAuthServiceTest,
                                      public ::testing::WithParamInterface<WebSessionFailure>
{
};

TEST_P(HTTPAuthServiceWebSessionTest, FailsWithTheMappedError)
{
    storeToken(backend.issueToken());
    HTTPAuthService service(client, makeStore(), defaults);
    backend.server().route("GET", "/v1/auth/web-session", GetParam().answer);

    const AuthError error = authErrorOf([&] { await(service.webSessionURL(QStringLiteral("/dashboard"))); });
    EXPECT_EQ(error.errorCase(), GetParam().expected);
    EXPECT_EQ(error.userMessage(), GetParam().message);
    EXPECT_TRUE(service.isAuthenticated());
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    HTTPAuthServiceWebSessionTest,
    ::testing::Values(
        WebSessionFailure{"NotAUrl",
                          FakeResponse::json(R"({"url":"not a url"})"),
                          AuthError::Case::InvalidURL,
                          "Invalid authentication URL"},
        WebSessionFailure{"ScriptUrl",
                          FakeResponse::json(R"j({"url":"javascript:alert(1)"})j"),
                          AuthError::Case::InvalidURL,
                          "Invalid authentication URL"},
        WebSessionFailure{"Expired",
                          FakeResponse::json("{}", 401),
                          AuthError::Case::ExpiredToken,
                          "Session expired. Please sign in again."},
        WebSessionFailure{
            "ServerError", FakeResponse::json("{}", 500), AuthError::Case::ServerError, "Server error (500)"},
        WebSessionFailure{
            "NotFound", FakeResponse::json("{}", 404), AuthError::Case::Unknown, "An unknown error occurred"},
        WebSessionFailure{
            "NoUrl", FakeResponse::json(R"({"link":"x"})"), AuthError::Case::Unknown, "An unknown error occurred"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(HTTPAuthServiceTest, WebSessionTransferFailuresPassThrough)
{
    backend.server().route("GET", "/v1/auth/web-session", FakeResponse::drop());
    HTTPAuthService service(client, makeStore(), defaults);
    EXPECT_THROW(await(service.webSessionURL(std::nullopt)), NetworkError);
}

} // namespace
