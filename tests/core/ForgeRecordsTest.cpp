#include "core/ForgeAttributes.h"
#include "core/JSONAPI.h"
#include "core/LoadedRecords.h"
#include "core/Organization.h"
#include "core/RequestBodies.h"
#include "core/Server.h"
#include "core/Site.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <functional>

using namespace plimsy;

namespace {

QByteArray fixture(const char *name)
{
    QFile file(QDir(QStringLiteral(PLIMSY_CORE_FIXTURES)).filePath(QString::fromLatin1(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Encoding writes no null and decodes back to the same value.
template <typename Response> void expectRoundTrip(const Response &response)
{
    const QByteArray encoded = compact(response.toJson());
    EXPECT_FALSE(encoded.contains("null")) << encoded.toStdString();
    EXPECT_EQ(Response::decode(encoded), response);
}

TEST(ForgeFixtureTest, Organizations)
{
    const auto response = JSONAPIResponse<Organization>::decode(fixture("organizations.json"));
    ASSERT_EQ(response.data.size(), 2);
    EXPECT_EQ(response.data[0].id, "1");
    EXPECT_EQ(response.data[0].type, "organizations");
    EXPECT_EQ(response.data[0].attributes, (Organization{1, "Tindrel Labs", "tindrel-labs"}));
    EXPECT_EQ(response.data[1].attributes, (Organization{std::nullopt, "Side Projects", "side-projects"}));
    ASSERT_TRUE(response.links);
    EXPECT_EQ(response.links->next, "https://forge.example/api/orgs?page%5Bcursor%5D=b");
    EXPECT_EQ(response.links->last, std::nullopt);
    expectRoundTrip(response);
}

TEST(ForgeFixtureTest, Servers)
{
    const auto response = JSONAPIResponse<Server>::decode(fixture("servers.json"));
    ASSERT_EQ(response.data.size(), 3);
    const Server &web = response.data[0].attributes;
    EXPECT_EQ(web.id, 501);
    EXPECT_EQ(web.credentialId, 77);
    EXPECT_EQ(web.name, "web-1");
    EXPECT_EQ(web.ipAddress, "203.0.113.10");
    EXPECT_EQ(web.privateIpAddress, "10.10.0.5");
    EXPECT_EQ(web.sshPort, 22);
    EXPECT_EQ(web.dbStatus, std::nullopt);
    EXPECT_EQ(web.redisStatus, "installed");
    EXPECT_EQ(web.timezone, "Europe/Amsterdam");
    EXPECT_EQ(web.isReady, true);
    EXPECT_FALSE(web.revoked);
    EXPECT_EQ(web.accountId, std::nullopt);
    EXPECT_EQ(web.sites, std::nullopt);
    EXPECT_TRUE(response.data[1].attributes.revoked);
    EXPECT_EQ(response.data[1].attributes.isReady, std::nullopt);
    EXPECT_FALSE(response.data[2].attributes.revoked);
    EXPECT_EQ(response.links, JSONAPILinks{});
    expectRoundTrip(response);

    // "id" and "revoked" are always written, absent members never.
    const QJsonObject sparse = response.data[2].attributes.toJson();
    EXPECT_EQ(sparse.keys(), (QStringList{"id", "name", "revoked"}));
}

TEST(ForgeFixtureTest, OrganizationSitesWithRelationshipsInBothForms)
{
    const auto response = JSONAPIResponse<Site>::decode(fixture("organization-sites.json"));
    ASSERT_EQ(response.data.size(), 3);

    const auto &first = response.data[0];
    EXPECT_EQ(first.id, "9001");
    const Site &site = first.attributes;
    EXPECT_EQ(site.id, 0);
    EXPECT_EQ(site.name, "xn--mnchen-3ya.example");
    EXPECT_EQ(site.https, true);
    EXPECT_EQ(site.aliases, (QStringList{"www.xn--mnchen-3ya.example", "m.example"}));
    EXPECT_EQ(site.deploymentStatus, std::nullopt);
    EXPECT_EQ(site.maintenanceMode, (Site::MaintenanceMode{false, std::nullopt}));
    EXPECT_EQ(site.repository,
              (Site::Repository{"github", "git@github.com:tindrel/muenchen.git", "main", "installed"}));
    EXPECT_TRUE(site.deploymentScript->contains('\n'));
    EXPECT_EQ(site.serverId, std::nullopt);
    ASSERT_TRUE(first.relationships);
    EXPECT_EQ(first.relationships->value("server").data, (QList<JSONAPIResourceIdentifier>{{"501", "servers"}}));
    EXPECT_EQ(first.relationships->value("tags").data.size(), 2);

    const auto &second = response.data[1];
    EXPECT_EQ(second.attributes.maintenanceMode, std::nullopt);
    EXPECT_EQ(second.attributes.repository, std::nullopt);
    EXPECT_EQ(second.relationships->value("server").data, (QList<JSONAPIResourceIdentifier>{{"502", "servers"}}));
    EXPECT_TRUE(second.relationships->value("owner").data.isEmpty());
    EXPECT_TRUE(second.relationships->contains("tags"));
    EXPECT_TRUE(second.relationships->value("tags").data.isEmpty());

    EXPECT_EQ(response.data[2].attributes.maintenanceMode, (Site::MaintenanceMode{true, std::nullopt}));
    EXPECT_EQ(response.data[2].relationships, std::nullopt);
    // One member of the wrong type makes the whole "links" absent, never the response fail.
    EXPECT_EQ(response.links, std::nullopt);
    expectRoundTrip(response);
}

TEST(ForgeFixtureTest, DeploymentsReadOnlyTheCamelCaseKeys)
{
    const auto response = JSONAPIResponse<DeploymentAttributes>::decode(fixture("deployments.json"));
    ASSERT_EQ(response.data.size(), 2);
    EXPECT_EQ(response.data[0].attributes,
              (DeploymentAttributes{"finished",
                                    "4f1c2e9",
                                    "Ada",
                                    "Ship the thing",
                                    "2026-01-05T09:00:00.000000Z",
                                    "2026-01-05T09:01:12.000000Z"}));
    DeploymentAttributes snakeCase;
    snakeCase.status = "failed";
    EXPECT_EQ(response.data[1].attributes, snakeCase);
    EXPECT_EQ(response.links, std::nullopt);
    expectRoundTrip(response);
}

TEST(ForgeFixtureTest, SingleResponsesAndWebhooks)
{
    const auto log = JSONAPISingleResponse<DeploymentOutputAttributes>::decode(fixture("deployment-log.json"));
    EXPECT_EQ(log.data.attributes.output, "Cloning...\nDone.\n");
    expectRoundTrip(log);

    const auto content = JSONAPISingleResponse<ContentAttributes>::decode(fixture("content.json"));
    EXPECT_EQ(content.data.id, "env");
    EXPECT_EQ(content.data.attributes.content, "APP_ENV=production\nAPP_DEBUG=false\n");
    expectRoundTrip(content);

    const auto webhooks = JSONAPIResponse<Webhook>::decode(fixture("webhooks.json"));
    ASSERT_EQ(webhooks.data.size(), 1);
    EXPECT_EQ(webhooks.data[0].attributes, (Webhook{0, "https://hooks.example/a"}));
    EXPECT_EQ(Webhook({71, "u"}).toJson().keys(), QStringList{"url"});
    expectRoundTrip(webhooks);
}

// One row per strict or lenient rule: a document, the record it is read as, and the path of the member
// that must fail (empty: it decodes).
struct RuleRow
{
    const char *name;
    std::function<void(const QByteArray &)> decode;
    const char *document;
    const char *failingPath; // nullptr: the document decodes
};

const auto AsServer = [](const QByteArray &body) { JSONAPISingleResponse<Server>::decode(body); };
const auto AsSite = [](const QByteArray &body) { JSONAPISingleResponse<Site>::decode(body); };
const auto AsSites = [](const QByteArray &body) { JSONAPIResponse<Site>::decode(body); };
const auto AsOrganizations = [](const QByteArray &body) { JSONAPIResponse<Organization>::decode(body); };
const auto AsDeployment = [](const QByteArray &body) { JSONAPISingleResponse<DeploymentAttributes>::decode(body); };
const auto AsWebhook = [](const QByteArray &body) { JSONAPISingleResponse<Webhook>::decode(body); };
const auto AsContent = [](const QByteArray &body) { JSONAPISingleResponse<ContentAttributes>::decode(body); };

#define RESOURCE(attributes) R"({"data":{"id":"1","type":"t","attributes":)" attributes "}}"

class DecodingRuleTest : public ::testing::TestWithParam<RuleRow>
{
};

TEST_P(DecodingRuleTest, FailsExactlyWhereTheRuleSays)
{
    const RuleRow &row = GetParam();
    try {
        row.decode(QByteArray(row.document));
        EXPECT_EQ(row.failingPath, nullptr) << "decoded, but should fail at " << row.failingPath;
    } catch (const DecodingError &error) {
        ASSERT_NE(row.failingPath, nullptr) << "failed: " << error.what();
        EXPECT_EQ(error.path(), QString::fromLatin1(row.failingPath)) << error.what();
        EXPECT_FALSE(error.userMessage().isEmpty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules,
    DecodingRuleTest,
    ::testing::Values(
        RuleRow{"serverMinimal", AsServer, RESOURCE(R"({"id":1})"), nullptr},
        RuleRow{"serverWithoutId", AsServer, RESOURCE(R"({"name":"x"})"), "data.attributes.id"},
        RuleRow{"serverNullId", AsServer, RESOURCE(R"({"id":null})"), "data.attributes.id"},
        RuleRow{"serverFractionalId", AsServer, RESOURCE(R"({"id":1.5})"), "data.attributes.id"},
        RuleRow{"serverTextId", AsServer, RESOURCE(R"({"id":"1"})"), "data.attributes.id"},
        RuleRow{"serverSshPortText", AsServer, RESOURCE(R"({"id":1,"ssh_port":"22"})"), "data.attributes.ssh_port"},
        RuleRow{"serverRevokedNull", AsServer, RESOURCE(R"({"id":1,"revoked":null})"), nullptr},
        RuleRow{"serverRevokedText", AsServer, RESOURCE(R"({"id":1,"revoked":"no"})"), "data.attributes.revoked"},
        RuleRow{"serverReadyNumber", AsServer, RESOURCE(R"({"id":1,"is_ready":1})"), "data.attributes.is_ready"},
        RuleRow{"serverNameNumber", AsServer, RESOURCE(R"({"id":1,"name":5})"), "data.attributes.name"},
        RuleRow{"siteEmpty", AsSite, RESOURCE("{}"), nullptr},
        RuleRow{"siteMaintenanceNull", AsSite, RESOURCE(R"({"maintenance_mode":null})"), nullptr},
        RuleRow{"siteMaintenanceWithoutEnabled",
                AsSite,
                RESOURCE(R"({"maintenance_mode":{"status":"on"}})"),
                "data.attributes.maintenance_mode.enabled"},
        RuleRow{"siteMaintenanceEnabledNull",
                AsSite,
                RESOURCE(R"({"maintenance_mode":{"enabled":null}})"),
                "data.attributes.maintenance_mode.enabled"},
        RuleRow{"siteMaintenanceText",
                AsSite,
                RESOURCE(R"({"maintenance_mode":"on"})"),
                "data.attributes.maintenance_mode"},
        RuleRow{"siteAliasesText", AsSite, RESOURCE(R"({"aliases":"a.example"})"), "data.attributes.aliases"},
        RuleRow{"siteAliasNumber", AsSite, RESOURCE(R"({"aliases":["a",2]})"), "data.attributes.aliases[1]"},
        RuleRow{"siteRepositoryBranchNumber",
                AsSite,
                RESOURCE(R"({"repository":{"branch":1}})"),
                "data.attributes.repository.branch"},
        RuleRow{"siteHttpsText", AsSite, RESOURCE(R"({"https":"yes"})"), "data.attributes.https"},
        RuleRow{"resourceNumericId", AsSite, R"({"data":{"id":1,"type":"sites","attributes":{}}})", "data.id"},
        RuleRow{"resourceWithoutType", AsSite, R"({"data":{"id":"1","attributes":{}}})", "data.type"},
        RuleRow{"resourceWithoutAttributes", AsSite, R"({"data":{"id":"1","type":"sites"}})", "data.attributes"},
        RuleRow{
            "resourceAttributesList", AsSite, R"({"data":{"id":"1","type":"s","attributes":[]}})", "data.attributes"},
        RuleRow{"relationshipNotObject",
                AsSite,
                R"({"data":{"id":"1","type":"s","attributes":{},"relationships":{"server":"501"}}})",
                "data.relationships.server"},
        RuleRow{"relationshipsNull",
                AsSite,
                R"({"data":{"id":"1","type":"s","attributes":{},"relationships":null}})",
                nullptr},
        RuleRow{"relationshipDataBroken",
                AsSite,
                R"({"data":{"id":"1","type":"s","attributes":{},"relationships":{"server":{"data":[{"id":5}]}}}})",
                nullptr},
        RuleRow{"singleWithoutData", AsSite, R"({"meta":{}})", "data"},
        RuleRow{"listWithoutData", AsSites, R"({"links":{}})", "data"},
        RuleRow{"listDataObject", AsSites, R"({"data":{}})", "data"},
        RuleRow{"listElementNotObject", AsSites, R"({"data":[{"id":"1","type":"s","attributes":{}},3]})", "data[1]"},
        RuleRow{"listElementBadMember",
                AsSites,
                R"({"data":[{"id":"1","type":"s","attributes":{}},{"id":"2","type":"s","attributes":{"url":3}}]})",
                "data[1].attributes.url"},
        RuleRow{"listLinksNumber", AsSites, R"({"data":[],"links":7})", nullptr},
        RuleRow{"listLinksMemberNumber", AsSites, R"({"data":[],"links":{"next":7}})", nullptr},
        RuleRow{"organizationWithoutSlug",
                AsOrganizations,
                R"({"data":[{"id":"1","type":"o","attributes":{"name":"n"}}]})",
                "data[0].attributes.slug"},
        RuleRow{"organizationIdText",
                AsOrganizations,
                R"({"data":[{"id":"1","type":"o","attributes":{"id":"1","name":"n","slug":"s"}}]})",
                "data[0].attributes.id"},
        RuleRow{"deploymentSnakeCase", AsDeployment, RESOURCE(R"({"commit_hash":5,"ended_at":[]})"), nullptr},
        RuleRow{"deploymentStatusNumber", AsDeployment, RESOURCE(R"({"status":5})"), "data.attributes.status"},
        RuleRow{"webhookWithoutUrl", AsWebhook, RESOURCE("{}"), "data.attributes.url"},
        RuleRow{"contentNull", AsContent, RESOURCE(R"({"content":null})"), "data.attributes.content"},
        RuleRow{"rootArray", AsSites, "[]", ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DecodingErrorTest, MalformedDocumentsSayWhy)
{
    try {
        JSONAPIResponse<Site>::decode(R"({"data":)");
        FAIL() << "decoded a truncated document";
    } catch (const DecodingError &error) {
        EXPECT_TRUE(error.userMessage().startsWith("The answer is not valid JSON (")) << error.what();
    }
    try {
        JSONAPIResponse<Site>::decode("[]");
        FAIL() << "decoded an array document";
    } catch (const DecodingError &error) {
        EXPECT_EQ(error.userMessage(), "The answer is not a JSON object");
    }
}

TEST(RequestBodyTest, WritesExactlyItsFields)
{
    EXPECT_EQ(compact(SSHKeyBody{"laptop", "ssh-ed25519 AAA", "forge"}.toJson()),
              R"({"key":"ssh-ed25519 AAA","name":"laptop","user":"forge"})");
    EXPECT_EQ(compact(PHPActionBody{"restart", "php84"}.toJson()), R"({"action":"restart","version":"php84"})");
    EXPECT_EQ(compact(ServerActionBody{"reboot"}.toJson()), R"({"action":"reboot"})");
    EXPECT_EQ(compact(WebhookBody{"https://h"}.toJson()), R"({"url":"https://h"})");
    EXPECT_EQ(compact(DeploymentScriptBody{""}.toJson()), R"({"content":""})");
    EXPECT_EQ(compact(NginxUpdateBody{"server {}"}.toJson()), R"({"config":"server {}"})");
    EXPECT_EQ(compact(CommandBody{"php artisan up"}.toJson()), R"({"command":"php artisan up"})");
    EXPECT_EQ(compact(EnvUpdateBody{"A=1"}.toJson()), R"({"environment":"A=1"})");
}

class FakeLoadedRecords final : public LoadedRecords
{
public:
    QList<Server> serverList;
    QList<Site> siteList;
    bool loading = false;

    QList<Server> servers() const override { return serverList; }
    QList<Site> sites() const override { return siteList; }
    bool isLoadingData() const override { return loading; }
};

Server server(qint64 id, const QString &name)
{
    Server result;
    result.id = id;
    result.name = name;
    return result;
}

Site site(qint64 id, const QString &name)
{
    Site result;
    result.id = id;
    result.name = name;
    return result;
}

TEST(LoadedRecordsTest, LookupsTakeTheFirstMatchAndLoadedSiteWaitsForTheRefresh)
{
    EXPECT_EQ(Server::find(1), std::nullopt);
    FakeLoadedRecords records;
    LoadedRecords::setCurrent(&records);
    EXPECT_EQ(Server::find(1), std::nullopt);
    EXPECT_EQ(Site::find(1), std::nullopt);

    records.serverList = {server(1, "a"), server(2, "b"), server(1, "c")};
    records.siteList = {site(7, "x"), site(7, "y")};
    EXPECT_EQ(Server::find(1)->name, "a");
    EXPECT_EQ(Server::find(3), std::nullopt);
    EXPECT_EQ(Site::find(7)->name, "x");
    EXPECT_EQ(loadedSite(7)->name, "x");

    records.loading = true;
    EXPECT_EQ(loadedSite(7), std::nullopt);
    EXPECT_EQ(Site::find(7)->name, "x");
    records.loading = false;
    EXPECT_EQ(loadedSite(7)->name, "x");

    // A copy: changing it leaves the loaded list alone.
    Server copy = *Server::find(2);
    copy.name = "changed";
    EXPECT_EQ(Server::find(2)->name, "b");
    LoadedRecords::setCurrent(nullptr);
}

} // namespace
