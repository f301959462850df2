#include "ForgeClientFixture.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;
using Case = ForgeAPIError::Case;

namespace {

class ForgeActionsTest : public ForgeOneSiteTest
{
protected:
    FakeForge::Server &server() { return *forge.server(serverId); }
    FakeForge::Site &site() { return *forge.site(siteId); }
    QString webhooksRoute() const { return siteRoute(QStringLiteral("/webhooks")); }
    QCoro::Task<Webhook> create(const QString &url) { return controller().createWebhook(serverId, siteId, slug, url); }
};

TEST_F(ForgeActionsTest, RestartsPostTheirActions)
{
    ForgeAPIController client = controller();
    await(client.rebootServer(serverId, slug));
    await(client.rebootMySQL(serverId, slug));
    await(client.rebootNginx(serverId, slug));
    await(client.rebootPostgres(serverId, slug));
    await(client.rebootPHP(serverId, slug, QStringLiteral("8.3")));
    await(client.rebootPHP(serverId, slug, QStringLiteral("php8.2")));
    EXPECT_EQ(
        server().actions,
        (QStringList{
            "reboot", "mysql:reboot", "nginx:reboot", "postgres:reboot", "php:reboot:php83", "php:reboot:php8.2"}));
    for (const RecordedRequest &request : forge.requests()) {
        EXPECT_EQ(request.method, "POST");
    }
}

TEST_F(ForgeActionsTest, ARefusedActionIsReported)
{
    forge.failNext(
        "POST", QStringLiteral("/api/orgs/org-1/servers/%1/actions").arg(serverId), forge.errorResponse(422));
    EXPECT_EQ(forgeErrorOf(controller().rebootServer(serverId, slug)), Case::UnprocessableEntity);
    EXPECT_EQ(forge.requests().size(), 1);
    EXPECT_TRUE(server().actions.isEmpty());
}

TEST_F(ForgeActionsTest, AnSSHKeyIsSentOnOneLineUnderAStableName)
{
    clock.set(QDateTime(QDate(2026, 2, 3), QTime(14, 5, 9)));
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt)); // must not change the digits or the order
    await(
        controller().uploadSSHKey(serverId, slug, QStringLiteral("  ssh-ed25519 AAAAC3Nza\r\nC1lZDI1 dana@studio\n")));
    QLocale::setDefault(QLocale::c());

    ASSERT_EQ(server().sshKeys.size(), 1);
    const FakeForge::SshKey &key = server().sshKeys.first();
    EXPECT_EQ(key.key, "ssh-ed25519 AAAAC3Nza C1lZDI1 dana@studio");
    EXPECT_EQ(key.name, "StudioMac-20260203-140509");
    EXPECT_EQ(key.user, "forge");
    const QJsonObject body = QJsonDocument::fromJson(forge.requests().first().body).object();
    EXPECT_EQ(body.keys(), (QStringList{"key", "name", "user"}));
    EXPECT_FALSE(newLog().contains("AAAAC3Nza")) << "key material stays out of the log";
}

TEST_F(ForgeActionsTest, AComputerWithoutANameUploadsAsPlimsy)
{
    auto s = services();
    s.computerName = [] { return QString(); };
    await(ForgeAPIController(account, s).uploadSSHKey(serverId, slug, QStringLiteral("ssh-ed25519 AAAA")));
    ASSERT_EQ(server().sshKeys.size(), 1);
    EXPECT_TRUE(server().sshKeys.first().name.startsWith("Plimsy-"));
}

TEST_F(ForgeActionsTest, WebhooksWhoseIdIsNoNumberAreLeftOut)
{
    forge.failNext("GET",
                   webhooksRoute(),
                   FakeResponse::json(R"({"data":[{"id":"x1","type":"webhooks","attributes":{"url":"https://a.test"}},
                                                 {"id":"4","type":"webhooks","attributes":{"url":"https://b.test"}}]})"));
    const QList<Webhook> webhooks = await(controller().fetchWebhooks(serverId, siteId, slug));
    ASSERT_EQ(webhooks.size(), 1);
    EXPECT_EQ(webhooks[0].id, 4);
    EXPECT_EQ(webhooks[0].url, "https://b.test");
}

TEST_F(ForgeActionsTest, CreatingAWebhookPostsOnceAndReturnsItWithItsId)
{
    const Webhook created = await(create(QStringLiteral("https://hooks.example.test/site")));
    ASSERT_EQ(site().webhooks.size(), 1);
    EXPECT_EQ(created.id, site().webhooks.first().id);
    EXPECT_EQ(created.url, "https://hooks.example.test/site");
    EXPECT_EQ(forge.requestCount("POST", webhooksRoute()), 1);
    EXPECT_EQ(forge.requestCount("GET", webhooksRoute()), 2);
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{500ms}));
    EXPECT_FALSE(webhooks.isInProgress(siteId));
}

TEST_F(ForgeActionsTest, AnAddressMadeAtRunTimeIsLeftWholeByTheCreation)
{
    // Unlike a literal, a built text is shared by count: one release too many frees it under the caller.
    const QString url = QStringLiteral("https://hooks.example.test/site-") + QString::number(siteId);
    const QString expected = QStringLiteral("https://hooks.example.test/site-%1").arg(siteId);
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(await(create(url)).url, expected);
    }
    EXPECT_EQ(url, expected);
    EXPECT_EQ(forge.requestCount("POST", webhooksRoute()), 1);
}

TEST_F(ForgeActionsTest, AnExistingWebhookIsReturnedWithoutPosting)
{
    const qint64 existing = forge.addWebhook(siteId, QStringLiteral("https://hooks.example.test/site\n")).id;
    EXPECT_EQ(await(create(QStringLiteral("https://hooks.example.test/site"))).id, existing);
    EXPECT_EQ(forge.requestCount("POST", webhooksRoute()), 0);
    EXPECT_FALSE(webhooks.isInProgress(siteId));
}

TEST_F(ForgeActionsTest, AWebhookStoredTrimmedIsStillFoundAfterCreation)
{
    // Forge keeps the address without the line break it was sent with.
    forge.http().route("POST", webhooksRoute(), [this](const RecordedRequest &request) {
        const QString url = QJsonDocument::fromJson(request.body).object().value("url").toString();
        forge.addWebhook(siteId, url.trimmed());
        return FakeResponse::json("{}", 201);
    });
    const Webhook created = await(create(QStringLiteral("https://hooks.example.test/site\n")));
    EXPECT_EQ(created.url, "https://hooks.example.test/site");
    EXPECT_EQ(QJsonDocument::fromJson(forge.http().requests("POST", webhooksRoute()).first().body)["url"].toString(),
              "https://hooks.example.test/site\n")
        << "the address is sent as given";
}

TEST_F(ForgeActionsTest, AWebhookMissingAfterCreationFailsAndReleasesTheSite)
{
    forge.http().route("POST", webhooksRoute(), FakeResponse::json("{}", 201));
    EXPECT_EQ(forgeErrorOf(create(QStringLiteral("https://hooks.example.test/site"))), Case::WebhookCreationFailed);
    EXPECT_FALSE(webhooks.isInProgress(siteId));

    forge.failNext("GET", webhooksRoute(), forge.errorResponse(500));
    EXPECT_EQ(forgeErrorOf(create(QStringLiteral("https://hooks.example.test/site"))), Case::InternalServerError);
    EXPECT_FALSE(webhooks.isInProgress(siteId));
}

TEST_F(ForgeActionsTest, TwoCreationsForOneSiteSendOnePost)
{
    sleeper.setManual(true);
    QCoro::Task<Webhook> first = create(QStringLiteral("https://hooks.example.test/site"));
    QCoro::Task<Webhook> second = create(QStringLiteral("https://hooks.example.test/site"));
    // The second waits 2 s at once; the first posts, then waits 0.5 s before checking.
    ASSERT_TRUE(QTest::qWaitFor([this] { return sleeper.pending() == 2; }, 20'000));
    clock.advance(500ms);
    const Webhook created = await(std::move(first));
    clock.advance(1500ms);
    EXPECT_EQ(await(std::move(second)), created);
    EXPECT_EQ(forge.requestCount("POST", webhooksRoute()), 1);
    EXPECT_EQ(site().webhooks.size(), 1);
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{2s, 500ms}));
}

TEST_F(ForgeActionsTest, AConcurrentCreationThatFindsNothingFails)
{
    ASSERT_TRUE(webhooks.tryBegin(siteId)); // another creation is running and will not finish
    EXPECT_EQ(forgeErrorOf(create(QStringLiteral("https://hooks.example.test/site"))), Case::WebhookCreationFailed);
    EXPECT_EQ(forge.requestCount("POST", webhooksRoute()), 0);
    EXPECT_TRUE(webhooks.isInProgress(siteId)) << "the waiting road never ends the other's operation";

    // Other sites are not held up by it.
    const qint64 otherSite = forge.addSite(serverId, QStringLiteral("other.test")).id;
    await(controller().createWebhook(serverId, otherSite, slug, QStringLiteral("https://hooks.example.test/other")));
    EXPECT_EQ(forge.site(otherSite)->webhooks.size(), 1);
}

TEST_F(ForgeActionsTest, DeletingAWebhookGoesThroughRequestVoid)
{
    const qint64 id = forge.addWebhook(siteId, QStringLiteral("https://hooks.example.test/site")).id;
    await(controller().requestVoid(
        ForgeAPIController::sitePath(serverId, siteId, slug) + "/webhooks/" + QString::number(id), HTTPMethod::DELETE));
    EXPECT_TRUE(site().webhooks.isEmpty());
}

} // namespace
