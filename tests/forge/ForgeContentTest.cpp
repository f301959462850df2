#include "ForgeClientFixture.h"
#include "core/RequestBodies.h"
#include "platform/NetworkError.h"

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;
using Case = ForgeAPIError::Case;

namespace {

class ForgeContentTest : public ForgeOneSiteTest
{
protected:
    void SetUp() override
    {
        ForgeOneSiteTest::SetUp();
        site = forge.site(siteId);
    }

    FakeForge::Site *site = nullptr;
};

TEST_F(ForgeContentTest, ReadsTheSiteTextsAndNeverLogsThem)
{
    setVerbose(true);
    site->environment = QStringLiteral("APP_KEY=base64:topsecret\n");
    site->nginxConfig = QStringLiteral("server { listen 8443; }\n");
    site->deploymentScript = QStringLiteral("php artisan migrate --force # confidential\n");
    site->applicationLog = QStringLiteral(R"({"content":"[12:00] error: token=abc123"})");

    ForgeAPIController client = controller();
    EXPECT_EQ(await(client.fetchEnvironment(serverId, siteId, slug)), site->environment);
    EXPECT_EQ(await(client.fetchNginxConfig(serverId, siteId, slug)), site->nginxConfig);
    EXPECT_EQ(await(client.fetchDeploymentScript(serverId, siteId, slug)), site->deploymentScript);
    EXPECT_EQ(await(client.fetchSiteLog(serverId, siteId, slug)), site->applicationLog);
    EXPECT_EQ(await(client.fetchServerLog(serverId, slug, QStringLiteral("nginx-error"))),
              forge.servers().front().nginxErrorLog);
    EXPECT_EQ(forge.requestCount("GET", QStringLiteral("/api/orgs/org-1/servers/%1/logs/nginx-error").arg(serverId)),
              1);

    const QString log = newLog();
    for (const char *secret : {"topsecret", "8443", "confidential", "abc123", "upstream timed out"}) {
        EXPECT_FALSE(log.contains(QLatin1String(secret))) << secret;
    }
    EXPECT_TRUE(log.contains("HTTP 200 " + siteRoute("/environment") + "?"));
}

TEST_F(ForgeContentTest, EmptyTextsAreNormalResults)
{
    site->environment.clear();
    EXPECT_EQ(await(controller().fetchEnvironment(serverId, siteId, slug)), QString());
}

TEST_F(ForgeContentTest, TheDeploymentLogIsThatOfTheFirstListedDeployment)
{
    site->deployments.clear();
    FakeForge::Deployment older;
    older.id = QStringLiteral("11");
    older.output = QStringLiteral("old output");
    forge.addDeployment(siteId, older);
    FakeForge::Deployment newer;
    newer.id = QStringLiteral("12");
    newer.output = QStringLiteral("new output");
    forge.addDeployment(siteId, newer);

    const auto deployments = await(controller().fetchDeployments(serverId, siteId, slug));
    ASSERT_EQ(deployments.size(), 2);
    EXPECT_EQ(deployments[0].id, "12");
    EXPECT_EQ(deployments[0].attributes.status, "finished");

    EXPECT_EQ(await(controller().fetchDeploymentLog(serverId, siteId, slug)), "new output");
    EXPECT_EQ(forge.requestCount("GET", siteRoute("/deployments/12/log")), 1);
    EXPECT_EQ(forge.requestCount("GET", siteRoute("/deployments/11/log")), 0);
}

TEST_F(ForgeContentTest, ASiteWithoutDeploymentsHasNoLog)
{
    site->deployments.clear();
    EXPECT_EQ(forgeErrorOf(controller().fetchDeploymentLog(serverId, siteId, slug)), Case::NotFound);
    EXPECT_EQ(forge.requests().size(), 1);

    forge.addDeployment(siteId);
    forge.failNext("GET", siteRoute("/deployments/" + site->deployments.first().id + "/log"), forge.errorResponse(404));
    EXPECT_EQ(forgeErrorOf(controller().fetchDeploymentLog(serverId, siteId, slug)), Case::NotFound);
}

TEST_F(ForgeContentTest, OnlyTheFirstPageOfDeploymentsIsRead)
{
    for (int i = 0; i < 40; ++i) {
        forge.addDeployment(siteId);
    }
    EXPECT_EQ(await(controller().fetchDeployments(serverId, siteId, slug)).size(), 30);
    EXPECT_EQ(forge.requests().size(), 1);
}

TEST_F(ForgeContentTest, ADeploymentIdThatIsNoNumberIsStillItsPathSegment)
{
    FakeForge::Deployment odd;
    odd.id = QStringLiteral("dep-7");
    odd.output = QStringLiteral("odd output");
    forge.addDeployment(siteId, odd);
    EXPECT_EQ(await(controller().fetchDeploymentLog(serverId, siteId, slug)), "odd output");
}

TEST_F(ForgeContentTest, FailuresOfContentCallsArePassedOn)
{
    forge.failNext("GET", siteRoute("/nginx"), forge.errorResponse(500));
    EXPECT_EQ(forgeErrorOf(controller().fetchNginxConfig(serverId, siteId, slug)), Case::InternalServerError);

    forge.failNext("GET", siteRoute("/nginx"), FakeResponse::json(R"({"data":{"id":"1","type":"x","attributes":{}}})"));
    try {
        await(controller().fetchNginxConfig(serverId, siteId, slug));
        ADD_FAILURE() << "content without its text must not decode";
    } catch (const DecodingError &error) {
        EXPECT_EQ(error.path(), "data.attributes.content");
    }
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Decoding failed for type JSONAPISingleResponse<ContentAttributes>"));

    forge.failNext("GET", siteRoute("/environment"), FakeResponse::stall(), 2);
    try {
        await(controller().fetchEnvironment(serverId, siteId, slug));
        ADD_FAILURE() << "two time-outs must fail";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::TimedOut);
    }
    EXPECT_EQ(forge.requestCount("GET", siteRoute("/environment")), 2);
}

TEST_F(ForgeContentTest, EditorSavesGoThroughRequestVoid)
{
    const QString path = ForgeAPIController::sitePath(serverId, siteId, slug);
    await(controller().requestVoid(path + "/environment", HTTPMethod::PUT, EnvUpdateBody{QStringLiteral("A=2\n")}));
    await(controller().requestVoid(path + "/nginx", HTTPMethod::PUT, NginxUpdateBody{QStringLiteral("server {}\n")}));
    await(controller().requestVoid(
        path + "/deployments/script", HTTPMethod::PUT, DeploymentScriptBody{QStringLiteral("echo hi\n")}));
    await(controller().requestVoid(
        path + "/commands", HTTPMethod::POST, CommandBody{QStringLiteral("php artisan optimize:clear")}));
    EXPECT_EQ(site->environment, "A=2\n");
    EXPECT_EQ(site->nginxConfig, "server {}\n");
    EXPECT_EQ(site->deploymentScript, "echo hi\n");
    EXPECT_EQ(site->commands, QStringList{"php artisan optimize:clear"});
}

} // namespace
