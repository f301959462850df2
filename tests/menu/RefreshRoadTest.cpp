#include "StatusMenuFixture.h"
#include "core/NotificationNames.h"
#include "menu/MenuTags.h"
#include "platform/DockVisibilityManager.h"
#include "platform/StatusItem.h"

#include <QRegularExpression>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class RefreshRoadTest : public StatusMenuFixture
{
protected:
    bool showsErrorIcon() const { return controller->statusItem()->imageName() == QStringLiteral("menubar_error"); }

    QStringList blockedLines() const
    {
        return logLinesStartingWith(QStringLiteral("[StatusMenu] updateServers() BLOCKED - "));
    }

    int allSitesLoadedCount = 0;
    QObject observer;

    void countAllSitesLoaded()
    {
        NotificationCenter::defaultCenter().addObserver(
            NotificationNames::allSitesLoaded, &observer, [this](const Notification &) { ++allSitesLoadedCount; });
    }
};

} // namespace

TEST_F(RefreshRoadTest, OneAccountsServersFromPositionFourSortedWithHiddenRevokedAndDecodedNames)
{
    Account account = addAccount("Main");
    const QString slug = forge.addOrganization("Acme").slug;
    const qint64 beta = forge.addServer(slug, "beta").id;
    const qint64 alpha = forge.addServer(slug, "Alpha").id;
    const qint64 gamma = forge.addServer(slug, "gamma").id;
    forge.addServer(slug, "revoked").attributes.insert("revoked", true);
    const qint64 hidden = forge.addServer(slug, "hidden-one").id;
    forge.addSite(alpha, "cherry.example");
    const qint64 books = forge.addSite(alpha, "xn--bcher-kva.example").id;
    const qint64 apple = forge.addSite(alpha, "apple.example").id;
    account.hiddenServers = QList<qint64>{hidden};
    account.ignoredMonitoringSites = QList<qint64>{apple};
    saveAccount(account);
    countAllSitesLoaded();

    start();
    networkUp();
    waitUntilIdle();

    const QStringList items = titles(menu());
    EXPECT_EQ(items.mid(3, 7), (QStringList{"-", "Alpha", "beta", "gamma", "[hidden-one]", "-", "Preferences…"}));
    EXPECT_EQ(MenuItems::tag(menu()->actions().at(4)), MenuTag::server(alpha));
    EXPECT_EQ(MenuItems::tag(menu()->actions().at(5)), MenuTag::server(beta));
    EXPECT_EQ(MenuItems::tag(menu()->actions().at(6)), MenuTag::server(gamma));
    EXPECT_EQ(items.count(QStringLiteral("revoked")), 0);

    QMenu *alphaMenu = menu()->actions().at(4)->menu();
    EXPECT_EQ(titles(alphaMenu).mid(13), (QStringList{"apple.example", "bücher.example", "cherry.example"}));
    EXPECT_EQ(MenuItems::tag(alphaMenu->actions().at(14)), MenuTag::site(books));

    ASSERT_EQ(appState.serverList.size(), 4);
    EXPECT_EQ(appState.siteList.size(), 3);
    EXPECT_EQ(appState.loadedServers, 4);
    EXPECT_EQ(appState.expectedSiteCount, 3);
    for (const Site &site : appState.siteList) {
        EXPECT_EQ(site.serverId, alpha);
        EXPECT_EQ(site.accountId, account.uuid);
        EXPECT_EQ(site.disableMonitoring, site.id == apple);
    }
    EXPECT_EQ(allSitesLoadedCount, 1);
    EXPECT_FALSE(showsErrorIcon());
    EXPECT_EQ(logLinesStartingWith("[LoadServers] Filtered out ").value(0),
              "[LoadServers] Filtered out 1 revoked servers");
    EXPECT_EQ(logLinesStartingWith("[LoadServers] ⚠️ Server 'hidden-one'").size(), 1);
    EXPECT_EQ(logLinesStartingWith("[StatusMenu] Load complete: ").value(0),
              "[StatusMenu] Load complete: 4 servers (3 visible, 1 hidden)");
}

TEST_F(RefreshRoadTest, SeveralAccountsAsSubmenusInStoredOrderAndReordered)
{
    const Account a = addAccount("A");
    const Account b = addAccount("B");
    const Account c = addAccount("C");
    forge.buildAccount(1, 2, 4);
    start();
    networkUp();
    waitUntilIdle();

    EXPECT_EQ(titles(menu()).mid(4, 3), (QStringList{"A", "B", "C"}));
    for (int i = 0; i < 3; ++i) {
        QAction *item = menu()->actions().at(4 + i);
        EXPECT_EQ(MenuItems::tag(item), MenuTags::AccountItem);
        EXPECT_EQ(MenuItems::representedObject<QString>(item), (QList<Account>{a, b, c}).at(i).uuid);
        EXPECT_EQ(titles(item->menu()), (QStringList{"server-001", "server-002"}));
    }
    EXPECT_EQ(appState.serverList.size(), 6);
    EXPECT_EQ(appState.siteList.size(), 12);

    AccountManager::saveAccounts({c, a, b}, defaults);
    NotificationCenter::defaultCenter().post(NotificationNames::accountsReordered);
    QCoreApplication::processEvents();
    EXPECT_EQ(titles(menu()).mid(4, 3), (QStringList{"C", "A", "B"}));
}

TEST_F(RefreshRoadTest, NoAccountEndsTheRefreshAtOnceWithoutAllSitesLoaded)
{
    countAllSitesLoaded();
    start();
    networkUp();
    EXPECT_FALSE(appState.isLoadingData());
    EXPECT_EQ(allSitesLoadedCount, 0);
    EXPECT_TRUE(forge.requests().isEmpty());
}

TEST_F(RefreshRoadTest, TheGateGivesTheFirstReasonThatAppliesAndTouchesNothing)
{
    addAccount("Main");
    forge.buildAccount(1, 2, 2);
    forge.setLatency(std::chrono::milliseconds(40));
    start();
    networkUp(); // starts a refresh, still loading below
    ASSERT_TRUE(appState.isLoadingData());
    setSignedIn(false);
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), false);
    networkDown();

    controller->updateServers();
    networkUp(ReachabilityFlag::IsDirect); // back within 5 s: no refresh of its own
    controller->updateServers();
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    controller->updateServers();
    waitUntilIdle();
    const QStringList loaded = titles(menu());
    const QList<Server> servers = appState.serverList;
    controller->updateServers();

    EXPECT_EQ(blockedLines(),
              (QStringList{"[StatusMenu] updateServers() BLOCKED - no network",
                           "[StatusMenu] updateServers() BLOCKED - onboarding not completed",
                           "[StatusMenu] updateServers() BLOCKED - already loading",
                           "[StatusMenu] updateServers() BLOCKED - not authenticated"}));
    EXPECT_EQ(titles(menu()), loaded);
    EXPECT_EQ(appState.serverList, servers);
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 1);
}

TEST_F(RefreshRoadTest, AnOrganisationWhoseSiteListingFailsFallsBackToPerServerListings)
{
    addAccount("Main");
    const QString first = forge.addOrganization("First").slug;
    const QString second = forge.addOrganization("Second").slug;
    const qint64 a = forge.addServer(first, "a").id;
    const qint64 b = forge.addServer(second, "b").id;
    const qint64 c = forge.addServer(second, "c").id;
    for (const qint64 server : {a, b, c}) {
        forge.addSite(server, QStringLiteral("site-of-%1.example").arg(server));
    }
    forge.failNext("GET", QStringLiteral("/api/orgs/%1/sites").arg(second), forge.errorResponse(500));
    start();
    networkUp();
    waitUntilIdle();

    EXPECT_EQ(forge.requestCount("GET", QStringLiteral("/api/orgs/%1/servers/%2/sites").arg(second).arg(b)), 1);
    EXPECT_EQ(forge.requestCount("GET", QStringLiteral("/api/orgs/%1/servers/%2/sites").arg(second).arg(c)), 1);
    EXPECT_EQ(forge.requestCount("GET", QStringLiteral("/api/orgs/%1/servers/%2/sites").arg(first).arg(a)), 0);
    EXPECT_EQ(appState.siteList.size(), 3);
    for (const qint64 server : {a, b, c}) {
        EXPECT_NE(MenuItems::findItem(menu(), MenuTag::site(forge.sites().at(std::size_t(server - a)).id)), nullptr);
    }
    EXPECT_EQ(logLinesStartingWith("[LoadServers] ❌ Failed to load sites for org '" + second + "'").size(), 1);
    EXPECT_EQ(logLinesStartingWith("[StatusMenu] Load complete: ").size(), 1);
}

namespace {

struct FailureRow
{
    const char *name;
    std::function<FakeResponse(FakeForge &)> answer;
    int times;
    std::optional<QString> marker;
    std::optional<QString> alert;
    bool errorIcon;
    bool retried;
    QString logLine;
};

void PrintTo(const FailureRow &row, std::ostream *out)
{
    *out << row.name;
}

class RefreshFailureTest : public RefreshRoadTest, public ::testing::WithParamInterface<FailureRow>
{
};

} // namespace

TEST_P(RefreshFailureTest, EachFailureClassGetsItsMarkerIconAlertAndRetry)
{
    const FailureRow &row = GetParam();
    addAccount("Main");
    forge.buildAccount(1, 1, 1);
    forge.failNext("GET", QStringLiteral("/api/orgs"), row.answer(forge), row.times);
    countAllSitesLoaded();
    start();
    networkUp();
    waitUntilIdle();
    QCoreApplication::processEvents();

    EXPECT_EQ(allSitesLoadedCount, 1);
    const QString first = menu()->actions().first()->text();
    if (row.marker) {
        EXPECT_EQ(first, *row.marker);
        EXPECT_TRUE(menu()->actions().at(1)->isSeparator());
    } else {
        EXPECT_EQ(first, QStringLiteral("Open Terminal Here"));
    }
    EXPECT_EQ(showsErrorIcon(), row.errorIcon);
    if (row.alert) {
        ASSERT_EQ(alerts.open().size(), 1);
        EXPECT_EQ(alerts.open().first().alert.messageText, *row.alert);
    } else {
        EXPECT_TRUE(alerts.open().isEmpty());
    }
    EXPECT_EQ(controller->isRetryPending(), row.retried);
    EXPECT_TRUE(logLines().contains(row.logLine)) << logLines().join('\n').toStdString();

    // The retry is a refresh 30 seconds later, through the gate like any other.
    advanceClock(std::chrono::seconds(30));
    waitUntilIdle();
    EXPECT_EQ(logLinesStartingWith("[StatusMenu] === updateServers() STARTING ===").size(), row.retried ? 2 : 1);
    if (row.alert) {
        alerts.answer(alerts.open().first().id, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Classes,
                         RefreshFailureTest,
                         ::testing::Values(
                             // Qt itself resends a request whose connection drops, so every attempt is dropped here.
                             FailureRow{"connection",
                                        [](FakeForge &) { return FakeResponse::drop(); },
                                        1000,
                                        std::nullopt,
                                        std::nullopt,
                                        false,
                                        true,
                                        "Network request failed (no connection) for Main"},
                             FailureRow{"gateway",
                                        [](FakeForge &f) { return f.errorResponse(502); },
                                        1,
                                        std::nullopt,
                                        std::nullopt,
                                        false,
                                        true,
                                        "Forge temporarily unavailable (Bad gateway (502))"},
                             FailureRow{"invalidKey",
                                        [](FakeForge &f) { return f.errorResponse(401); },
                                        1,
                                        QStringLiteral("API-Key seems not valid. Expired?"),
                                        std::nullopt,
                                        true,
                                        true,
                                        "API-Key seems not valid. Expired?"},
                             FailureRow{"forbidden",
                                        [](FakeForge &f) { return f.errorResponse(403); },
                                        1,
                                        QStringLiteral("API key needs to be regenerated"),
                                        std::nullopt,
                                        true,
                                        false,
                                        "HTTP 403 - API key lacks required permissions for Main"},
                             FailureRow{"notFound",
                                        [](FakeForge &f) { return f.errorResponse(404); },
                                        1,
                                        QStringLiteral("An error occured (404)"),
                                        std::nullopt,
                                        true,
                                        true,
                                        "An error occured  (404)"},
                             FailureRow{"other",
                                        [](FakeForge &f) { return f.errorResponse(500); },
                                        1,
                                        std::nullopt,
                                        QStringLiteral("An error occured (unknown)"),
                                        false,
                                        false,
                                        "An error occured (default): Request failed due to an internal error in Forge"},
                             FailureRow{"undecodable",
                                        [](FakeForge &) { return FakeForge::malformedJson(); },
                                        1,
                                        QStringLiteral("An error occured (unknown)"),
                                        std::nullopt,
                                        true,
                                        true,
                                        "An error occured (unknown)"}),
                         [](const ::testing::TestParamInfo<FailureRow> &info) { return std::string(info.param.name); });

TEST_F(RefreshRoadTest, ForbiddenDetailNamesTheForgeSiteAndTheAlertNamesTheAccount)
{
    addAccount("Main");
    forge.failNext("GET", QStringLiteral("/api/orgs"), forge.errorResponse(403));
    start();
    networkUp();
    waitUntilIdle();
    EXPECT_TRUE(logLines().contains(
        "Your Forge API key may not have the required permissions. Please create a new API token at forge.laravel.com "
        "and update it in Preferences."))
        << logLines().join('\n').toStdString();
}

TEST_F(RefreshRoadTest, ASecondFailureReplacesThePendingRetry)
{
    addAccount("Main");
    forge.buildAccount(1, 1, 1);
    forge.failNext("GET", QStringLiteral("/api/orgs"), forge.errorResponse(404), 2);
    start();
    networkUp();
    waitUntilIdle();
    QCoreApplication::processEvents();
    ASSERT_TRUE(controller->isRetryPending());

    advanceClock(std::chrono::seconds(10));
    controller->updateServers(); // fails again and schedules anew
    waitUntilIdle();
    QCoreApplication::processEvents();
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 2);
    // The rebuild took the first marker away; the new failure puts its own back.
    EXPECT_EQ(menu()->actions().first()->text(), QStringLiteral("An error occured (404)"));

    advanceClock(std::chrono::seconds(20)); // the first schedule's time: replaced, nothing happens
    EXPECT_FALSE(appState.isLoadingData());
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 2);

    advanceClock(std::chrono::seconds(10));
    waitUntilIdle();
    EXPECT_EQ(forge.requestCount("GET", "/api/orgs"), 3) << logLines().join("\n").toStdString();
    EXPECT_FALSE(controller->isRetryPending()); // a complete load cancels retries
    EXPECT_EQ(menu()->actions().first()->text(), QStringLiteral("Open Terminal Here"));
}

TEST_F(RefreshRoadTest, TwoMarkersBeforeALoadAddOneItem)
{
    start();
    controller->reportError(QStringLiteral("first"), std::nullopt);
    controller->reportError(QStringLiteral("second"), QStringLiteral("detail"));
    EXPECT_EQ(titles(menu()).mid(0, 3), (QStringList{"first", "-", "[Open Terminal Here]"}));
    EXPECT_TRUE(logLines().contains("second"));
    EXPECT_TRUE(logLines().contains("detail"));
}

TEST_F(RefreshRoadTest, OverlappingRefreshesAddNoDuplicates)
{
    addAccount("A");
    addAccount("B");
    forge.buildAccount(2, 4, 8);
    forge.setLatency(std::chrono::milliseconds(30));
    forge.failNext("GET", QStringLiteral("/api/orgs"), forge.errorResponse(403));
    start();
    networkUp();
    // The failure ends the first refresh while the other account's loader is still at work.
    ASSERT_TRUE(QTest::qWaitFor([this] { return !appState.isLoadingData(); }, 20'000));
    ASSERT_TRUE(controller->hasRunningLoaders());
    controller->updateServers();
    waitUntilIdle();

    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(titles(menu()->actions().at(4 + i)->menu()),
                  (QStringList{"server-001", "server-002", "server-003", "server-004"}));
    }
    EXPECT_EQ(appState.serverList.size(), 8);
    EXPECT_EQ(appState.siteList.size(), 16);
    EXPECT_EQ(logLinesStartingWith("[StatusMenu] Load complete: ").size(), 1);
}

TEST_F(RefreshRoadTest, TheSummaryCountsTheRequestsForgeSaw)
{
    addAccount("A");
    addAccount("B");
    forge.buildAccount(3, 6, 30);
    forge.setMaxPageSize(4); // several pages per listing
    start();
    networkUp();
    waitUntilIdle();
    const QStringList summary = logLinesStartingWith("[AutoRefresh] Refresh done: ");
    ASSERT_EQ(summary.size(), 1);
    const auto match = QRegularExpression("Refresh done: (\\d+) requests").match(summary.first());
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(match.captured(1).toInt(), forge.requests().size());
    EXPECT_GT(forge.requests().size(), 10);
}

TEST_F(RefreshRoadTest, ServerMenuItemSearchKeepsTheKindsApart)
{
    addAccount("Main");
    forge.buildAccount(1, 1, 1);
    start();
    networkUp();
    waitUntilIdle();
    const Server server = appState.serverList.first();
    const Site site = appState.siteList.first();
    EXPECT_EQ(controller->serverMenuItem(MenuTag::server(server.id), menu())->text(), *server.name);
    EXPECT_EQ(controller->serverMenuItem(MenuTag::site(site.id), menu())->text(), *site.name);
    EXPECT_EQ(controller->serverMenuItem(MenuTag::site(server.id), menu()), nullptr);
    EXPECT_EQ(controller->serverMenuItem(MenuTag::server(1), nullptr), nullptr);
}

// Two accounts, one of whose keys Forge refuses: the marker on top, and the failing account's own
// submenu says what failed, while the other lists its servers.
TEST_F(RefreshRoadTest, AFailingAccountSaysSoInItsOwnSubmenu)
{
    addAccount("Acme");
    addAccount("Beta");
    forge.buildAccount(1, 2, 2);
    forge.setValidKeys({QStringLiteral("key-Acme")});
    start();
    networkUp();
    waitUntilIdle();
    const QString failure = QStringLiteral("API-Key seems not valid. Expired?");
    EXPECT_EQ(titles(menu()).value(0), failure);
    QAction *acme = itemTitled(menu(), QStringLiteral("Acme"));
    QAction *beta = itemTitled(menu(), QStringLiteral("Beta"));
    ASSERT_TRUE(acme && acme->menu() && beta && beta->menu());
    EXPECT_EQ(titles(beta->menu()), QStringList{failure});
    EXPECT_EQ(titles(acme->menu()), (QStringList{"server-001", "server-002"}));

    // Mended, the next refresh lists its servers in place of the failure.
    forge.setValidKeys({QStringLiteral("key-Acme"), QStringLiteral("key-Beta")});
    refreshAndWait();
    EXPECT_EQ(titles(beta->menu()), (QStringList{"server-001", "server-002"}));

    // Without a connection, which is only logged and retried, neither submenu stands empty.
    forge.failNext("GET", QStringLiteral("/api/orgs"), FakeResponse::drop(), 1000);
    refreshAndWait();
    EXPECT_EQ(titles(acme->menu()), QStringList{"No Connection"});
    EXPECT_EQ(titles(beta->menu()), QStringList{"No Connection"});
}
