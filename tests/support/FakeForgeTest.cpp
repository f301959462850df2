#include "FakeForge.h"

#include "Await.h"
#include "FakeClock.h"
#include "platform/HttpSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

class FakeForgeTest : public ::testing::Test
{
protected:
    FakeForge forge;
    HttpSession session;

    HttpResponse call(const QString &path,
                      const QByteArray &method = "GET",
                      const QByteArray &body = {},
                      const QByteArray &key = "secret")
    {
        QNetworkRequest request(QUrl(forge.apiBase().toString() + path));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (!key.isNull()) {
            request.setRawHeader("Authorization", "Bearer " + key);
        }
        request.setRawHeader("Content-Type", "application/json");
        return await(session.send(request, method, body));
    }

    static QJsonObject json(const HttpResponse &response) { return QJsonDocument::fromJson(response.body).object(); }
};

TEST_F(FakeForgeTest, ListsPageByPageThroughAbsoluteNextLinks)
{
    forge.buildAccount(1, 1, 120);
    const qint64 serverId = forge.servers().front().id;

    QString path = QStringLiteral("orgs/org-1/servers/%1/sites?page%5Bsize%5D=50").arg(serverId);
    QStringList names;
    int pages = 0;
    while (!path.isEmpty()) {
        const QJsonObject page = json(call(path));
        ++pages;
        for (const QJsonValue &site : page.value("data").toArray()) {
            names.append(site["attributes"]["name"].toString());
        }
        const QString next = page["links"]["next"].toString();
        ASSERT_TRUE(next.isEmpty() || next.startsWith(forge.apiBase().toString())) << next.toStdString();
        path = next.mid(forge.apiBase().toString().size());
    }
    EXPECT_EQ(pages, 3);
    ASSERT_EQ(names.size(), 120);
    EXPECT_EQ(names.first(), "site-0001.example.test");
    EXPECT_EQ(names.last(), "site-0120.example.test");
}

TEST_F(FakeForgeTest, OrganisationSitesNameTheirServerAndIncludeIt)
{
    forge.buildAccount(2, 3, 6);
    const QJsonObject page = json(call("orgs/org-2/sites?page%5Bsize%5D=50&include=server"));
    const QJsonArray data = page.value("data").toArray();
    ASSERT_EQ(data.size(), 2); // servers 2 of 3 belongs to org-2 and holds sites 2 and 5
    const QString serverId = data[0]["relationships"]["server"]["data"]["id"].toString();
    EXPECT_EQ(serverId, QString::number(forge.servers()[1].id));
    ASSERT_EQ(page.value("included").toArray().size(), 1);
    EXPECT_EQ(page.value("included").toArray()[0].toObject().value("id").toString(), serverId);
    EXPECT_TRUE(page["links"]["next"].isNull());
}

TEST_F(FakeForgeTest, RefusesMissingAndWrongKeysAsConfigured)
{
    forge.buildAccount(1, 0, 0);
    forge.setValidKeys({QStringLiteral("secret")});
    EXPECT_EQ(call("orgs").statusCode, 200);
    EXPECT_EQ(call("orgs", "GET", {}, QByteArray()).statusCode, 401);
    EXPECT_EQ(call("orgs", "GET", {}, "").statusCode, 401);
    forge.setInvalidKeyAnswer(FakeForge::InvalidKeyAnswer::Redirect);
    const HttpResponse redirect = call("orgs", "GET", {}, "wrong");
    EXPECT_EQ(redirect.statusCode, 302);
    EXPECT_TRUE(redirect.header("location").endsWith("/login"));
}

TEST_F(FakeForgeTest, CountsTheAllowanceAndRefusesWhenItIsUsedUp)
{
    FakeClock clock;
    forge.setClock([&clock] { return clock.now(); });
    forge.setRateLimit(FakeForge::RateLimit{2, 60s, true});
    forge.buildAccount(1, 0, 0);

    const HttpResponse first = call("orgs");
    EXPECT_EQ(first.header("x-ratelimit-remaining"), "1");
    EXPECT_EQ(first.header("x-ratelimit-reset").toLongLong(), clock.now().toSecsSinceEpoch() + 60);
    EXPECT_EQ(call("orgs").header("x-ratelimit-remaining"), "0");
    clock.advance(45s);
    const HttpResponse refused = call("orgs");
    EXPECT_EQ(refused.statusCode, 429);
    EXPECT_EQ(refused.header("retry-after"), "15");

    clock.advance(15s);
    EXPECT_EQ(call("orgs").statusCode, 200);
}

TEST_F(FakeForgeTest, FaultsAnswerTheNextRequestsOnlyThenTheModelAgain)
{
    forge.buildAccount(1, 1, 0);
    forge.failNext("GET", "/api/orgs", forge.errorResponse(503), 2);
    forge.transformNext("GET", "/api/orgs/org-1/servers", [](FakeResponse r) { return r.truncatedAfter(20); });

    const HttpResponse maintenance = call("orgs");
    EXPECT_EQ(maintenance.statusCode, 503);
    EXPECT_TRUE(maintenance.header("content-type").startsWith("text/html"));
    EXPECT_EQ(call("orgs").statusCode, 503);
    EXPECT_EQ(call("orgs").statusCode, 200);
    EXPECT_THROW(call("orgs/org-1/servers"), std::exception); // announced length never arrives
    EXPECT_EQ(json(call("orgs/org-1/servers")).value("data").toArray().size(), 1);
}

TEST_F(FakeForgeTest, WritesChangeTheModelAndBadBodiesAreRefused)
{
    forge.buildAccount(1, 1, 1);
    const FakeForge::Server &server = forge.servers().front();
    const FakeForge::Site &site = forge.sites().front();
    const QString sitePath = QStringLiteral("orgs/org-1/servers/%1/sites/%2").arg(server.id).arg(site.id);

    EXPECT_EQ(call(sitePath + "/environment", "PUT", R"({"environment":"A=1\n"})").statusCode, 204);
    EXPECT_EQ(json(call(sitePath + "/environment")).value("data")["attributes"]["content"].toString(), "A=1\n");
    EXPECT_EQ(call(sitePath + "/webhooks", "POST", R"({"url":"https://hooks.test/1"})").statusCode, 201);
    ASSERT_EQ(site.webhooks.size(), 1);
    EXPECT_EQ(call(sitePath + "/webhooks/" + QString::number(site.webhooks[0].id), "DELETE").statusCode, 204);
    EXPECT_TRUE(site.webhooks.isEmpty());

    const QString serverPath = QStringLiteral("orgs/org-1/servers/%1").arg(server.id);
    EXPECT_EQ(call(serverPath + "/services/php/actions", "POST", R"({"action":"reboot","version":"php83"})").statusCode,
              202);
    EXPECT_EQ(call(serverPath + "/services/php/actions", "POST", R"({"action":"reboot"})").statusCode, 422);
    EXPECT_EQ(call(serverPath + "/ssh-keys", "POST", R"({"name":"a","key":"ssh-ed25519 A"})").statusCode, 422);
    EXPECT_EQ(server.actions, QStringList{"php:reboot:php83"});
    EXPECT_TRUE(server.sshKeys.isEmpty());

    EXPECT_EQ(call(sitePath + "/deployments", "POST").statusCode, 201);
    EXPECT_EQ(site.deployments.first().status, "deploying");
}

TEST_F(FakeForgeTest, MatchesEscapedPathSegmentsOneByOne)
{
    forge.addOrganization(QStringLiteral("R/D"), QStringLiteral("r/d"));
    const qint64 serverId = forge.addServer(QStringLiteral("r/d"), QStringLiteral("lab")).id;
    EXPECT_EQ(json(call("orgs/r%2Fd/servers")).value("data").toArray().size(), 1);
    EXPECT_EQ(call("orgs/r/d/servers").statusCode, 404);
    EXPECT_EQ(call(QStringLiteral("orgs/r%2Fd/servers/%1/logs/nginx-error").arg(serverId)).statusCode, 200);

    for (int i = 0; i < 3; ++i) {
        forge.addServer(QStringLiteral("r/d"), QStringLiteral("more-%1").arg(i));
    }
    const QString next = json(call("orgs/r%2Fd/servers?page%5Bsize%5D=2")).value("links")["next"].toString();
    EXPECT_EQ(next, forge.apiBase().toString() + "orgs/r%2Fd/servers?page%5Bnumber%5D=2&page%5Bsize%5D=2");
    EXPECT_EQ(json(call(next.mid(forge.apiBase().toString().size()))).value("data").toArray().size(), 2);
}

TEST_F(FakeForgeTest, AnswersShowChangesMadeToTheModel)
{
    forge.buildAccount(1, 1, 1);
    const QString path = QStringLiteral("orgs/org-1/servers/%1/sites").arg(forge.servers().front().id);
    EXPECT_EQ(json(call(path)).value("data").toArray().first()["attributes"]["name"].toString(),
              "site-0001.example.test");
    forge.site(forge.sites().front().id)->attributes.insert("name", "renamed.example.test");
    EXPECT_EQ(json(call(path)).value("data").toArray().first()["attributes"]["name"].toString(),
              "renamed.example.test");
}

} // namespace
