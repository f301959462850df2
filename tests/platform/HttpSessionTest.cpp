#include "platform/HttpSession.h"

#include "Await.h"
#include "FakeHttpServer.h"
#include "platform/NetworkError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

class HttpSessionTest : public ::testing::Test
{
protected:
    FakeHttpServer server;
    HttpSession session;

    NetworkError::Code failureOf(QCoro::Task<HttpResponse> task)
    {
        try {
            await(std::move(task));
        } catch (const NetworkError &error) {
            return error.code();
        }
        ADD_FAILURE() << "no NetworkError";
        return NetworkError::Code::Unknown;
    }
};

TEST_F(HttpSessionTest, HttpErrorStatusesAreResponsesNotFailures)
{
    server.route("GET", "/missing", FakeResponse::json(R"({"message":"gone"})", 404));
    server.route("GET", "/broken", FakeResponse::html("<html>oops</html>", 500));
    const HttpResponse missing = await(session.send(QNetworkRequest(server.url("/missing"))));
    EXPECT_EQ(missing.statusCode, 404);
    EXPECT_EQ(missing.body, R"({"message":"gone"})");
    EXPECT_EQ(await(session.send(QNetworkRequest(server.url("/broken")))).statusCode, 500);
}

TEST_F(HttpSessionTest, ManualRedirectPolicyReturnsTheRedirectItself)
{
    server.route("GET", "/api/orgs", FakeResponse::empty(302).withHeader("Location", "http://127.0.0.1:1/login"));
    QNetworkRequest request(server.url("/api/orgs"));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    const HttpResponse response = await(session.send(request));
    EXPECT_EQ(response.statusCode, 302);
    EXPECT_EQ(response.header("location"), "http://127.0.0.1:1/login");
    EXPECT_EQ(server.requestCount(), 1);
}

TEST_F(HttpSessionTest, EveryRequestGoesToTheNetwork)
{
    server.route("GET", "/cacheable", FakeResponse::text("v").withHeader("Cache-Control", "max-age=3600"));
    await(session.send(QNetworkRequest(server.url("/cacheable"))));
    await(session.send(QNetworkRequest(server.url("/cacheable"))));
    EXPECT_EQ(server.requestCount("GET", "/cacheable"), 2);
}

TEST_F(HttpSessionTest, ARefusedConnectionCannotConnectToHost)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/").arg(port));
    EXPECT_EQ(failureOf(session.send(QNetworkRequest(url))), NetworkError::Code::CannotConnectToHost);
}

TEST_F(HttpSessionTest, CancellationAbortsTheTransfer)
{
    server.route("GET", "/stall", FakeResponse::stall());
    CancellationToken token;
    // Cancelled once the request is on the server, so a busy machine cannot cancel it before it is sent.
    QObject::connect(&server, &FakeHttpServer::requestReceived, &token, &CancellationToken::cancel);
    EXPECT_EQ(failureOf(session.send(QNetworkRequest(server.url("/stall")), "GET", {}, &token)),
              NetworkError::Code::Cancelled);
    EXPECT_EQ(failureOf(session.send(QNetworkRequest(server.url("/stall")), "GET", {}, &token)),
              NetworkError::Code::Cancelled);
    EXPECT_EQ(server.requestCount(), 1) << "an already cancelled token sends nothing";
}

TEST_F(HttpSessionTest, ProgressKeepsASlowTransferAlive)
{
    session.setIdleTimeout(400ms);
    server.route("GET", "/slow", FakeResponse::text("late").withDelay(150ms));
    EXPECT_EQ(await(session.send(QNetworkRequest(server.url("/slow")))).body, "late");
    server.route("GET", "/stall", FakeResponse::stall());
    EXPECT_EQ(failureOf(session.send(QNetworkRequest(server.url("/stall")))), NetworkError::Code::TimedOut);
}

} // namespace

namespace {

int networkThreads()
{
    int count = 0;
    QDirIterator tasks(QStringLiteral("/proc/self/task"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (tasks.hasNext()) {
        QFile name(tasks.next() + QStringLiteral("/comm"));
        if (name.open(QIODevice::ReadOnly) && name.readAll().startsWith("QNetworkAccess")) {
            ++count;
        }
    }
    return count;
}

} // namespace

// The process-wide session's network thread must be gone before the application object is, or its last
// events reach an application that no longer exists (a crash at exit that load brings out). Ending the
// session cancels what it still transfers, so no task waits for ever, and stops that thread.
TEST(SharedHttpSessionTest, EndingItCancelsItsTransfersAndStopsItsNetworkThread)
{
    FakeHttpServer server;
    server.route("GET", "/ok", FakeResponse::text("ok"));
    server.route("GET", "/stall", FakeResponse::stall());
    ASSERT_EQ(await(HttpSession::shared().send(QNetworkRequest(server.url("/ok")))).statusCode, 200);
    ASSERT_GE(networkThreads(), 1);

    QCoro::Task<HttpResponse> stalled = HttpSession::shared().send(QNetworkRequest(server.url("/stall")));
    ASSERT_TRUE(QTest::qWaitFor([&server] { return server.requestCount() == 2; }, 20'000));
    HttpSession::shutdownShared();

    try {
        await(std::move(stalled));
        ADD_FAILURE() << "a transfer of the ended session succeeded";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::Cancelled);
    }
    // The thread has ended its work; the kernel may list it a moment longer while it exits.
    EXPECT_TRUE(QTest::qWaitFor([] { return networkThreads() == 0; }, 20'000)) << networkThreads();
}
