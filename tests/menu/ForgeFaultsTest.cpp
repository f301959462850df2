#include "StatusMenuFixture.h"
#include "menu/MenuTags.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

// One fault of a Forge that misbehaves, met by a refresh or a deploy through the real HTTP client.
struct FaultRow
{
    const char *name;
    std::function<void(FakeForge &)> script;
    bool deploys = false;
    // "METHOD path" of each request the fake saw, the refresh's or the deploy's.
    QStringList requests;
    // The error marker at the top of the menu, none when empty; the servers with their sites.
    QString marker;
    QStringList shown;
    QString alert; // the alert's informative text, none when empty
    bool retries = false;
};

void PrintTo(const FaultRow &row, std::ostream *out)
{
    *out << row.name;
}

const QString Servers = QStringLiteral("/api/orgs/acme/servers");
const QString Sites = QStringLiteral("/api/orgs/acme/sites");
const QString Deployments = QStringLiteral("/api/orgs/acme/servers/1001/sites/10001/deployments");
const QStringList Healthy{"web-1: blog.example, shop.example", "web-2: docs.example"};

QByteArray edited(const QByteArray &body, const std::function<void(QJsonObject &)> &edit)
{
    QJsonObject document = QJsonDocument::fromJson(body).object();
    edit(document);
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

// The first resource of the page once more at its end.
FakeResponse repeatingFirst(FakeResponse page)
{
    page.body = edited(page.body, [](QJsonObject &document) {
        QJsonArray data = document.value(QStringLiteral("data")).toArray();
        data.append(data.first());
        document.insert(QStringLiteral("data"), data);
    });
    return page;
}

class ForgeFaultsTest : public StatusMenuFixture, public ::testing::WithParamInterface<FaultRow>
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        addAccount(QStringLiteral("Acme"));
        forge.addOrganization(QStringLiteral("Acme"), QStringLiteral("acme"));
        const qint64 web1 = forge.addServer(QStringLiteral("acme"), QStringLiteral("web-1"), 1001).id;
        const qint64 web2 = forge.addServer(QStringLiteral("acme"), QStringLiteral("web-2"), 1002).id;
        forge.addSite(web1, QStringLiteral("shop.example"), 10001);
        forge.addSite(web1, QStringLiteral("blog.example"), 10002);
        forge.addSite(web2, QStringLiteral("docs.example"), 10003);
        // A stall ends in "timed out" after this, not after a minute.
        previousIdleTimeout = HttpSession::shared().idleTimeout();
        HttpSession::shared().setIdleTimeout(2s);
    }

    void TearDown() override
    {
        HttpSession::shared().setIdleTimeout(previousIdleTimeout);
        StatusMenuFixture::TearDown();
    }

    QStringList seen(qsizetype from) const
    {
        QStringList lines;
        for (const RecordedRequest &request : forge.requests().mid(from)) {
            lines << QString::fromLatin1(request.method) + u' ' + request.path;
        }
        return lines;
    }

    QStringList shownServers() const
    {
        QStringList shown;
        for (QAction *server : MenuItems::items(menu())) {
            if (MenuItems::tag(server).kind != MenuTagKind::Server) {
                continue;
            }
            QStringList sites;
            for (QAction *site : MenuItems::items(server->menu())) {
                if (MenuItems::tag(site).kind == MenuTagKind::Site) {
                    sites << site->text();
                }
            }
            shown << server->text() + QStringLiteral(": ") + sites.join(QStringLiteral(", "));
        }
        return shown;
    }

    void deploy()
    {
        QAction *server = controller->serverMenuItem(MenuTag::server(1001), menu());
        ASSERT_NE(server, nullptr);
        QAction *site = itemTitled(server->menu(), QStringLiteral("shop.example"));
        ASSERT_NE(site, nullptr);
        const qsizetype before = alerts.shown().size();
        controller->deploySite(MenuItems::items(site->menu()).first());
        ASSERT_EQ(alerts.open().size(), 1);
        alerts.answer(alerts.open().last().id, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.shown().size() > before + 1; }, 20'000));
    }

    // The session is the process's: later tests get its own time-out back.
    std::chrono::milliseconds previousIdleTimeout{};
};

} // namespace

TEST_P(ForgeFaultsTest, TheFakeSeesEachRequestOnceAndTheMenuTellsWhatHappened)
{
    const FaultRow &row = GetParam();
    start();
    if (row.deploys) {
        networkUp();
        waitUntilIdle();
    }
    row.script(forge);
    const qsizetype from = forge.requests().size();
    const qsizetype deployments = forge.site(10001)->deployments.size();
    if (row.deploys) {
        deploy();
        EXPECT_EQ(forge.site(10001)->deployments.size(), deployments + 1);
    } else {
        networkUp();
        waitUntilIdle();
    }
    QCoreApplication::processEvents();

    EXPECT_EQ(seen(from), row.requests);
    const QString first = titles(menu()).value(0);
    EXPECT_EQ(first.startsWith(QStringLiteral("An error occured")) ? first : QString(), row.marker);
    EXPECT_EQ(shownServers(), row.shown);
    const auto shown = alerts.shown();
    EXPECT_EQ(shown.isEmpty() ? QString() : shown.last().alert.informativeText, row.alert);
    EXPECT_EQ(controller->isRetryPending(), row.retries);

    if (row.retries) {
        // The retry brings the menu back on its own once Forge answers again.
        advanceClock(StatusMenuController::RetryInterval);
        waitUntilIdle();
        EXPECT_EQ(shownServers(), Healthy);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults,
    ForgeFaultsTest,
    ::testing::Values(
        FaultRow{"ResetAfterTheDeployWasTaken",
                 [](FakeForge &forge) {
                     forge.transformNext("POST", Deployments, [](FakeResponse) { return FakeResponse::reset(); });
                 },
                 true,
                 {"POST " + Deployments},
                 {},
                 Healthy,
                 "The network connection was lost for account: Acme",
                 false},
        FaultRow{"AnHtmlPageWithStatus200",
                 [](FakeForge &forge) {
                     forge.failNext("GET", Servers, FakeResponse::html("<html><body>Welcome</body></html>", 200));
                 },
                 false,
                 {"GET /api/orgs", "GET " + Servers},
                 "An error occured (unknown)",
                 {},
                 {},
                 true},
        FaultRow{"APagingLoop",
                 [](FakeForge &forge) {
                     // One server a page; the second page's "next" names the second page again.
                     forge.setMaxPageSize(1);
                     auto second = std::make_shared<std::optional<QJsonValue>>();
                     forge.transformNext(
                         "GET",
                         Servers,
                         [second](FakeResponse page) {
                             page.body = edited(page.body, [&second](QJsonObject &document) {
                                 QJsonObject links = document.value(QStringLiteral("links")).toObject();
                                 if (!*second) {
                                     *second = links.value(QStringLiteral("next"));
                                 } else {
                                     links.insert(QStringLiteral("next"), **second);
                                     document.insert(QStringLiteral("links"), links);
                                 }
                             });
                             return page;
                         },
                         20);
                 },
                 false,
                 {"GET /api/orgs", "GET " + Servers, "GET " + Servers, "GET " + Sites, "GET " + Sites, "GET " + Sites},
                 {},
                 Healthy,
                 {},
                 false},
        FaultRow{"RepeatedIds",
                 [](FakeForge &forge) {
                     forge.transformNext("GET", Servers, repeatingFirst);
                     forge.transformNext("GET", Sites, repeatingFirst);
                 },
                 false,
                 {"GET /api/orgs", "GET " + Servers, "GET " + Sites},
                 {},
                 Healthy,
                 {},
                 false},
        FaultRow{"StalledSiteListings",
                 [](FakeForge &forge) {
                     forge.failNext("GET", Sites, FakeResponse::stall(), 2);
                     forge.failNext("GET", Servers + "/1001/sites", FakeResponse::stall(), 2);
                     forge.failNext("GET", Servers + "/1002/sites", FakeResponse::stall(), 2);
                 },
                 false,
                 {"GET /api/orgs", "GET " + Servers, "GET " + Sites, "GET " + Sites},
                 {},
                 {"web-1: ", "web-2: "},
                 {},
                 true}),
    [](const ::testing::TestParamInfo<FaultRow> &info) { return std::string(info.param.name); });
