#include "ForgeClientFixture.h"
#include "platform/NetworkError.h"

#include <string_view>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;
using Case = ForgeAPIError::Case;

namespace {

class ForgeListingTest : public ForgeClientTest
{
protected:
    QString link(const QString &pathAndQuery) const { return forge.apiBase().toString() + pathAndQuery; }
};

TEST_F(ForgeListingTest, ListsEveryOrganisationsServersFollowingTheirPages)
{
    forge.buildAccount(3, 150, 0); // 50 servers each: one full page
    forge.addServer(QStringLiteral("org-2"), QStringLiteral("extra-1"));
    for (int i = 0; i < 60; ++i) {
        forge.addServer(QStringLiteral("org-2"), QStringLiteral("extra-%1").arg(i + 2));
    }
    ForgeAPIController client = controller();
    const QList<Server> servers = await(client.fetchAllServers());

    ASSERT_EQ(servers.size(), 211);
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 1);
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs/org-2/servers"), 3) << "111 servers: pages of 50, 50 and 11";
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs/org-1/servers"), 1);
    for (const Server &server : servers) {
        ASSERT_EQ(server.accountId, account.uuid);
        ASSERT_EQ(server.organizationSlug, forge.server(server.id)->organizationSlug);
    }
    ASSERT_TRUE(client.cachedOrganizations().has_value());
    EXPECT_EQ(client.cachedOrganizations()->size(), 3);

    // A second listing with the same controller asks for the organisations no more.
    await(client.fetchAllServers());
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 1);
}

TEST_F(ForgeListingTest, ServersOfTheListingThatFinishesFirstComeFirst)
{
    forge.buildAccount(2, 4, 0);
    forge.transformNext("GET", "/api/orgs/org-1/servers", [](FakeResponse r) { return r.withDelay(300ms); });
    const QList<Server> servers = await(controller().fetchAllServers());
    ASSERT_EQ(servers.size(), 4);
    EXPECT_EQ(servers[0].organizationSlug, "org-2");
    EXPECT_EQ(servers[1].organizationSlug, "org-2");
    EXPECT_EQ(servers[3].organizationSlug, "org-1");
}

TEST_F(ForgeListingTest, AForbiddenOrganisationAbortsItsSiblingListings)
{
    forge.buildAccount(2, 2, 0);
    forge.failNext("GET", "/api/orgs/org-2/servers", FakeResponse::stall(), 2);
    forge.failNext("GET", "/api/orgs/org-1/servers", forge.errorResponse(403).withDelay(50ms));

    EXPECT_EQ(forgeErrorOf(controller().fetchAllServers()), Case::Forbidden);
    EXPECT_LE(forge.requestCount("GET", "/api/orgs/org-2/servers"), 1);
    EXPECT_TRUE(newLog().contains("[ForgeAPI] ❌ Failed to decode servers for org 'org-1': forbidden"));
    EXPECT_FALSE(newLog().contains("Timed out for orgs/org-2")) << "the stalled sibling must be cancelled, not wait";
    EXPECT_FALSE(newLog().contains("for org 'org-2'"));
}

TEST_F(ForgeListingTest, WithoutOrganisationsNoServerIsAskedFor)
{
    ForgeAPIController client = controller();
    EXPECT_TRUE(await(client.fetchAllServers()).isEmpty());
    EXPECT_EQ(forge.requests().size(), 1);
    // The empty list is cached too.
    EXPECT_TRUE(await(client.fetchOrganizations()).isEmpty());
    EXPECT_EQ(forge.requests().size(), 1);
}

TEST_F(ForgeListingTest, ListingsStopAtTheirPageLimitsAndSayWhere)
{
    forge.setMaxPageSize(1);
    for (int i = 1; i <= 11; ++i) {
        forge.addOrganization(QStringLiteral("Org %1").arg(i));
    }
    const QString slug = forge.organizations().front().slug;
    for (int i = 1; i <= 11; ++i) {
        forge.addServer(slug, QStringLiteral("server-%1").arg(i, 3, 10, QLatin1Char('0')));
    }
    const qint64 serverId = forge.servers().front().id;
    for (int i = 1; i <= 11; ++i) {
        forge.addSite(serverId, QStringLiteral("site-%1.test").arg(i));
    }
    setVerbose(true);

    EXPECT_EQ(await(controller().fetchOrganizations()).size(), 10);
    const QList<Server> servers = await(controller().fetchServers(slug));
    EXPECT_EQ(servers.size(), 10);
    EXPECT_EQ(await(controller().fetchSites(serverId, slug)).size(), 10);
    EXPECT_EQ(forge.requests().size(), 30);

    const QString log = newLog();
    EXPECT_TRUE(log.contains("The organisation list has more than 10 entries"));
    EXPECT_TRUE(log.contains("The server list of organisation 'org-1' has more than 10 entries"));
    EXPECT_TRUE(log.contains(QStringLiteral("The site list of server %1 has more than 10 entries").arg(serverId)));
    EXPECT_TRUE(log.contains(
        QStringLiteral("[ForgeAPI] Org 'org-1' page 10: 1 servers - server-010(id=%1)").arg(servers.last().id)));
}

TEST_F(ForgeListingTest, OrganisationSitesGiveUpAfterTwoHundredPages)
{
    forge.setMaxPageSize(1);
    forge.buildAccount(1, 1, 201);
    EXPECT_EQ(forgeErrorOf(controller().fetchOrganizationSites(QStringLiteral("org-1"))), Case::IncompleteResult);
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs/org-1/sites"), 200);
    EXPECT_TRUE(
        newLog().contains("[ForgeAPI] ⚠️ Organization 'org-1' has more than 200 sites, giving up after 200 pages"));
}

TEST_F(ForgeListingTest, OrganisationSitesNameTheirServers)
{
    forge.buildAccount(2, 4, 40);
    const QList<Site> sites = await(controller().fetchOrganizationSites(QStringLiteral("org-2")));
    ASSERT_EQ(sites.size(), 20);
    for (const Site &site : sites) {
        const FakeForge::Site *stored = forge.site(site.id);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(site.serverId, stored->serverId);
        EXPECT_EQ(site.organizationSlug, "org-2");
        EXPECT_EQ(site.name, stored->name());
        EXPECT_FALSE(site.accountId.has_value());
    }
    const RecordedRequest first = forge.requests().first();
    EXPECT_EQ(first.queryValue("include"), "server");
    EXPECT_EQ(first.queryValue("page[size]"), "50");
}

TEST_F(ForgeListingTest, ASiteWithoutItsServerMakesTheOrganisationListingIncomplete)
{
    forge.buildAccount(1, 1, 0);
    forge.failNext("GET", "/api/orgs/org-1/sites", FakeResponse::json(R"({"data":[
        {"id":"x9","type":"sites","attributes":{}},
        {"id":"7","type":"sites","attributes":{},"relationships":{"server":{"data":[{"id":"1001","type":"servers"}]}}},
        {"id":"8","type":"sites","attributes":{"name":"lost.test"}}]})"));
    EXPECT_EQ(forgeErrorOf(controller().fetchOrganizationSites(QStringLiteral("org-1"))), Case::IncompleteResult);

    forge.failNext("GET", "/api/orgs/org-1/sites", FakeResponse::json(R"({"data":[
        {"id":"x9","type":"sites","attributes":{}},
        {"id":"7","type":"sites","attributes":{},"relationships":{"server":{"data":{"id":"1001","type":"servers"}}}}]})"));
    const QList<Site> sites = await(controller().fetchOrganizationSites(QStringLiteral("org-1")));
    ASSERT_EQ(sites.size(), 1);
    EXPECT_EQ(sites[0].id, 7);
    EXPECT_EQ(sites[0].serverId, 1001);
}

TEST_F(ForgeListingTest, SitesWhoseIdIsNotAnIntegerAreLeftOut)
{
    forge.buildAccount(1, 1, 0);
    const qint64 serverId = forge.servers().front().id;
    forge.failNext("GET",
                   QStringLiteral("/api/orgs/org-1/servers/%1/sites").arg(serverId),
                   FakeResponse::json(R"({"data":[{"id":"12a","type":"sites","attributes":{}},
                                                 {"id":"","type":"sites","attributes":{}},
                                                 {"id":"+7","type":"sites","attributes":{"name":"a.test"}},
                                                 {"id":"-3","type":"sites","attributes":{"name":"b.test"}}]})"));
    const QList<Site> sites = await(controller().fetchSites(serverId, QStringLiteral("org-1")));
    ASSERT_EQ(sites.size(), 2);
    EXPECT_EQ(sites[0].id, 7);
    EXPECT_EQ(sites[1].id, -3);
    EXPECT_EQ(sites[1].serverId, serverId);
    EXPECT_EQ(sites[1].organizationSlug, "org-1");
}

TEST_F(ForgeListingTest, AnEmptyPageEndsAListingEvenWithANextLink)
{
    forge.failNext(
        "GET",
        "/api/orgs",
        FakeResponse::json(
            QStringLiteral(R"({"data":[],"links":{"next":"%1"}})").arg(link("orgs?page%5Bnumber%5D=2")).toUtf8()));
    ForgeAPIController client = controller();
    EXPECT_TRUE(await(client.fetchOrganizations()).isEmpty());
    EXPECT_EQ(forge.requests().size(), 1);
    EXPECT_EQ(client.cachedOrganizations(), QList<Organization>());
}

TEST_F(ForgeListingTest, NextLinksNeverLeaveTheConfiguredHost)
{
    forge.buildAccount(1, 0, 0);
    forge.failNext(
        "GET",
        "/api/orgs",
        FakeResponse::json(R"({"data":[{"id":"5","type":"organizations","attributes":{"name":"A","slug":"a"}}],
                                         "links":{"next":"https://elsewhere.example.test/api/orgs?page%5Bnumber%5D=1"}})"));
    const QList<Organization> organizations = await(controller().fetchOrganizations());
    ASSERT_EQ(organizations.size(), 2);
    EXPECT_EQ(forge.requests().last().rawTarget, "/api/orgs?page%5Bnumber%5D=1");
    EXPECT_EQ(forge.requests().last().header("authorization"), QByteArray("Bearer ") + Key);
}

TEST_F(ForgeListingTest, UndecodableAnswersFailTheListingWithTheirPath)
{
    forge.buildAccount(1, 1, 0);
    forge.failNext("GET", "/api/orgs", FakeForge::malformedJson());
    ForgeAPIController client = controller();
    EXPECT_THROW(await(client.fetchOrganizations()), DecodingError);
    EXPECT_FALSE(client.cachedOrganizations().has_value());
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Decoding failed for type JSONAPIResponse<Organization>: "));
    EXPECT_FALSE(newLog().contains("[ForgeAPI] Raw response: ")) << "bodies need verbose logging";

    setVerbose(true);
    forge.failNext("GET",
                   "/api/orgs/org-1/servers",
                   FakeResponse::json(R"({"data":[{"id":"1","type":"servers","attributes":{"id":"one"}}]})"));
    try {
        await(client.fetchServers(QStringLiteral("org-1")));
        ADD_FAILURE() << "a server without an integer id must fail the page";
    } catch (const DecodingError &error) {
        EXPECT_EQ(error.path(), "data[0].attributes.id");
    }
    EXPECT_TRUE(newLog().contains(R"([ForgeAPI] Raw response: {"data":[{"id":"1")"));
    EXPECT_TRUE(newLog().contains("[ForgeAPI] ❌ Failed to decode servers for org 'org-1': data[0].attributes.id"));

    forge.failNext("GET", "/api/orgs/org-1/servers", FakeResponse::html("<html>Gateway</html>", 200));
    EXPECT_THROW(await(client.fetchServers(QStringLiteral("org-1"))), DecodingError);
}

struct MalformedRow
{
    const char *name;
    std::string_view attributes; // of the one organisation listed
};

void PrintTo(const MalformedRow &row, std::ostream *out)
{
    *out << row.name;
}

class ForgeMalformedListingTest : public ForgeClientTest, public ::testing::WithParamInterface<MalformedRow>
{
};

// Text that is not JSON, though Qt's parser would take it and read something else ("\a" as "a"):
// the listing fails as any malformed answer does, and nothing is kept.
TEST_P(ForgeMalformedListingTest, FailsTheListingRatherThanReadingAlteredText)
{
    const QByteArray body = R"({"data":[{"id":"5","type":"organizations","attributes":{)"
                            + QByteArray(GetParam().attributes.data(), qsizetype(GetParam().attributes.size()))
                            + "}}]}";
    forge.failNext("GET", "/api/orgs", FakeResponse::json(body), 2);
    ForgeAPIController client = controller();
    try {
        await(client.fetchOrganizations());
        ADD_FAILURE() << "read a listing from text that is not JSON";
    } catch (const DecodingError &error) {
        EXPECT_TRUE(error.userMessage().startsWith("The answer is not valid JSON (")) << error.what();
    }
    EXPECT_FALSE(client.cachedOrganizations().has_value());
    EXPECT_TRUE(newLog().contains(
        "[ForgeAPI] Decoding failed for type JSONAPIResponse<Organization>: The answer is not valid JSON ("));
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(Shapes,
                         ForgeMalformedListingTest,
                         ::testing::Values(MalformedRow{"escapedX", R"("name":"\x00","slug":"s")"},
                                           MalformedRow{"escapedBell", R"("name":"\a","slug":"s")"},
                                           MalformedRow{"escapedApostrophe", R"("name":"\'","slug":"s")"},
                                           MalformedRow{"rawTab", "\"name\":\"a\tb\",\"slug\":\"s\""sv},
                                           MalformedRow{"rawNewline", "\"name\":\"a\nb\",\"slug\":\"s\""sv},
                                           MalformedRow{"rawNul", "\"name\":\"a\0b\",\"slug\":\"s\""sv},
                                           MalformedRow{"loneHighSurrogate", R"("name":"\uD800","slug":"s")"},
                                           MalformedRow{"swappedSurrogates", R"("name":"\uDC00\uD800","slug":"s")"},
                                           MalformedRow{"pointWithoutFraction", R"("id":1.,"name":"n","slug":"s")"},
                                           MalformedRow{"trailingComma", R"("name":"n","slug":"s",)"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ForgeListingTest, ATruncatedPageIsFetchedAgain)
{
    forge.buildAccount(1, 3, 0);
    forge.transformNext("GET", "/api/orgs/org-1/servers", [](FakeResponse r) { return r.truncatedAfter(40); });
    EXPECT_EQ(await(controller().fetchServers(QStringLiteral("org-1"))).size(), 3);
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs/org-1/servers"), 2);

    // A chunked answer cut short surfaces either as a lost connection or as JSON that stops; never as a list.
    forge.transformNext(
        "GET", "/api/orgs/org-1/servers", [](FakeResponse r) { return r.asChunked().truncatedAfter(40); }, 3);
    EXPECT_THROW(await(controller().fetchServers(QStringLiteral("org-1"))), std::exception);
}

} // namespace
