#include "FakeHttpServer.h"

#include "Await.h"
#include "platform/HttpSession.h"
#include "platform/NetworkError.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

QNetworkRequest requestFor(const QUrl &url)
{
    return QNetworkRequest(url);
}

class FakeHttpServerTest : public ::testing::Test
{
protected:
    FakeHttpServer server;
    HttpSession session;

    HttpResponse get(const QString &path) { return await(session.send(requestFor(server.url(path)))); }
};

TEST_F(FakeHttpServerTest, AnswersRoutesAndRecordsRequests)
{
    server.route("POST", "/v1/items", FakeResponse::json(R"({"ok":true})", 201).withHeader("X-Trace", "7"));
    QNetworkRequest request = requestFor(server.url("/v1/items?tag=a%20b"));
    request.setRawHeader("Authorization", "Bearer abc");
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");

    const HttpResponse response = await(session.send(request, "POST", R"({"name":"x"})"));

    EXPECT_EQ(response.statusCode, 201);
    EXPECT_EQ(response.body, R"({"ok":true})");
    EXPECT_EQ(response.header("x-trace"), "7");
    ASSERT_EQ(server.requestCount(), 1);
    const RecordedRequest recorded = server.requests().first();
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.path, "/v1/items");
    EXPECT_EQ(recorded.queryValue("tag"), "a b");
    EXPECT_EQ(recorded.header("authorization"), "Bearer abc");
    EXPECT_EQ(recorded.body, R"({"name":"x"})");
}

TEST_F(FakeHttpServerTest, UnmatchedRequestsGetTheFallback)
{
    EXPECT_EQ(get("/nowhere").statusCode, 404);
    server.setFallback([](const RecordedRequest &r) { return FakeResponse::text(r.path.toUtf8(), 500); });
    const HttpResponse response = get("/elsewhere");
    EXPECT_EQ(response.statusCode, 500);
    EXPECT_EQ(response.body, "/elsewhere");
}

TEST_F(FakeHttpServerTest, QueryItemsSelectTheRouteAndTheNewestRouteWins)
{
    server.route("GET", "/list", FakeResponse::text("first page"));
    server.route("GET", "/list?page[cursor]=abc", FakeResponse::text("second page"));
    EXPECT_EQ(get("/list").body, "first page");
    EXPECT_EQ(get("/list?page%5Bcursor%5D=abc").body, "second page");
    EXPECT_EQ(get("/list?page[cursor]=other").body, "first page");

    server.route("GET", "/list", FakeResponse::text("override"));
    EXPECT_EQ(get("/list").body, "override");
}

TEST_F(FakeHttpServerTest, SequencesAnswerInTurnAndRepeatTheLast)
{
    server.routeSequence("GET", "/seq", {FakeResponse::empty(429), FakeResponse::text("done")});
    EXPECT_EQ(get("/seq").statusCode, 429);
    EXPECT_EQ(get("/seq").body, "done");
    EXPECT_EQ(get("/seq").body, "done");
}

TEST_F(FakeHttpServerTest, PatternRoutesMatchTheWholePath)
{
    server.routePattern("GET", QRegularExpression("/servers/(\\d+)"), [](const RecordedRequest &r) {
        return FakeResponse::text(r.path.section('/', 2).toUtf8());
    });
    EXPECT_EQ(get("/servers/42").body, "42");
    EXPECT_EQ(get("/servers/42/sites").statusCode, 404);
}

TEST_F(FakeHttpServerTest, SizedAndChunkedBodiesArriveWhole)
{
    const QByteArray large(200'000, 'x');
    server.route("GET", "/sized", FakeResponse::text(large));
    server.route("GET", "/chunked", FakeResponse::text("chunked body of some length").asChunked());
    EXPECT_EQ(get("/sized").body, large);
    EXPECT_EQ(get("/chunked").body, "chunked body of some length");
}

TEST_F(FakeHttpServerTest, KeepAliveReusesOneConnection)
{
    server.route("GET", "/a", FakeResponse::text("a"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(get("/a").body, "a");
    }
    EXPECT_EQ(server.connectionCount(), 1);
}

TEST_F(FakeHttpServerTest, ServesConcurrentClients)
{
    server.route("GET", "/slow", FakeResponse::text("slow").withDelay(50ms));
    QList<QTcpSocket *> sockets;
    for (int i = 0; i < 5; ++i) {
        auto *socket = new QTcpSocket(&server);
        socket->connectToHost(QHostAddress::LocalHost, server.port());
        ASSERT_TRUE(socket->waitForConnected(5000));
        socket->write("GET /slow HTTP/1.1\r\nHost: x\r\n\r\n");
        sockets.append(socket);
    }
    for (QTcpSocket *socket : sockets) {
        ASSERT_TRUE(QTest::qWaitFor([socket] { return socket->peek(1 << 16).contains("\r\n\r\nslow"); }, 5000));
    }
    EXPECT_EQ(server.connectionCount(), 5);
    EXPECT_EQ(server.requestCount("GET", "/slow"), 5);
}

TEST_F(FakeHttpServerTest, ChunkedRequestBodiesAreDecoded)
{
    server.route("PUT", "/upload", FakeResponse::empty(204));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write(
        "PUT /upload HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n2\r\nef\r\n0\r\n\r\n");
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.requestCount() == 1; }, 5000));
    EXPECT_EQ(server.requests().first().body, "abcdef");
}

TEST_F(FakeHttpServerTest, FaultsReachTheClientAsNetworkErrors)
{
    server.route("GET", "/drop", FakeResponse::drop());
    server.route("GET", "/truncated", FakeResponse::text(QByteArray(1000, 'y')).truncatedAfter(10));
    server.route("GET", "/stall", FakeResponse::stall());
    session.setIdleTimeout(300ms);

    const auto codeOf = [this](const QString &path) {
        try {
            get(path);
        } catch (const NetworkError &error) {
            return error.code();
        }
        return NetworkError::Code::Unknown;
    };
    EXPECT_EQ(codeOf("/drop"), NetworkError::Code::NetworkConnectionLost);
    EXPECT_EQ(codeOf("/truncated"), NetworkError::Code::NetworkConnectionLost);
    EXPECT_EQ(codeOf("/stall"), NetworkError::Code::TimedOut);
}

} // namespace
