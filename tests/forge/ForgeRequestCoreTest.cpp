#include "ForgeClientFixture.h"
#include "platform/NetworkError.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;
using Case = ForgeAPIError::Case;

namespace {

class ForgeRequestCoreTest : public ForgeOneSiteTest
{
protected:
    QString deploymentsPath() const { return siteRoute(QStringLiteral("/deployments")); }
};

TEST_F(ForgeRequestCoreTest, EveryRequestCarriesItsHeadersAndTheTraceHidesTheKey)
{
    await(controller().deploy(serverId, siteId, QStringLiteral("org-1")));

    ASSERT_EQ(forge.requestCount("POST", deploymentsPath()), 1);
    const RecordedRequest sent = forge.requests().first();
    EXPECT_EQ(sent.header("authorization"), QByteArray("Bearer ") + Key);
    EXPECT_EQ(sent.header("accept"), "application/json");
    EXPECT_EQ(sent.header("content-type"), "application/json");
    EXPECT_TRUE(sent.body.isEmpty());
    EXPECT_EQ(forge.sites().front().deployments.first().status, "deploying");

    const QString log = newLog();
    EXPECT_TRUE(log.contains("---------- OUT ---------->"));
    EXPECT_TRUE(log.contains("POST " + deploymentsPath() + "? HTTP/1.1\n"));
    EXPECT_TRUE(log.contains("Host: 127.0.0.1\n"));
    EXPECT_TRUE(log.contains("Authorization: <HIDDEN>\n"));
    EXPECT_FALSE(log.contains(Key));
    EXPECT_TRUE(log.contains("<---------- IN ----------"));
    EXPECT_TRUE(log.contains("HTTP 201 " + deploymentsPath() + "?\n"));
    EXPECT_EQ(tracker.refreshRequestCount(), 1);
}

TEST_F(ForgeRequestCoreTest, TheRequestLineShowsTheQueryDecoded)
{
    await(controller().requestVoid(QStringLiteral("orgs?page%5Bsize%5D=50"), HTTPMethod::GET));
    ASSERT_EQ(forge.requests().size(), 1);
    EXPECT_EQ(forge.requests().first().rawTarget, "/api/orgs?page%5Bsize%5D=50");
    EXPECT_TRUE(newLog().contains("GET /api/orgs?page[size]=50 HTTP/1.1\n"));
}

TEST_F(ForgeRequestCoreTest, WithoutAKeyNothingIsSent)
{
    Account keyless;
    keyless.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    ForgeAPIController client(keyless, services());
    EXPECT_FALSE(client.apiKey().has_value());
    EXPECT_EQ(forgeErrorOf(client.deploy(serverId, siteId, QStringLiteral("org-1"))), Case::NoAPIKeyDefined);

    ForgeAPIController nobody(Account{}, services());
    EXPECT_EQ(nobody.rateLimitKey(), "default");
    EXPECT_EQ(forgeErrorOf(nobody.requestVoid(QStringLiteral("orgs"), HTTPMethod::GET)), Case::NoAPIKeyDefined);

    EXPECT_EQ(forge.requests().size(), 0);
    EXPECT_EQ(tracker.refreshRequestCount(), 0);
    EXPECT_FALSE(newLog().contains("OUT"));
}

TEST_F(ForgeRequestCoreTest, AnEmptyKeyIsSentAndForgeRefusesIt)
{
    ASSERT_TRUE(keys->setAPIKey(*account.uuid, QString()));
    EXPECT_EQ(forgeErrorOf(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET)), Case::NoValidKey);
    ASSERT_EQ(forge.requests().size(), 1);
    EXPECT_EQ(forge.requests().first().header("authorization").trimmed(), "Bearer");
}

TEST_F(ForgeRequestCoreTest, ARedirectIsNotFollowedAndMeansTheKeyIsInvalid)
{
    forge.setValidKeys({QStringLiteral("another-key")});
    forge.setInvalidKeyAnswer(FakeForge::InvalidKeyAnswer::Redirect);
    EXPECT_EQ(forgeErrorOf(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET)), Case::NoValidKey);
    EXPECT_EQ(forge.requests().size(), 1) << "the sign-in page must never be asked for with the key";
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Error: HTTP 302 - No valid key (redirect)"));
}

TEST_F(ForgeRequestCoreTest, UnparsableURLsAreRefusedBeforeSending)
{
    EXPECT_EQ(forgeErrorOf(controller().requestVoid(QStringLiteral("orgs/a b"), HTTPMethod::GET)), Case::InvalidURL);
    EXPECT_EQ(forge.requests().size(), 0);
}

TEST_F(ForgeRequestCoreTest, BodiesGoOutWithSnakeCaseKeys)
{
    forge.http().route("POST", "/api/echo", FakeResponse::empty(204));
    const QJsonObject body{{"commitHash", "abc"}, {"serverId", 7}, {"nested", QJsonObject{{"siteURL", "x"}}}};
    await(controller().requestVoid(QStringLiteral("echo"), HTTPMethod::POST, body));

    ASSERT_EQ(forge.requests().size(), 1);
    const QJsonObject sent = QJsonDocument::fromJson(forge.requests().first().body).object();
    EXPECT_EQ(sent.value("commit_hash").toString(), "abc");
    EXPECT_EQ(sent.value("server_id").toInt(), 7);
    EXPECT_EQ(sent.value("nested")["site_url"].toString(), "x");
    EXPECT_EQ(sent.size(), 3);
}

TEST_F(ForgeRequestCoreTest, A429IsRetriedOnceAfterItsRetryAfter)
{
    const QString path = deploymentsPath();
    forge.failNext("POST", path, forge.errorResponse(429).withHeader("Retry-After", "5"));
    await(controller().deploy(serverId, siteId, QStringLiteral("org-1")));
    EXPECT_EQ(forge.requestCount("POST", path), 2);
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{5s}));
    EXPECT_TRUE(newLog().contains("[ForgeAPI] HTTP 429 for orgs/org-1/servers/"));
    EXPECT_TRUE(newLog().contains("/deployments, retrying in 5s"));

    forge.http().clearRequests();
    forge.failNext("POST", path, forge.errorResponse(429).withHeader("Retry-After", "0"), 2);
    EXPECT_EQ(forgeErrorOf(controller().deploy(serverId, siteId, QStringLiteral("org-1"))), Case::TooManyRequests);
    EXPECT_EQ(forge.requestCount("POST", path), 2);
    EXPECT_EQ(sleeper.requested().last(), 1s);
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Error: HTTP 429 - Too many requests"));
    EXPECT_EQ(tracker.refreshSummary(), "Refresh done: 4 requests, lowest remaining unknown, 2 throttled, 0 retried");
}

TEST_F(ForgeRequestCoreTest, AStalledGetIsRetriedOnceAndAStalledPostIsNot)
{
    forge.failNext("GET", "/api/orgs", FakeResponse::stall());
    await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 2);
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{2s}));
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Timed out for orgs, retrying in 2s"));

    forge.failNext("GET", "/api/orgs", FakeResponse::stall(), 2);
    try {
        await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
        ADD_FAILURE() << "a second time-out must be thrown";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::TimedOut);
    }
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 4);

    const QString path = deploymentsPath();
    forge.failNext("POST", path, FakeResponse::stall());
    try {
        await(controller().deploy(serverId, siteId, QStringLiteral("org-1")));
        ADD_FAILURE() << "a POST that times out must be thrown at once";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::TimedOut);
    }
    EXPECT_EQ(forge.requestCount("POST", path), 1);
    EXPECT_EQ(tracker.refreshSummary(), "Refresh done: 5 requests, lowest remaining unknown, 0 throttled, 2 retried");
}

TEST_F(ForgeRequestCoreTest, ALostConnectionIsRetriedForGetOnly)
{
    // Qt itself resends once on a connection closed before any answer, so two drops reach our retry.
    forge.failNext("GET", "/api/orgs", FakeResponse::drop(), 2);
    await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Connection lost for orgs, retrying in 2s"));
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{2s}));

    const QString path = deploymentsPath();
    forge.failNext("POST", path, FakeResponse::drop(), 2);
    try {
        await(controller().deploy(serverId, siteId, QStringLiteral("org-1")));
        ADD_FAILURE() << "a POST whose connection is lost must fail";
    } catch (const NetworkError &error) {
        EXPECT_EQ(error.code(), NetworkError::Code::NetworkConnectionLost);
    }
    EXPECT_EQ(sleeper.requested().size(), 1) << "no retry of ours for a POST";
}

struct HttpStatusRow
{
    const char *name;
    int status;
    Case expected;
    const char *logLine;
    int requests = 1; // a 429 is asked again once; no other status is
    const char *userMessage = nullptr;
};

void PrintTo(const HttpStatusRow &row, std::ostream *out)
{
    *out << row.name;
}

class ForgeStatusOverHttpTest : public ForgeClientTest, public ::testing::WithParamInterface<HttpStatusRow>
{
};

// Forge's own answers (JSON messages, the proxy's HTML pages, the sign-in redirect) over real HTTP.
TEST_P(ForgeStatusOverHttpTest, ListingFailsWithTheStatusCase)
{
    const HttpStatusRow &row = GetParam();
    forge.failNext("GET", "/api/orgs", forge.errorResponse(row.status), 2);
    try {
        await(controller().fetchOrganizations());
        ADD_FAILURE() << "HTTP " << row.status << " must fail the listing";
    } catch (const ForgeAPIError &error) {
        EXPECT_EQ(error.errorCase(), row.expected);
        if (row.userMessage) {
            EXPECT_EQ(error.userMessage(), QString::fromUtf8(row.userMessage));
        }
    }
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), row.requests);
    EXPECT_TRUE(newLog().contains(QString::fromUtf8(row.logLine))) << newLog().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Statuses,
    ForgeStatusOverHttpTest,
    ::testing::Values(
        HttpStatusRow{"Moved301", 301, Case::UnknownError, "[ForgeAPI] Error: HTTP 301 - Unknown error"},
        HttpStatusRow{
            "SignInRedirect302", 302, Case::NoValidKey, "[ForgeAPI] Error: HTTP 302 - No valid key (redirect)"},
        HttpStatusRow{"BadRequest400", 400, Case::BadRequest, "[ForgeAPI] Error: HTTP 400 - Bad request"},
        HttpStatusRow{"Unauthenticated401", 401, Case::NoValidKey, "[ForgeAPI] Error: HTTP 401 - No valid key"},
        HttpStatusRow{"Forbidden403", 403, Case::Forbidden, "[ForgeAPI] Error: HTTP 403 - Forbidden"},
        HttpStatusRow{"NotFound404", 404, Case::NotFound, "[ForgeAPI] Error: HTTP 404 - Not found"},
        HttpStatusRow{"Conflict409", 409, Case::UnknownError, "[ForgeAPI] Error: HTTP 409 - Unknown error"},
        HttpStatusRow{"Teapot418",
                      418,
                      Case::UnknownError,
                      "[ForgeAPI] Error: HTTP 418 - Unknown error",
                      1,
                      "Unknown error (HTTP 418)"},
        HttpStatusRow{
            "Invalid422", 422, Case::UnprocessableEntity, "[ForgeAPI] Error: HTTP 422 - Unprocessable entity"},
        HttpStatusRow{
            "TooMany429Twice", 429, Case::TooManyRequests, "[ForgeAPI] Error: HTTP 429 - Too many requests", 2},
        HttpStatusRow{
            "Internal500", 500, Case::InternalServerError, "[ForgeAPI] Error: HTTP 500 - Internal server error"},
        HttpStatusRow{"NotImplemented501", 501, Case::UnknownError, "[ForgeAPI] Error: HTTP 501 - Unknown error"},
        HttpStatusRow{"BadGatewayPage502", 502, Case::BadGateway, "[ForgeAPI] Error: HTTP 502 - Bad gateway"},
        HttpStatusRow{
            "MaintenancePage503", 503, Case::ServiceUnavailable, "[ForgeAPI] Error: HTTP 503 - Service unavailable"},
        HttpStatusRow{
            "GatewayTimeoutPage504", 504, Case::GatewayTimeout, "[ForgeAPI] Error: HTTP 504 - Gateway timeout"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(ForgeRequestCoreTest, PacesAgainstTheReportedAllowance)
{
    forge.setRateLimit(FakeForge::RateLimit{5, 60s, true});
    for (int i = 0; i < 3; ++i) {
        await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    }
    // Remaining 4, then 3: the third request waits for the window's reset instead of being refused.
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{60s}));
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 3);
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Rate limit nearly used up, pausing 60s before orgs"));
    EXPECT_EQ(tracker.quota(controller().rateLimitKey())->remaining, 4);
}

TEST_F(ForgeRequestCoreTest, PausesBeforeOneRequestAreBounded)
{
    const auto allowance = [this](int resetIn) {
        return [this, resetIn](FakeResponse r) {
            return r.withHeader("X-RateLimit-Remaining", "0")
                .withHeader("X-RateLimit-Reset", QByteArray::number(clock.now().toSecsSinceEpoch() + resetIn));
        };
    };
    // A reset four minutes ahead is believed, but one request waits two minutes at most.
    forge.transformNext("GET", "/api/orgs", allowance(240));
    await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    EXPECT_EQ(sleeper.requested(), (QList<std::chrono::milliseconds>{60s, 60s}));
    EXPECT_TRUE(newLog().contains("[ForgeAPI] Rate limit still low after pausing 120s, sending orgs"));

    // A reset years ahead is a broken header: only the local window counts.
    ForgeAPIRequestTracker fresh;
    auto s = services();
    s.tracker = &fresh;
    forge.transformNext("GET", "/api/orgs", allowance(10 * 365 * 86400));
    const QList<std::chrono::milliseconds> before = sleeper.requested();
    await(ForgeAPIController(account, s).requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    await(ForgeAPIController(account, s).requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    EXPECT_EQ(sleeper.requested().mid(before.size()), (QList<std::chrono::milliseconds>{60s}));
}

TEST_F(ForgeRequestCoreTest, PathValuesArePercentEncodedSegmentBySegment)
{
    forge.addOrganization(QStringLiteral("R&D"), QStringLiteral("r/d?x"));
    const qint64 lab = forge.addServer(QStringLiteral("r/d?x"), QStringLiteral("lab")).id;
    const qint64 site = forge.addSite(lab, QStringLiteral("lab.example.test")).id;
    await(controller().deploy(lab, site, QStringLiteral("r/d?x")));
    EXPECT_EQ(forge.site(site)->deployments.size(), 1);
    EXPECT_TRUE(forge.requests().first().rawTarget.startsWith("/api/orgs/r%2Fd%3Fx/servers/"));
    EXPECT_EQ(ForgeAPIController::sitePath(7, 8, QStringLiteral("a b")), "orgs/a%20b/servers/7/sites/8");
}

// One redaction point: credentials are hidden in every trace; bodies appear only while verbose logging is
// on, never for a site's paths, and even then deploy-trigger tokens and webhook addresses are hidden.
TEST_F(ForgeRequestCoreTest, SecretsNeverReachTheLogWhateverTheVerbosity)
{
    const QString site = ForgeAPIController::sitePath(serverId, siteId, QStringLiteral("org-1"));
    const QJsonObject environment{{"environment", "DB_PASSWORD=hunter2\n"}};
    const QJsonObject webhook{{"url", "https://hooks.example.test/abc"}};
    const QByteArray echoed =
        R"({"data":[{"id":"5","type":"webhooks","attributes":{"url":"https://hooks.example.test/abc"}},)"
        R"({"id":"6","type":"sites","attributes":{"name":"shop",)"
        R"("deployment_url":"https://forge.example/deploy/6?token=trigger-secret&x=1"}}]})";
    const auto answerWithSecrets = [&echoed](FakeResponse answer) {
        answer.body = echoed;
        answer.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("session=cookie-secret")));
        return answer;
    };

    for (const bool verbose : {false, true}) {
        setVerbose(verbose);
        await(controller().requestVoid(site + "/environment", HTTPMethod::PUT, environment));
        await(controller().requestVoid(site + "/webhooks", HTTPMethod::POST, webhook));
        forge.transformNext("GET", "/api/orgs", answerWithSecrets);
        await(controller().requestVoid(QStringLiteral("orgs"), HTTPMethod::GET));
    }
    EXPECT_EQ(forge.site(siteId)->environment, "DB_PASSWORD=hunter2\n");
    const QString written = newLog();
    for (const char *secret : {"hunter2", "hooks.example.test/abc", "trigger-secret", "cookie-secret", Key}) {
        EXPECT_FALSE(written.contains(QLatin1String(secret))) << secret;
    }
    EXPECT_TRUE(written.contains("<body not logged, "));
    EXPECT_TRUE(written.contains("Authorization: <HIDDEN>"));
    EXPECT_TRUE(written.contains("Set-Cookie: <HIDDEN>", Qt::CaseInsensitive));
    // A body that may be shown still is, with the secret values hidden.
    EXPECT_TRUE(written.contains("\"url\":\"<HIDDEN>\""));
    EXPECT_TRUE(written.contains("deploy/6?token=<HIDDEN>&x=<HIDDEN>"));
}

struct TextRow
{
    const char *name;
    const char *input;
    const char *expected;
};

void PrintTo(const TextRow &row, std::ostream *out)
{
    *out << row.name;
}

class SSHKeyNameTest : public ::testing::TestWithParam<TextRow>
{
};

TEST_P(SSHKeyNameTest, KeepsAsciiLettersDigitsAndHyphens)
{
    EXPECT_EQ(ForgeAPIController::sanitizedSSHKeyName(QString::fromUtf8(GetParam().input)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Names,
                         SSHKeyNameTest,
                         ::testing::Values(TextRow{"spacesAndBrackets", "Office iMac (2)", "OfficeiMac2"},
                                           TextRow{"escapedSpace", "Mac%20mini", "Mac-mini"},
                                           TextRow{"apostrophe", "Dana's Laptop", "DanasLaptop"},
                                           TextRow{"nonAsciiOnly", "Ноутбук", ""},
                                           TextRow{"mixed", "Café-Book 3", "Caf-Book3"}),
                         [](const auto &info) { return std::string(info.param.name); });

class PHPVersionTest : public ::testing::TestWithParam<TextRow>
{
};

TEST_P(PHPVersionTest, NamesTheVersionAsForgeDoes)
{
    EXPECT_EQ(ForgeAPIController::normalizedPHPVersion(QString::fromUtf8(GetParam().input)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Versions,
                         PHPVersionTest,
                         ::testing::Values(TextRow{"dotted", "8.2", "php82"},
                                           TextRow{"named", "php8.2", "php8.2"},
                                           TextRow{"namedCompact", "php83", "php83"},
                                           TextRow{"capitalised", "PHP 8.1", "php81"},
                                           TextRow{"noDigits", "latest", "latest"},
                                           TextRow{"phpWithoutDigit", "php-x", "php-x"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct LinkRow
{
    const char *name;
    std::optional<QString> link;
    std::optional<QString> expected;
};

void PrintTo(const LinkRow &row, std::ostream *out)
{
    *out << row.name;
}

class RelativeAPIPathTest : public ::testing::TestWithParam<LinkRow>
{
};

TEST_P(RelativeAPIPathTest, TurnsANextLinkIntoARequestPath)
{
    EXPECT_EQ(ForgeAPIController::relativeAPIPath(GetParam().link), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Links,
    RelativeAPIPathTest,
    ::testing::Values(
        LinkRow{"absent", std::nullopt, std::nullopt},
        LinkRow{"unparsable", QStringLiteral("http://exa mple.test/api/orgs"), std::nullopt},
        LinkRow{"noApi", QStringLiteral("https://forge.example.test/v1/orgs?page=2"), std::nullopt},
        LinkRow{"withQuery",
                QStringLiteral("https://forge.example.test/api/orgs/acme/servers?page=2"),
                QStringLiteral("orgs/acme/servers?page=2")},
        LinkRow{"emptyQuery", QStringLiteral("https://forge.example.test/api/orgs?"), QStringLiteral("orgs")},
        LinkRow{"bracketsStayEncoded",
                QStringLiteral("https://forge.example.test/api/orgs?page%5Bnumber%5D=2&page%5Bsize%5D=50"),
                QStringLiteral("orgs?page%5Bnumber%5D=2&page%5Bsize%5D=50")},
        LinkRow{"escapedSlugStaysOneSegment",
                QStringLiteral("https://forge.example.test/api/orgs/r%2Fd/servers?page=2"),
                QStringLiteral("orgs/r%2Fd/servers?page=2")},
        LinkRow{"firstApiWins",
                QStringLiteral("https://forge.example.test/api/orgs/api/servers"),
                QStringLiteral("orgs/api/servers")}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
