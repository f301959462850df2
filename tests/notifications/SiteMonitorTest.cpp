#include "notifications/SiteMonitor.h"

#include "Await.h"
#include "FakeCurl.h"
#include "FakeHttpServer.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

Site siteNamed(std::optional<QString> name, std::optional<QString> alias = std::nullopt)
{
    Site site;
    site.id = 7;
    site.name = std::move(name);
    site.URLAlias = std::move(alias);
    return site;
}

// "up" for no error, else the site's "down" message.
QString outcome(const std::optional<SiteCheckError> &error)
{
    return error ? description(*error) : QStringLiteral("up");
}

// --- Real curl against a local server -------------------------------------------------------------

struct CurlRow
{
    const char *name;
    std::function<void(FakeHttpServer &)> script;
    // The site's alias (the server's address stands for "%1"), or the address of a site named "default".
    QString alias;
    bool isDefaultSite = false;
    CurlLimits limits;
    // The outcome, or its beginning when `prefixOnly`.
    QString expected;
    bool prefixOnly = false;
    // A ~/.curlrc that turns on verbose output.
    bool verboseCurlrc = false;
};

quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

class SiteMonitorCurlTest : public ::testing::TestWithParam<CurlRow>
{
};

TEST_P(SiteMonitorCurlTest, RealCurlGivesEachAnswerItsMeaning)
{
    const CurlRow &row = GetParam();
    FakeHttpServer server;
    if (row.script) {
        row.script(server);
    }
    QTemporaryDir curlHome;
    if (row.verboseCurlrc) {
        QFile curlrc(curlHome.filePath(QStringLiteral(".curlrc")));
        ASSERT_TRUE(curlrc.open(QIODevice::WriteOnly));
        curlrc.write("verbose\n");
        curlrc.close();
        qputenv("CURL_HOME", curlHome.path().toUtf8());
    }
    const QString base = QStringLiteral("127.0.0.1:%1").arg(server.port());
    const QString address = QString(row.alias)
                                .replace(QStringLiteral("%closed"), QStringLiteral("127.0.0.1:%1").arg(closedPort()))
                                .replace(QStringLiteral("%1"), base);
    SiteMonitor monitor(row.isDefaultSite ? siteNamed(QStringLiteral("default"))
                                          : siteNamed(QStringLiteral("x"), address),
                        row.isDefaultSite ? std::optional<QString>(address) : std::nullopt,
                        QStringLiteral("/usr/bin/curl"),
                        row.limits);
    const QString result = outcome(await(monitor.checkSite(), 30s));
    qunsetenv("CURL_HOME");

    if (row.prefixOnly) {
        EXPECT_TRUE(result.startsWith(row.expected)) << result.toStdString();
    } else {
        EXPECT_EQ(result, row.expected);
    }
    EXPECT_FALSE(result.contains(QStringLiteral("curl: ("))) << result.toStdString();
    for (const RecordedRequest &request : server.requests()) {
        EXPECT_TRUE(request.header("user-agent").startsWith("curl/"));
    }
}

void redirect(FakeHttpServer &server, const QString &from, int status, const QByteArray &to)
{
    server.route("GET", from, FakeResponse::empty(status).withHeader("Location", to));
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    SiteMonitorCurlTest,
    ::testing::Values(
        CurlRow{"Ok",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::text("ok")); },
                "http://%1/",
                false,
                {},
                "up"},
        CurlRow{"MovedThenOk",
                [](FakeHttpServer &s) {
                    redirect(s, "/old", 301, "/new");
                    s.route("GET", "/new", FakeResponse::text("ok"));
                },
                "http://%1/old",
                false,
                {},
                "up"},
        CurlRow{"FoundThenUnavailable",
                [](FakeHttpServer &s) {
                    redirect(s, "/", 302, "/busy");
                    s.route("GET", "/busy", FakeResponse::empty(503));
                },
                "http://%1/",
                false,
                {},
                "503 Service Unavailable"},
        CurlRow{"Unauthorized",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::empty(401)); },
                "http://%1/",
                false,
                {},
                "up"},
        CurlRow{"NotFound",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::empty(404)); },
                "http://%1/",
                false,
                {},
                "404 Not Found. The requested resource could not be found"},
        CurlRow{"Teapot",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::empty(418)); },
                "http://%1/",
                false,
                {},
                "HTTP 418"},
        CurlRow{"Unavailable",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::empty(503)); },
                "http://%1/",
                false,
                {},
                "503 Service Unavailable"},
        // Only a status line that opens a header block tells the status.
        CurlRow{"ErrorWithAStatusLikeHeader",
                [](FakeHttpServer &s) {
                    s.route("GET", "/", FakeResponse::empty(500).withHeader("HTTP-Status", "200 OK"));
                },
                "http://%1/",
                false,
                {},
                "500 Internal Server Error"},
        CurlRow{"ErrorWithAStatusLikeTrailer",
                [](FakeHttpServer &s) {
                    s.route(
                        "GET",
                        "/",
                        FakeResponse::raw("HTTP/1.1 500 Internal Server Error\r\nTransfer-Encoding: chunked\r\n"
                                          "Trailer: HTTP-Status\r\n\r\n2\r\nok\r\n0\r\nHTTP-Status: 200 OK\r\n\r\n"));
                },
                "http://%1/",
                false,
                {},
                "500 Internal Server Error"},
        CurlRow{
            "LineFeedsOnlyFoundThenError",
            [](FakeHttpServer &s) {
                s.route("GET", "/", FakeResponse::raw("HTTP/1.1 302 Found\nLocation: /down\nContent-Length: 0\n\n"));
                s.route("GET", "/down", FakeResponse::raw("HTTP/1.1 500 Internal Server Error\nContent-Length: 0\n\n"));
            },
            "http://%1/",
            false,
            {},
            "500 Internal Server Error"},
        CurlRow{"NotFoundWithAnHttpsHeader",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::empty(404).withHeader("HTTPS", "on")); },
                "http://%1/",
                false,
                {},
                "404 Not Found. The requested resource could not be found"},
        CurlRow{"ClosedPort", nullptr, "http://%closed/", false, {}, "Failed to connect to 127.0.0.1 port", true},
        CurlRow{"StallPastTheTransferLimit",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::stall()); },
                "http://%1/",
                false,
                {10s, 1s},
                "Operation timed out after",
                true},
        CurlRow{"PlainHttpAliasAsWritten",
                [](FakeHttpServer &s) { s.route("GET", "/status", FakeResponse::text("ok")); },
                "http://%1/status",
                false,
                {},
                "up"},
        CurlRow{"DefaultSiteAtItsServersAddress",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::text("ok")); },
                "%1",
                true,
                {},
                "up"},
        CurlRow{"VerboseCurlrcIsIgnored",
                [](FakeHttpServer &s) { s.route("GET", "/", FakeResponse::text("ok")); },
                "http://%1/",
                false,
                {},
                "up",
                false,
                true}),
    [](const ::testing::TestParamInfo<CurlRow> &info) { return std::string(info.param.name); });

// --- A fake curl by the path seam ------------------------------------------------------------------

struct OutputRow
{
    const char *name;
    QString out;
    QString err;
    QString expected;
};

class SiteMonitorOutputTest : public ::testing::TestWithParam<OutputRow>
{
};

TEST_P(SiteMonitorOutputTest, CurlsOutputIsReadAsDesigned)
{
    const OutputRow &row = GetParam();
    FakeCurl curl;
    curl.setHandler([&row](const QStringList &) { return FakeCurl::Answer{row.out, row.err}; });
    SiteMonitor monitor(siteNamed(QStringLiteral("shop.example")), std::nullopt, FakeCurl::program());
    EXPECT_EQ(outcome(await(monitor.checkSite())), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs,
    SiteMonitorOutputTest,
    ::testing::Values(
        OutputRow{"Http2WithoutReason", "HTTP/2 200 \r\ncontent-type: text/html\r\n\r\n", "", "up"},
        OutputRow{"ReasonPhrase",
                  "HTTP/1.1 404 Not Found\r\n\r\n",
                  "",
                  "404 Not Found. The requested resource could not be found"},
        OutputRow{"LastResponseCounts",
                  "HTTP/1.1 301 Moved\r\nLocation: /x\r\n\r\nHTTP/1.1 502 Bad Gateway\r\n\r\n",
                  "",
                  "502 Bad Gateway"},
        OutputRow{"GatewayTimeout", "HTTP/1.1 504 Gateway Timeout\r\n\r\n", "", "HTTP 504"},
        OutputRow{"ServerError", "HTTP/1.1 500 Internal Server Error\r\n\r\n", "", "500 Internal Server Error"},
        OutputRow{"Forbidden", "HTTP/1.1 403 Forbidden\r\n\r\n", "", "up"},
        OutputRow{"HeadersAndErrorText",
                  "HTTP/1.1 200 OK\r\n\r\n",
                  "curl: (60) SSL certificate problem: certificate has expired. More details here: https://x\n",
                  "SSL certificate problem: certificate has expired"},
        OutputRow{"ErrorTextFirstLineOnly",
                  "",
                  "curl: (6) Could not resolve host: shop.example\nsecond line\n",
                  "Could not resolve host: shop.example"},
        OutputRow{"NoOutput", "", "", "Unknown error."},
        OutputRow{"StatusLineWithoutCode", "HTTP/1.1\r\n\r\n", "", "Unknown error."},
        OutputRow{"CodeNotANumber", "HTTP/1.1 2OO OK\r\n\r\n", "", "Unknown error."},
        OutputRow{"NoStatusLine", "content-type: text/html\r\n\r\n", "", "Unknown error."}),
    [](const ::testing::TestParamInfo<OutputRow> &info) { return std::string(info.param.name); });

TEST(SiteMonitorLaunchTest, AMissingCurlIsTheSitesDownMessage)
{
    SiteMonitor monitor(siteNamed(QStringLiteral("shop.example")), std::nullopt, QStringLiteral("/nonexistent/curl"));
    const QString result = outcome(await(monitor.checkSite()));
    EXPECT_TRUE(result.contains(QStringLiteral("No such file or directory"))) << result.toStdString();
}

TEST(SiteMonitorLaunchTest, ACheckStillRunningWhenTheApplicationQuitsEndsWithIt)
{
    FakeCurl curl;
    curl.setHandler([](const QStringList &) { return std::optional<FakeCurl::Answer>(); });
    SiteMonitor monitor(siteNamed(QStringLiteral("shop.example")), std::nullopt, FakeCurl::program());
    // A check cut off by the quit is never resumed, so its task never ends: it is kept to the end of the
    // process, as the application's own are, where the leak checker finds it still reachable.
    [[maybe_unused]] static auto *check = new QCoro::Task<std::optional<SiteCheckError>>(monitor.checkSite());
    ASSERT_TRUE(QTest::qWaitFor([&] { return curl.running() == 1; }, 20'000));
    ASSERT_EQ(FakeCurl::childStates().size(), 1);

    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    // Killed at once: a zombie until it is reaped, then gone.
    const auto ended = [] {
        const QList<char> states = FakeCurl::childStates();
        return std::all_of(states.begin(), states.end(), [](char state) { return state == 'Z'; });
    };
    EXPECT_TRUE(QTest::qWaitFor(ended, 5'000));
}

// --- The argument list and the address ---------------------------------------------------------------

struct AddressRow
{
    const char *name;
    std::optional<QString> siteName;
    std::optional<QString> alias;
    std::optional<QString> serverAddress;
    // The address curl is given, or the message when curl must not start.
    QString expected;
    bool startsCurl = true;
};

class SiteMonitorAddressTest : public ::testing::TestWithParam<AddressRow>
{
};

TEST_P(SiteMonitorAddressTest, OneAddressArgumentAfterTheDesignedOptions)
{
    const AddressRow &row = GetParam();
    FakeCurl curl;
    curl.setHandler([](const QStringList &) { return FakeCurl::Answer{"HTTP/1.1 200 OK\r\n\r\n", {}}; });
    Site site = siteNamed(row.siteName, row.alias);
    SiteMonitor monitor(site, row.serverAddress, FakeCurl::program());
    const QString result = outcome(await(monitor.checkSite()));
    if (!row.startsCurl) {
        EXPECT_EQ(result, row.expected);
        EXPECT_TRUE(curl.calls().isEmpty());
        return;
    }
    ASSERT_EQ(curl.calls().size(), 1);
    EXPECT_EQ(
        curl.calls().first(),
        QStringList(
            {"-q", "-sSL", "--connect-timeout", "10", "--max-time", "15", "-D", "-", "-o", "/dev/null", row.expected}));
    EXPECT_EQ(result, QStringLiteral("up"));
}

INSTANTIATE_TEST_SUITE_P(
    Addresses,
    SiteMonitorAddressTest,
    ::testing::Values(
        AddressRow{"NameOverHttps", "shop.example", std::nullopt, std::nullopt, "https://shop.example"},
        AddressRow{
            "AliasWithoutScheme", "shop.example", "www.shop.example/up", std::nullopt, "https://www.shop.example/up"},
        AddressRow{"HttpAliasAsWritten",
                   "shop.example",
                   "http://10.0.0.5:8080/health",
                   std::nullopt,
                   "http://10.0.0.5:8080/health"},
        AddressRow{"EmptyAliasUsesTheName", "shop.example", "", std::nullopt, "https://shop.example"},
        AddressRow{"DefaultSiteAtItsServer", "default", std::nullopt, "203.0.113.7", "http://203.0.113.7"},
        AddressRow{"DefaultSiteOnIPv6", "default", std::nullopt, "2001:db8::1", "http://[2001:db8::1]"},
        AddressRow{"DefaultSiteWithoutAddress",
                   "default",
                   std::nullopt,
                   std::nullopt,
                   "Could not construct URL for site",
                   false},
        AddressRow{"NoName", std::nullopt, std::nullopt, std::nullopt, "No site name defined", false},
        AddressRow{
            "NameWithSpaces", "my shop.example", std::nullopt, std::nullopt, "Could not construct URL for site", false},
        AddressRow{
            "NameLikeAnOption", "-o /tmp/x", std::nullopt, std::nullopt, "Could not construct URL for site", false},
        AddressRow{"AliasWithShellText",
                   "shop.example",
                   "http://shop.example/$(touch /tmp/x) -o /tmp/x",
                   std::nullopt,
                   "http://shop.example/$(touch%20/tmp/x)%20-o%20/tmp/x"},
        AddressRow{"AliasWithCurlGlobs",
                   "shop.example",
                   "https://shop.example/[1-9]{a,b}",
                   std::nullopt,
                   "https://shop.example/%5B1-9%5D%7Ba,b%7D"}),
    [](const ::testing::TestParamInfo<AddressRow> &info) { return std::string(info.param.name); });

} // namespace
