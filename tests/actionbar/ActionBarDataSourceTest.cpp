#include "actionbar/ActionBarDataSource.h"

#include "ActionBarRecords.h"
#include "notifications/WebhookRegistration.h"

#include <QDateTime>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// Two accounts; duplicate site names, an IDNA name, a hidden server, an unresolved account, a server and a
// site listed twice, a site without a server, Postgres and MySQL servers, servers and sites without names.
class Scenario : public ActionBarRecords
{
public:
    Scenario()
    {
        setAccounts({account(QStringLiteral("A"), QList<qint64>{3}), account(QStringLiteral("B"))});
        Server web1 = server(1, QStringLiteral("web-1"));
        web1.phpVersion = QStringLiteral("php82");
        web1.ipAddress = QStringLiteral("203.0.113.1");
        web1.privateIpAddress = QStringLiteral("10.0.0.1");
        web1.usePrivateIp = true;
        web1.databaseType = QStringLiteral("mysql");
        Server web2 = server(2, QStringLiteral("web-2"), QStringLiteral("B"));
        web2.databaseType = QStringLiteral("postgres13");
        web2.dbStatus = QStringLiteral("installed");
        Server unnamed = server(5, std::nullopt, QStringLiteral("B"));
        unnamed.dbStatus = QStringLiteral("installed");
        unnamed.ipAddress = QStringLiteral("203.0.113.5");
        state.serverList = {web1,
                            web2,
                            server(3, QStringLiteral("hidden"), QStringLiteral("A")),
                            server(4, QStringLiteral("stranger"), QStringLiteral("Z")),
                            server(1, QStringLiteral("web-1 again"), QStringLiteral("B")),
                            unnamed};
        Site shop = site(10, QStringLiteral("example.com"), 1);
        shop.phpVersion = QStringLiteral("8.2");
        state.siteList = {shop,
                          site(11, QStringLiteral("example.com"), 2),
                          site(12, QStringLiteral("xn--bcher-kva.example"), 1),
                          site(13, QStringLiteral("orphan.test"), std::nullopt),
                          site(10, QStringLiteral("example.com twice"), 1),
                          site(14, QStringLiteral("secret.test"), 3),
                          site(15, std::nullopt, 5)};
        webhooks.save({11, 2, 99, QDateTime::currentDateTimeUtc()});
    }

    QList<ActionBarItem> items() { return ActionBarDataSource::allItems({&state, &defaults, &webhooks}); }
};

struct ItemRow
{
    const char *name;
    const char *id;
    // Null for an item that must not exist.
    const char *title;
    const char *subtitle;
    const char *searchableText;
    const char *entityName;
};

class DataSourceTable : public ::testing::TestWithParam<ItemRow>
{
};

TEST_P(DataSourceTable, BuildsTheItem)
{
    const ItemRow &row = GetParam();
    Scenario scenario;
    const QList<ActionBarItem> items = scenario.items();
    const auto found = std::find_if(
        items.begin(), items.end(), [&](const ActionBarItem &item) { return item.id == QLatin1String(row.id); });
    if (!row.title) {
        EXPECT_EQ(found, items.end()) << row.id;
        return;
    }
    ASSERT_NE(found, items.end()) << row.id;
    EXPECT_EQ(found->title, QString::fromUtf8(row.title));
    EXPECT_EQ(found->subtitle, QString::fromUtf8(row.subtitle));
    EXPECT_EQ(found->searchableText, QString::fromUtf8(row.searchableText));
    EXPECT_EQ(found->entityName, QString::fromUtf8(row.entityName));
    EXPECT_EQ(std::count_if(items.begin(), items.end(), [&](const ActionBarItem &i) { return i.id == found->id; }), 1);
}

const ItemRow ItemRows[] = {
    {"Refresh",
     "global-refresh",
     "Refresh Servers",
     "Reload all server data",
     "refresh reload update servers data",
     ""},
    {"Preferences",
     "global-preferences",
     "Open Preferences",
     "Plimsy settings",
     "preferences settings options configure",
     ""},
    {"About", "global-about", "About Plimsy", "Version, links and log files", "about version info logs help", ""},
    {"Quit", "global-quit", "Quit Plimsy", "Close Plimsy and its tray icon", "quit exit close stop", ""},
    {"RebootServer", "reboot-server-1", "Reboot Server", "web-1", "web-1 reboot restart server vps", "web-1"},
    {"ServerPhp", "reboot-php-1", "Reboot PHP", "web-1", "web-1 reboot restart php", "web-1"},
    {"NoPhpWithoutVersion", "reboot-php-2", nullptr, nullptr, nullptr, nullptr},
    {"MySqlByType", "reboot-mysql-1", "Reboot MySQL", "web-1", "web-1 reboot restart mysql database db", "web-1"},
    {"NoPostgresOnMySql", "reboot-postgres-1", nullptr, nullptr, nullptr, nullptr},
    {"PostgresByTypePrefix",
     "reboot-postgres-2",
     "Reboot Postgres",
     "web-2",
     "web-2 reboot restart postgres postgresql database db",
     "web-2"},
    {"NoMySqlOnPostgres", "reboot-mysql-2", nullptr, nullptr, nullptr, nullptr},
    {"MySqlByStatus",
     "reboot-mysql-5",
     "Reboot MySQL",
     "Server 5",
     "Server 5 reboot restart mysql database db",
     "Server 5"},
    {"PrivateAddress", "copy-ip-1", "Copy IP Address", "web-1 - 10.0.0.1", "web-1 copy ip address clipboard", "web-1"},
    {"NoAddress", "copy-ip-2", "Copy IP Address", "web-2 - ", "web-2 copy ip address clipboard", "web-2"},
    {"SshKey", "ssh-key-5", "Upload SSH Key", "Server 5", "Server 5 upload ssh key", "Server 5"},
    {"ForgeServer", "forge-server-2", "Open in Forge", "web-2", "web-2 open forge browser server", "web-2"},
    {"DuplicateSiteOne",
     "deploy-10",
     "Deploy Site",
     "example.com on web-1",
     "example.com deploy site push web-1",
     "example.com (web-1)"},
    {"DuplicateSiteTwo",
     "edit-env-11",
     "Edit .env",
     "example.com on web-2",
     "example.com edit env environment variables web-2",
     "example.com (web-2)"},
    {"SitePhp",
     "reboot-php-site-10",
     "Reboot PHP",
     "example.com on web-1",
     "example.com reboot restart php site web-1",
     "example.com (web-1)"},
    {"NoSitePhpWithoutVersion", "reboot-php-site-11", nullptr, nullptr, nullptr, nullptr},
    {"IdnaName",
     "visit-12",
     "Visit Site",
     "bücher.example on web-1",
     "bücher.example visit open site browser url web-1",
     "bücher.example"},
    {"NotificationsOff",
     "notify-10",
     "Enable Notifications",
     "example.com on web-1",
     "example.com notify notification deploy webhook web-1",
     "example.com (web-1)"},
    {"NotificationsOn",
     "notify-11",
     "Disable Notifications",
     "example.com on web-2",
     "example.com notify notification deploy webhook web-2",
     "example.com (web-2)"},
    {"UnnamedSiteAndServer",
     "terminal-site-15",
     "Open Terminal",
     "Site 15 on Server",
     "Site 15 terminal ssh console site Server",
     "Site 15"},
    {"HiddenServer", "reboot-server-3", nullptr, nullptr, nullptr, nullptr},
    {"HiddenServersSite", "deploy-14", nullptr, nullptr, nullptr, nullptr},
    {"UnresolvedAccount", "reboot-server-4", nullptr, nullptr, nullptr, nullptr},
    {"SiteWithoutServer", "deploy-13", nullptr, nullptr, nullptr, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Items, DataSourceTable, ::testing::ValuesIn(ItemRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST(ActionBarDataSource, OrdersGlobalsThenEachServerWithItsSites)
{
    Scenario scenario;
    QStringList ids;
    for (const ActionBarItem &item : scenario.items()) {
        ids << item.id;
    }
    const QStringList expected{
        "global-refresh",  "global-preferences", "global-about",      "global-quit",        "reboot-server-1",
        "reboot-php-1",    "reboot-mysql-1",     "reboot-nginx-1",    "terminal-1",         "copy-ip-1",
        "ssh-key-1",       "nginx-access-1",     "nginx-error-1",     "forge-server-1",     "deploy-10",
        "edit-env-10",     "edit-nginx-10",      "edit-deploy-10",    "deployment-log-10",  "site-log-10",
        "visit-10",        "forge-10",           "terminal-site-10",  "reboot-php-site-10", "notify-10",
        "deploy-12",       "edit-env-12",        "edit-nginx-12",     "edit-deploy-12",     "deployment-log-12",
        "site-log-12",     "visit-12",           "forge-12",          "terminal-site-12",   "notify-12",
        "reboot-server-2", "reboot-nginx-2",     "reboot-postgres-2", "terminal-2",         "copy-ip-2",
        "ssh-key-2",       "nginx-access-2",     "nginx-error-2",     "forge-server-2",     "deploy-11",
        "edit-env-11",     "edit-nginx-11",      "edit-deploy-11",    "deployment-log-11",  "site-log-11",
        "visit-11",        "forge-11",           "terminal-site-11",  "notify-11",          "reboot-server-5",
        "reboot-mysql-5",  "reboot-nginx-5",     "terminal-5",        "copy-ip-5",          "ssh-key-5",
        "nginx-access-5",  "nginx-error-5",      "forge-server-5",    "deploy-15",          "edit-env-15",
        "edit-nginx-15",   "edit-deploy-15",     "deployment-log-15", "site-log-15",        "visit-15",
        "forge-15",        "terminal-site-15",   "notify-15"};
    EXPECT_EQ(ids, expected);
    // The server of the first occurrence carries its account: web-1 has no account id, so the first one.
    const auto items = scenario.items();
    EXPECT_EQ(items.at(4).account->uuid, QStringLiteral("A"));
    EXPECT_EQ(items.at(4).serverId, 1);
    EXPECT_FALSE(items.at(4).siteId);
    EXPECT_EQ(items.at(14).siteId, 10);
    EXPECT_FALSE(items.first().account);
}

TEST(ActionBarDataSource, LoadingGivesOnlyThePlaceholderAndNoAccountsOnlyTheGlobals)
{
    Scenario scenario;
    scenario.state.loadingData = true;
    const auto loading = scenario.items();
    ASSERT_EQ(loading.size(), 1);
    EXPECT_EQ(loading.first().id, QStringLiteral("loading"));
    EXPECT_EQ(loading.first().type, ActionBarCommandType::refresh);
    EXPECT_EQ(loading.first().title, QStringLiteral("Loading..."));
    EXPECT_EQ(loading.first().subtitle, QStringLiteral("Server data is being loaded"));
    EXPECT_TRUE(
        ActionBarDataSource::matchingEntities(QStringLiteral("web"), {&scenario.state, &scenario.defaults}).isEmpty());

    scenario.state.loadingData = false;
    scenario.setAccounts({});
    const auto globals = scenario.items();
    ASSERT_EQ(globals.size(), 4);
    EXPECT_EQ(globals.at(3).id, QStringLiteral("global-quit"));
}

} // namespace
