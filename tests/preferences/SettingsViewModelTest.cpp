#include "core/AccountManager.h"
#include "platform/UserDefaults.h"
#include "preferences/ServerSettingsViewModel.h"
#include "preferences/SiteMonitorSettingsViewModel.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace plimsy;

namespace {

const QString Uuid = QStringLiteral("0C7A3D5E-1111-4222-8333-944445555666");

// The stored account list of a real defaults file, and the sheet's lookup and update over it, the
// update counted.
struct StoredAccount
{
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    int writes = 0;

    void store(const Account &account) { AccountManager::saveAccounts({account}, defaults); }
    std::optional<Account> stored() { return AccountManager::findAccount(Uuid, defaults); }
    FindAccount find() { return storedAccountLookup(defaults); }
    UpdateAccount update()
    {
        return [this](const Account &account) {
            ++writes;
            storedAccountUpdate(defaults)(account);
        };
    }
};

template <typename Record> Record named(qint64 id, std::optional<QString> name)
{
    Record record;
    record.id = id;
    record.name = std::move(name);
    record.accountId = Uuid;
    return record;
}

template <typename Record> QList<qint64> ids(const QList<Record> &records)
{
    QList<qint64> result;
    for (const Record &record : records) {
        result << record.id;
    }
    return result;
}

// The same list for both sheets: a repeated id, names that differ in case, one without a name.
template <typename Record> QList<Record> unorderedRecords()
{
    return {named<Record>(1, "gamma"),
            named<Record>(2, "alpha"),
            named<Record>(3, std::nullopt),
            named<Record>(4, "Beta"),
            named<Record>(2, "a later copy"),
            named<Record>(5, "Shop"),
            named<Record>(6, "shop")};
}

const QList<qint64> ExpectedOrder{3, 2, 4, 1, 5, 6};

using IdList = std::optional<QList<qint64>>;

struct ServerRow
{
    const char *name;
    bool isStored;
    IdList hidden;
    IdList internal;
    // The switch the user flips on server 5, and to what.
    bool flipsHide;
    bool to;
    IdList expectedHidden;
    IdList expectedInternal;
};

void PrintTo(const ServerRow &row, std::ostream *out)
{
    *out << row.name;
}

class ServerSettingsViewModelTest : public ::testing::TestWithParam<ServerRow>
{
};

TEST_F(ServerSettingsViewModelTest, ListsEachServerOnceByNameAndSelectsTheFirst)
{
    StoredAccount account;
    ServerSettingsViewModel model(unorderedRecords<Server>(), account.find(), account.update());
    EXPECT_EQ(ids(model.servers()), ExpectedOrder);
    EXPECT_EQ(model.servers().at(1).name, "alpha");
    EXPECT_EQ(model.selectedServerId(), 3);

    ServerSettingsViewModel empty({}, account.find(), account.update());
    EXPECT_EQ(empty.selectedServerId(), std::nullopt);
    EXPECT_FALSE(empty.selectedServer());
}

TEST_P(ServerSettingsViewModelTest, WritesBothListsOfTheAccount)
{
    const ServerRow &row = GetParam();
    StoredAccount account;
    Account stored;
    stored.uuid = row.isStored ? Uuid : QStringLiteral("another");
    stored.hiddenServers = row.hidden;
    stored.useInternalIpForServers = row.internal;
    account.store(stored);

    ServerSettingsViewModel model({named<Server>(5, "web")}, account.find(), account.update());
    EXPECT_EQ(model.isHidden(), row.isStored && row.hidden && row.hidden->contains(5));
    if (row.flipsHide) {
        model.setHidden(row.to);
    } else {
        model.setUseInternalIp(row.to);
    }
    model.save();

    EXPECT_EQ(model.didChangeSettings(), row.isStored);
    EXPECT_EQ(account.writes, row.isStored ? 1 : 0);
    const Account after = AccountManager::loadAccounts(account.defaults).first();
    EXPECT_EQ(after.hiddenServers, row.expectedHidden);
    EXPECT_EQ(after.useInternalIpForServers, row.expectedInternal);
}

const ServerRow ServerRows[] = {
    {"HideCreatesTheList", true, std::nullopt, QList<qint64>{7}, true, true, QList<qint64>{5}, QList<qint64>{7}},
    {"HideAppendsAndMovesTheOtherIdToTheEnd",
     true,
     QList<qint64>{9},
     QList<qint64>{5, 7},
     true,
     true,
     QList<qint64>{9, 5},
     QList<qint64>{7, 5}},
    {"ShowRemovesTheId", true, QList<qint64>{5, 9}, std::nullopt, true, false, QList<qint64>{9}, std::nullopt},
    {"InternalIpCreatesItsList", true, QList<qint64>{3}, std::nullopt, false, true, QList<qint64>{3}, QList<qint64>{5}},
    {"AnAccountNoLongerStoredIsLeftAlone",
     false,
     QList<qint64>{9},
     std::nullopt,
     true,
     true,
     QList<qint64>{9},
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Switches, ServerSettingsViewModelTest, ::testing::ValuesIn(ServerRows), [](const auto &info) {
    return std::string(info.param.name);
});

using Aliases = std::optional<QMap<qint64, QString>>;

struct SiteRow
{
    const char *name;
    bool isStored;
    IdList ignored;
    Aliases aliases;
    // Flips "Disable monitoring" to `disable` when set; else types `alias` and presses Return.
    std::optional<bool> disable;
    QString alias;
    int expectedWrites;
    IdList expectedIgnored;
    Aliases expectedAliases;
};

void PrintTo(const SiteRow &row, std::ostream *out)
{
    *out << row.name;
}

class SiteMonitorSettingsViewModelTest : public ::testing::TestWithParam<SiteRow>
{
};

TEST_F(SiteMonitorSettingsViewModelTest, ListsEachSiteOnceByNameAndSelectsTheFirst)
{
    StoredAccount account;
    SiteMonitorSettingsViewModel model(
        unorderedRecords<Site>(), account.find(), account.update(), [](qint64) { return std::nullopt; });
    EXPECT_EQ(ids(model.sites()), ExpectedOrder);
    EXPECT_EQ(model.sites().at(1).name, "alpha");
    EXPECT_EQ(model.selectedSiteId(), 3);
}

TEST_P(SiteMonitorSettingsViewModelTest, WritesTheExclusionAndTheAlias)
{
    const SiteRow &row = GetParam();
    StoredAccount account;
    Account stored;
    stored.uuid = row.isStored ? Uuid : QStringLiteral("another");
    stored.ignoredMonitoringSites = row.ignored;
    stored.aliasSiteToURL = row.aliases;
    account.store(stored);
    Site site = named<Site>(5, "shop.example");
    site.serverId = 40;
    Server server = named<Server>(40, "web-1");

    SiteMonitorSettingsViewModel model({site}, account.find(), account.update(), [&server](qint64 id) {
        return id == server.id ? std::optional<Server>(server) : std::nullopt;
    });
    EXPECT_EQ(model.serverName(), "web-1");
    if (row.disable) {
        model.setMonitoringDisabled(*row.disable);
        model.save();
    } else {
        model.setUrlAlias(row.alias);
        model.commitAlias();
    }

    EXPECT_EQ(account.writes, row.expectedWrites);
    EXPECT_EQ(model.didChangeSettings(), row.expectedWrites > 0);
    const Account after = AccountManager::loadAccounts(account.defaults).first();
    EXPECT_EQ(after.ignoredMonitoringSites, row.expectedIgnored);
    EXPECT_EQ(after.aliasSiteToURL, row.expectedAliases);
}

const QMap<qint64, QString> ShopAlias{{5, "shop.example.com"}};
const QMap<qint64, QString> OtherAlias{{8, "other.example.com"}};

const SiteRow SiteRows[] = {
    {"DisableCreatesTheList", true, std::nullopt, std::nullopt, true, {}, 1, QList<qint64>{5}, QMap<qint64, QString>{}},
    {"DisableAppends", true, QList<qint64>{9}, ShopAlias, true, {}, 1, QList<qint64>{9, 5}, ShopAlias},
    {"EnableRemovesTheId", true, QList<qint64>{5, 9}, OtherAlias, false, {}, 1, QList<qint64>{9}, OtherAlias},
    {"AnAliasIsStoredTrimmed",
     true,
     std::nullopt,
     OtherAlias,
     {},
     "  shop.example.com\t",
     1,
     std::nullopt,
     [] {
         auto both = OtherAlias;
         both.insert(5, "shop.example.com");
         return both;
     }()},
    {"ABlankAliasRemovesTheEntry", true, std::nullopt, ShopAlias, {}, "   ", 1, std::nullopt, QMap<qint64, QString>{}},
    {"TheStoredAliasAgainWritesNothing",
     true,
     std::nullopt,
     ShopAlias,
     {},
     "shop.example.com",
     0,
     std::nullopt,
     ShopAlias},
    {"AnAccountNoLongerStoredIsLeftAlone",
     false,
     QList<qint64>{9},
     std::nullopt,
     true,
     {},
     0,
     QList<qint64>{9},
     std::nullopt},
};

INSTANTIATE_TEST_SUITE_P(Settings,
                         SiteMonitorSettingsViewModelTest,
                         ::testing::ValuesIn(SiteRows),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
