#include "account/APIClient.h"

#include "AccountTestSupport.h"
#include "Await.h"
#include "FakeAccountBackend.h"
#include "core/DecodingError.h"
#include "platform/NetworkError.h"

#include <QJsonDocument>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

struct Answer
{
    QString value;

    static Answer fromJson(const QJsonObject &json, const QString &path)
    {
        if (!json.value(QLatin1String("value")).isString()) {
            throw DecodingError(path.isEmpty() ? QStringLiteral("value") : path + QStringLiteral(".value"),
                                QStringLiteral("is missing"));
        }
        return {json.value(QLatin1String("value")).toString()};
    }
};

struct Body
{
    QString deviceIdentifier;

    QJsonObject toJson() const { return {{QStringLiteral("device_identifier"), deviceIdentifier}}; }
};

class APIClientTest : public ::testing::Test
{
protected:
    FakeAccountBackend backend;
    HttpSession session;
    APIClient client{session, [this] { return backend.apiBase(); }};
    std::shared_ptr<MemoryTokenStore> store = std::make_shared<MemoryTokenStore>();

    void SetUp() override { client.setTokenStore(store); }

    RecordedRequest onlyRequest() const
    {
        EXPECT_EQ(backend.server().requestCount(), 1);
        return backend.server().requests().value(0);
    }
};

TEST_F(APIClientTest, RequestsGoUnderV1WithJsonHeadersAndTheBearerOnlyWhenSignedIn)
{
    backend.server().route("*", "/v1/auth/logout", FakeResponse::json(R"({"value":"ok"})"));
    store->token = "abc";

    await(client.sendBody(client.makeRequest("auth/logout", APIClient::Method::Post), Body{"DEVICE"}));

    const RecordedRequest sent = onlyRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/v1/auth/logout");
    EXPECT_EQ(sent.header("accept"), "application/json");
    EXPECT_EQ(sent.header("content-type"), "application/json");
    EXPECT_EQ(sent.header("authorization"), "Bearer abc");
    EXPECT_EQ(QJsonDocument::fromJson(sent.body).object(), QJsonObject({{"device_identifier", "DEVICE"}}));

    backend.server().clearRequests();
    store->token.reset();
    EXPECT_EQ(await(client.sendRequest<Answer>(client.makeRequest("auth/logout", APIClient::Method::Get))).value, "ok");
    const RecordedRequest anonymous = onlyRequest();
    EXPECT_EQ(anonymous.method, "GET");
    EXPECT_FALSE(anonymous.hasHeader("authorization"));
    EXPECT_FALSE(anonymous.hasHeader("content-type"));
    EXPECT_TRUE(anonymous.body.isEmpty());
}

TEST_F(APIClientTest, AStoreThatIsGoneSendsNoBearer)
{
    store->token = "abc";
    store.reset();
    const APIClient::Request request = client.makeRequest("forge/connect", APIClient::Method::Post);
    EXPECT_TRUE(request.request.rawHeader("Authorization").isEmpty());
}

TEST_F(APIClientTest, PathsKeepInnerSlashesAndGetOneSeparator)
{
    EXPECT_EQ(client.makeRequest("devices/push-token", APIClient::Method::Delete).url().path(),
              "/v1/devices/push-token");
    APIClient trailing(session, [this] { return backend.apiBase() + "/"; });
    EXPECT_EQ(trailing.makeRequest("auth/logout", APIClient::Method::Post).url().path(), "/v1/auth/logout");
    for (const auto &[method, text] : {std::pair{APIClient::Method::Put, "PUT"}, {APIClient::Method::Patch, "PATCH"}}) {
        EXPECT_EQ(APIClient::methodText(method), text);
    }
}

struct StatusRow
{
    const char *name;
    int status;
    APIError::Case expected;
    int payload; // the status carried, 0 for none
};

void PrintTo(const StatusRow &row, std::ostream *out)
{
    *out << row.name;
}

class APIClientStatusTest : public APIClientTest, public ::testing::WithParamInterface<StatusRow>
{
};

// Both send operations map every status alike; only sendRequest keeps the body of 403 and 409.
TEST_P(APIClientStatusTest, MapsTheStatusForBothSendOperations)
{
    const StatusRow row = GetParam();
    backend.server().route("*", "/v1/forge/connect", FakeResponse::json(R"({"message":"nope"})", row.status));

    for (const bool withBody : {false, true}) {
        SCOPED_TRACE(withBody ? "sendBody" : "sendRequest");
        try {
            APIClient::Request request = client.makeRequest("forge/connect", APIClient::Method::Post);
            if (withBody) {
                await(client.sendBody(request, Body{"D"}));
            } else {
                await(client.sendRequest<Answer>(request));
            }
            ADD_FAILURE() << "no error for " << row.status;
        } catch (const APIError &error) {
            EXPECT_EQ(error.errorCase(), row.expected);
            EXPECT_EQ(error.status(), row.payload);
            const bool keepsBody =
                !withBody && (row.expected == APIError::Case::Forbidden || row.expected == APIError::Case::Conflict);
            EXPECT_EQ(error.body(), keepsBody ? std::optional<QByteArray>(R"({"message":"nope"})") : std::nullopt);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Statuses,
                         APIClientStatusTest,
                         ::testing::Values(StatusRow{"Unauthorized", 401, APIError::Case::Unauthorized, 0},
                                           StatusRow{"Forbidden", 403, APIError::Case::Forbidden, 0},
                                           StatusRow{"NotFound", 404, APIError::Case::NotFound, 0},
                                           StatusRow{"Conflict", 409, APIError::Case::Conflict, 0},
                                           StatusRow{"Validation", 422, APIError::Case::ValidationError, 0},
                                           StatusRow{"ServerLow", 500, APIError::Case::ServerError, 500},
                                           StatusRow{"ServerHigh", 599, APIError::Case::ServerError, 599},
                                           StatusRow{"NotModified", 304, APIError::Case::HttpError, 304},
                                           StatusRow{"BadRequest", 400, APIError::Case::HttpError, 400},
                                           StatusRow{"TooMany", 429, APIError::Case::HttpError, 429},
                                           StatusRow{"Beyond", 600, APIError::Case::HttpError, 600}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(APIClientTest, AnswersWithoutTheRecordFailToDecodeButBodylessSendsSucceed)
{
    backend.server().routeSequence("*",
                                   "/v1/forge/connect",
                                   {FakeResponse::empty(204),
                                    FakeResponse::json("", 200),
                                    FakeResponse::json("[1,2]", 200),
                                    FakeResponse::json(R"({"value":)", 200),
                                    FakeResponse::json(R"({"other":1})", 200),
                                    FakeResponse::empty(204)});
    for (int i = 0; i < 5; ++i) {
        try {
            await(client.sendRequest<Answer>(client.makeRequest("forge/connect", APIClient::Method::Post)));
            ADD_FAILURE() << "answer " << i << " decoded";
        } catch (const APIError &error) {
            EXPECT_EQ(error.errorCase(), APIError::Case::DecodingError) << i;
            EXPECT_TRUE(error.userMessage().startsWith("Failed to parse response: "))
                << error.userMessage().toStdString();
            EXPECT_NE(error.cause().as<DecodingError>(), nullptr);
        }
    }
    EXPECT_NO_THROW(await(client.sendBody(client.makeRequest("forge/connect", APIClient::Method::Post), Body{"D"})));
}

TEST_F(APIClientTest, EveryUnauthorizedAnswerRunsTheHandlerOnceLaterOnTheGuiThread)
{
    int calls = 0;
    client.setOnUnauthorized([&calls] { ++calls; });
    backend.server().route("*", "/v1/forge/connect", FakeResponse::json("{}", 401));

    EXPECT_THROW(await(client.sendRequest<Answer>(client.makeRequest("forge/connect", APIClient::Method::Post))),
                 APIError);
    EXPECT_THROW(await(client.sendBody(client.makeRequest("forge/connect", APIClient::Method::Post), Body{"D"})),
                 APIError);
    ASSERT_TRUE(QTest::qWaitFor([&calls] { return calls == 2; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 2);
}

TEST_F(APIClientTest, TransferFailuresPassThroughUnchanged)
{
    session.setIdleTimeout(200ms);
    backend.server().route("*", "/v1/forge/connect", FakeResponse::stall());
    try {
        await(client.sendRequest<Answer>(client.makeRequest("forge/connect", APIClient::Method::Post)));
        ADD_FAILURE() << "a stalled answer succeeded";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::TimedOut);
    }

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    APIClient offline(session, [port] { return QStringLiteral("http://127.0.0.1:%1/v1").arg(port); });
    try {
        await(offline.sendBody(offline.makeRequest("auth/logout", APIClient::Method::Post), Body{"D"}));
        ADD_FAILURE() << "a refused connection succeeded";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::CannotConnectToHost);
    }
}

TEST_F(APIClientTest, CancellingAbortsTheTransfer)
{
    backend.server().route("*", "/v1/forge/connect", FakeResponse::stall());
    CancellationToken cancel;
    QObject::connect(&backend.server(), &FakeHttpServer::requestReceived, &cancel, [&cancel] { cancel.cancel(); });
    try {
        await(client.sendRequest<Answer>(client.makeRequest("forge/connect", APIClient::Method::Post), &cancel));
        ADD_FAILURE() << "a cancelled request succeeded";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::Cancelled);
    }
}

TEST(APIErrorTest, MessagesNameTheCaseAndNeverTheBody)
{
    EXPECT_EQ(APIError::forbidden(QByteArray("secret detail")).userMessage(), "Access denied");
    EXPECT_EQ(APIError::conflict(QByteArray("secret detail")).userMessage(), "Conflict");
    EXPECT_EQ(APIError::serverError(503).userMessage(), "Server error (503)");
    EXPECT_EQ(APIError::httpError(1000).userMessage(), "HTTP error (1000)");
    EXPECT_EQ(APIError::invalidResponse().userMessage(), "Invalid server response");
    EXPECT_EQ(APIError::unauthorized().userMessage(), "Authentication required");
    EXPECT_EQ(APIError::notFound().userMessage(), "Resource not found");
    EXPECT_EQ(APIError::validationError().userMessage(), "Invalid request");
    try {
        throw NetworkError(NetworkError::Code::TimedOut, QUrl("http://x"));
    } catch (const std::exception &) {
        const APIError error = APIError::networkError(ErrorCause::current());
        EXPECT_EQ(error.userMessage(),
                  "Network error: " + NetworkError(NetworkError::Code::TimedOut, {}).userMessage());
        ASSERT_NE(error.cause().as<NetworkError>(), nullptr);
        EXPECT_EQ(error.cause().as<NetworkError>()->code(), NetworkError::Code::TimedOut);
    }
}

TEST(APIClientDateTest, ReadsInternetDateTimesWithAndWithoutFractions)
{
    EXPECT_EQ(APIClient::decodeDate("2025-03-01T12:30:45Z", "at"),
              QDateTime(QDate(2025, 3, 1), QTime(12, 30, 45), Qt::UTC));
    EXPECT_EQ(APIClient::decodeDate("2025-03-01T12:30:45.123Z", "at"),
              QDateTime(QDate(2025, 3, 1), QTime(12, 30, 45, 123), Qt::UTC));
    EXPECT_EQ(APIClient::decodeDate("2025-03-01T14:30:45+02:00", "at").toUTC(),
              QDateTime(QDate(2025, 3, 1), QTime(12, 30, 45), Qt::UTC));
    for (const char *bad : {"2025-03-01", "2025-03-01 12:30:45Z", "yesterday", "2025-02-30T12:30:45Z"}) {
        try {
            APIClient::decodeDate(bad, "created_at");
            ADD_FAILURE() << bad << " decoded";
        } catch (const DecodingError &error) {
            EXPECT_EQ(error.path(), "created_at");
            EXPECT_EQ(error.problem(), QStringLiteral("Cannot decode date: ") + bad);
        }
    }
}

} // namespace
