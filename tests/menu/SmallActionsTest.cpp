#include "RecordingUrlOpener.h"
#include "RepresentedItem.h"
#include "StatusMenuFixture.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/MenuAction.h"
#include "menu/MenuRepresenter.h"
#include "notifications/MonitoringStatus.h"

using namespace plimsy;
using namespace plimsy::test;

namespace {

Server makeServer(qint64 id, std::optional<QString> ip, std::optional<QString> privateIp, bool usePrivateIp)
{
    Server s;
    s.id = id;
    s.ipAddress = std::move(ip);
    s.privateIpAddress = std::move(privateIp);
    s.usePrivateIp = usePrivateIp;
    return s;
}

Site makeSite(qint64 id,
              std::optional<QString> name,
              std::optional<QString> alias = std::nullopt,
              std::optional<qint64> serverId = 7)
{
    Site s;
    s.id = id;
    s.serverId = serverId;
    s.name = std::move(name);
    s.URLAlias = std::move(alias);
    return s;
}

// The controller with records set by each test, and a browser that only records.
class SmallActionsTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        qputenv("PLIMSY_FORGE_WEB_BASE", "https://forge.test/servers/");
        account.uuid = QStringLiteral("ACCOUNT-1");
        StatusMenuServices s = services();
        s.urlOpener = &browser;
        controller = std::make_unique<StatusMenuController>(appState, std::move(s));
        controller->setup();
    }

    void TearDown() override
    {
        qunsetenv("PLIMSY_FORGE_WEB_BASE");
        StatusMenuFixture::TearDown();
    }

    QAction *item(qint64 serverId, std::optional<qint64> siteId)
    {
        return representedItem(&owner, serverId, siteId, account);
    }

    QObject owner;
    Account account;
    RecordingUrlOpener browser;
};

struct LinkRow
{
    const char *name;
    MenuAction action;
    QList<Server> servers;
    QList<Site> sites;
    std::optional<qint64> siteId;
    std::optional<QString> opened; // none: nothing may open
    bool loading = false;
};

void PrintTo(const LinkRow &row, std::ostream *os)
{
    *os << row.name;
}

class BrowserLinksTest : public SmallActionsTest, public ::testing::WithParamInterface<LinkRow>
{
};

using C = StatusMenuController;
const Server WithPublicAddress = makeServer(7, "203.0.113.7", std::nullopt, true);

} // namespace

TEST_P(BrowserLinksTest, OpensTheAddressOfTheItem)
{
    const LinkRow &row = GetParam();
    appState.serverList = row.servers;
    appState.siteList = row.sites;
    appState.loadingData = row.loading;
    (controller.get()->*row.action)(item(7, row.siteId));
    if (row.opened) {
        EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(*row.opened)});
    } else {
        EXPECT_TRUE(browser.opened.isEmpty()) << browser.opened.value(0).toString().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links,
    BrowserLinksTest,
    ::testing::Values(
        LinkRow{"AliasWithoutScheme", &C::visitSite, {}, {makeSite(1, "a.test", "alias.test")}, 1, "http://alias.test"},
        LinkRow{"AliasWithHttps",
                &C::visitSite,
                {},
                {makeSite(1, "a.test", "https://secure.test/x")},
                1,
                "https://secure.test/x"},
        LinkRow{"EmptyAliasFallsBackToTheName", &C::visitSite, {}, {makeSite(1, "a.test", "")}, 1, "http://a.test"},
        LinkRow{"FirstSiteWithTheId",
                &C::visitSite,
                {},
                {makeSite(1, "first.test"), makeSite(1, "second.test")},
                1,
                "http://first.test"},
        LinkRow{"DefaultSiteByPublicAddressWithoutPrivateOne",
                &C::visitSite,
                {WithPublicAddress},
                {makeSite(1, "default")},
                1,
                "http://203.0.113.7"},
        LinkRow{"DefaultSiteByPrivateAddress",
                &C::visitSite,
                {makeServer(7, "203.0.113.7", "10.0.0.7", true)},
                {makeSite(1, "default")},
                1,
                "http://10.0.0.7"},
        LinkRow{"DefaultSiteIgnoresPrivateAddressUnlessAsked",
                &C::visitSite,
                {makeServer(7, "203.0.113.7", "10.0.0.7", false)},
                {makeSite(1, "default")},
                1,
                "http://203.0.113.7"},
        LinkRow{"DefaultSiteWithoutItsServer", &C::visitSite, {}, {makeSite(1, "default")}, 1, std::nullopt},
        LinkRow{"DefaultSiteWithoutAnAddress",
                &C::visitSite,
                {makeServer(7, std::nullopt, std::nullopt, false)},
                {makeSite(1, "default")},
                1,
                std::nullopt},
        LinkRow{"SiteWithoutName", &C::visitSite, {}, {makeSite(1, std::nullopt)}, 1, std::nullopt},
        LinkRow{"NameThatIsNoAddress", &C::visitSite, {}, {makeSite(1, "bad name")}, 1, std::nullopt},
        LinkRow{"SiteNotLoaded", &C::visitSite, {}, {makeSite(2, "a.test")}, 1, std::nullopt},
        LinkRow{"ServerItem", &C::visitSite, {}, {makeSite(1, "a.test")}, std::nullopt, std::nullopt},
        LinkRow{"WhileLoading", &C::visitSite, {}, {makeSite(1, "a.test")}, 1, std::nullopt, true},
        LinkRow{"ForgeSitePage", &C::openForge, {}, {}, 42, "https://forge.test/servers/7/sites/42"},
        LinkRow{"ForgeNeedsASite", &C::openForge, {}, {}, std::nullopt, std::nullopt},
        LinkRow{"ForgeServerPageOnce", &C::openForgeServer, {}, {}, std::nullopt, "https://forge.test/servers/7"}),
    [](const ::testing::TestParamInfo<LinkRow> &info) { return std::string(info.param.name); });

TEST_F(SmallActionsTest, FavoriteTogglesTheStoreAndTheCheckMark)
{
    FavoriteSitesStore store(defaults);
    store.save({{QStringLiteral("ACCOUNT-1"), 7, 1}, {QStringLiteral("ACCOUNT-1"), 7, 2}});
    QAction *favorite = item(7, 1);
    MenuItems::setState(favorite, MenuItemState::On);

    controller->toggleFavoriteSite(favorite);
    EXPECT_EQ(store.load(), (QList<FavoriteSite>{{QStringLiteral("ACCOUNT-1"), 7, 2}}));
    EXPECT_EQ(MenuItems::state(favorite), MenuItemState::Off);

    controller->toggleFavoriteSite(favorite);
    EXPECT_EQ(store.load(),
              (QList<FavoriteSite>{{QStringLiteral("ACCOUNT-1"), 7, 2}, {QStringLiteral("ACCOUNT-1"), 7, 1}}));
    EXPECT_EQ(MenuItems::state(favorite), MenuItemState::On);

    controller->toggleFavoriteSite(item(7, std::nullopt));
    controller->toggleFavoriteSite(nullptr);
    EXPECT_EQ(store.load().size(), 2);
}

TEST_F(SmallActionsTest, SitesAreGroupedByServerInInputOrder)
{
    const auto grouped = StatusMenuController::sitesByServer(
        {makeSite(1, "a"), makeSite(2, "b", {}, 8), makeSite(3, "c"), makeSite(4, "d", {}, std::nullopt)});
    EXPECT_EQ(grouped.size(), 3);
    const auto ids = [&](qint64 server) {
        QList<qint64> result;
        for (const Site &s : grouped.value(server)) {
            result << s.id;
        }
        return result;
    };
    EXPECT_EQ(ids(7), (QList<qint64>{1, 3}));
    EXPECT_EQ(ids(8), QList<qint64>{2});
    EXPECT_EQ(ids(-1), QList<qint64>{4});
}

TEST_F(SmallActionsTest, ServerMonitoringStateSummarisesItsMonitoredSites)
{
    using State = StatusMenuController::ServerMonitoringState;
    struct Case
    {
        const char *name;
        QList<MonitoringStatus> statuses; // of sites 1, 2... of server 7
        State expected;
    };
    const QList<Case> cases{
        {"none monitored", {}, State::Unknown},
        {"all unchecked", {MonitoringStatus::unchecked(), MonitoringStatus::unchecked()}, State::Unknown},
        {"checked ones up", {MonitoringStatus::up(), MonitoringStatus::unchecked()}, State::AllUp},
        {"one of two down", {MonitoringStatus::up(), MonitoringStatus::down()}, State::SomeDown},
        {"down and unchecked", {MonitoringStatus::down(), MonitoringStatus::unchecked()}, State::SomeDown},
        {"all down", {MonitoringStatus::down(), MonitoringStatus::down(QStringLiteral("HTTP 500"))}, State::AllDown},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        monitoringStore.removeAll();
        QList<Site> sites;
        for (qsizetype i = 0; i < c.statuses.size(); ++i) {
            sites << makeSite(i + 1, "s");
            monitoringStore.setStatus(c.statuses[i], i + 1);
        }
        // Neither another server's site nor one left out of monitoring counts.
        Site other = makeSite(90, "other", {}, 8);
        Site unmonitored = makeSite(91, "off");
        unmonitored.disableMonitoring = true;
        monitoringStore.setStatus(MonitoringStatus::down(), 90);
        monitoringStore.setStatus(MonitoringStatus::down(), 91);
        sites << other << unmonitored;
        EXPECT_EQ(controller->serverMonitoringState(7, sites), c.expected);
    }
}
