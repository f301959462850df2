#include "core/AccountManager.h"

#include "FlakyKeychain.h"
#include "core/APIKeyManager.h"
#include "core/Logger.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

using namespace plimsy;
using plimsy::test::FlakyKeychain;
using Kind = SecretStore::Kind;
using Status = SecretStore::Status;

namespace {

Account named(const QString &name)
{
    Account account;
    account.name = name;
    account.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return account;
}

QStringList namesOf(const QList<Account> &accounts)
{
    QStringList names;
    for (const Account &account : accounts) {
        names.append(account.name.value_or("<none>"));
    }
    return names;
}

class AccountManagerTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath("Plimsy.conf")};
};

TEST_F(AccountManagerTest, NothingStoredLoadsAnEmptyListAndWritesNothing)
{
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());
    EXPECT_FALSE(defaults.contains("plimsyAccounts"));
}

TEST_F(AccountManagerTest, KeepsEveryFieldThroughSaveAndLoad)
{
    Account full = named("Work");
    full.ignoredServers = QList<qint64>{1, 2};
    full.ignoredMonitoringSites = QList<qint64>{30};
    full.aliasSiteToURL = QMap<qint64, QString>{{30, "https://alias.example"}, {9007199254740993, "big"}};
    full.aliasServerToIP = QList<QMap<qint64, QString>>{{{1, "10.0.0.1"}}, {{2, "10.0.0.2"}, {3, "10.0.0.3"}}};
    full.pathToCustomSSHKey = "/home/me/.ssh/work";
    full.hiddenServers = QList<qint64>{2};
    full.useInternalIpForServers = QList<qint64>{};
    const Account bare;

    AccountManager::saveAccounts({full, bare, named("Home")}, defaults);
    const QList<Account> loaded = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(loaded.size(), 3);
    EXPECT_EQ(loaded[0], full);
    EXPECT_EQ(loaded[1], bare);
    EXPECT_EQ(loaded[2].name, "Home");
    // Empty fields are left out, never written as null.
    EXPECT_FALSE(defaults.string("plimsyAccounts").contains("null"));
}

TEST_F(AccountManagerTest, AFieldOfAnotherShapeLeavesOnlyThatFieldEmpty)
{
    defaults.setValue("plimsyAccounts", R"([{"name":"Old","uuid":"U1","ignoredServers":[1,"2"],
        "aliasSiteToURL":{"5":"x","six":"y"},"pathToCustomSSHKey":null,"hiddenServers":7,
        "useInternalIpForServers":[1.5],"ignoredMonitoringSites":[4]}, 3])");
    const QList<Account> loaded = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(loaded.size(), 1);
    const Account &old = loaded[0];
    EXPECT_EQ(old.name, "Old");
    EXPECT_EQ(old.uuid, "U1");
    EXPECT_EQ(old.ignoredServers, std::nullopt);
    EXPECT_EQ(old.aliasSiteToURL, std::nullopt);
    EXPECT_EQ(old.pathToCustomSSHKey, std::nullopt);
    EXPECT_EQ(old.hiddenServers, std::nullopt);
    EXPECT_EQ(old.useInternalIpForServers, std::nullopt);
    EXPECT_EQ(old.ignoredMonitoringSites, QList<qint64>{4});
}

TEST_F(AccountManagerTest, AddingToAnAbsentListCreatesItWithoutDuplicateCheck)
{
    defaults.setValue("plimsyAccounts", R"([{"name":"Old","uuid":"U1"}])");
    Account old = AccountManager::loadAccounts(defaults).value(0);
    EXPECT_EQ(old.hiddenServers, std::nullopt);
    old.addHiddenServer(7);
    EXPECT_EQ(old.hiddenServers, QList<qint64>{7});
    old.addHiddenServer(7);
    old.addIgnoredMonitoringSite(8);
    old.addInternalIpServer(9);
    EXPECT_EQ(old.hiddenServers, (QList<qint64>{7, 7}));
    EXPECT_EQ(old.ignoredMonitoringSites, QList<qint64>{8});
    EXPECT_EQ(old.useInternalIpForServers, QList<qint64>{9});
}

TEST_F(AccountManagerTest, UnreadableDataIsLoggedAndLeftInPlace)
{
    const QString garbage = "{not json";
    defaults.setValue("plimsyAccounts", garbage);
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());
    EXPECT_EQ(defaults.string("plimsyAccounts"), garbage);

    Logger::shared().flush();
    const QDir logs(*Logger::shared().logDirectory());
    QString text;
    for (const QString &name : logs.entryList({"AccountManager_*.log"}, QDir::Files)) {
        QFile file(logs.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        text += QString::fromUtf8(file.readAll());
    }
    EXPECT_TRUE(text.contains("] Failed to unarchive accounts: ")) << text.toStdString();
}

TEST_F(AccountManagerTest, FindAndUpdateWorkOnTheStoredCopyByUuid)
{
    Account first = named("first");
    const Account second = named("second");
    AccountManager::saveAccounts({first, second}, defaults);

    EXPECT_EQ(AccountManager::findAccount(*second.uuid, defaults), second);
    EXPECT_EQ(AccountManager::findAccount("no-such-uuid", defaults), std::nullopt);

    first.name = "renamed";
    first.addHiddenServer(7);
    AccountManager::updateAccount(first, defaults);
    EXPECT_EQ(AccountManager::loadAccounts(defaults), (QList<Account>{first, second}));

    const QString before = defaults.string("plimsyAccounts");
    AccountManager::updateAccount(named("stranger"), defaults);
    EXPECT_EQ(defaults.string("plimsyAccounts"), before);
}

struct MoveRow
{
    const char *name;
    qsizetype from;
    qsizetype to;
    QStringList expected;
};

class AccountMoveTest : public ::testing::TestWithParam<MoveRow>
{
};

TEST_P(AccountMoveTest, MovesOnlyBetweenValidDistinctIndices)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath("Plimsy.conf"));
    AccountManager::saveAccounts({named("first"), named("second"), named("third")}, defaults);
    const QString before = defaults.string("plimsyAccounts");
    AccountManager::moveAccount(GetParam().from, GetParam().to, defaults);
    EXPECT_EQ(namesOf(AccountManager::loadAccounts(defaults)), GetParam().expected);
    if (GetParam().expected == QStringList{"first", "second", "third"}) {
        EXPECT_EQ(defaults.string("plimsyAccounts"), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Moves,
                         AccountMoveTest,
                         ::testing::Values(MoveRow{"firstToLast", 0, 2, {"second", "third", "first"}},
                                           MoveRow{"lastToFirst", 2, 0, {"third", "first", "second"}},
                                           MoveRow{"same", 1, 1, {"first", "second", "third"}},
                                           MoveRow{"pastTheEnd", 1, 3, {"first", "second", "third"}},
                                           MoveRow{"negative", -1, 0, {"first", "second", "third"}}),
                         [](const auto &info) { return std::string(info.param.name); });

// The one-time move of the oldest single key, against the real store.
class AccountMigrationTest : public ::testing::Test
{
protected:
    const QString service = "com.tindrel.plimsy.test.migrate." + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath("Plimsy.conf")};
    FlakyKeychain keychain{service};
    APIKeyManager keys{std::make_unique<SimpleKeychain>(service)};

    void TearDown() override
    {
        SecretStore::removeAll(service, Kind::Default);
        SecretStore::removeAll(service, Kind::Legacy);
    }

    void runMigration()
    {
        if (const auto key = AccountManager::migrateToMultiAccountIfNeeded(keychain, defaults)) {
            AccountManager::migrateLegacyAPIKey(*key, keychain, keys, defaults);
        }
    }
};

TEST_F(AccountMigrationTest, WithoutAnOldKeyOnlyMarksItselfDone)
{
    runMigration();
    EXPECT_TRUE(defaults.boolValue("migratedKeysToMultiAccount"));
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());
}

TEST_F(AccountMigrationTest, TurnsTheOldKeyIntoOneMainAccount)
{
    ASSERT_EQ(SecretStore::set(service, "apikey", "old-key", Kind::Legacy), Status::Ok);
    runMigration();

    const QList<Account> accounts = AccountManager::loadAccounts(defaults);
    ASSERT_EQ(accounts.size(), 1);
    EXPECT_EQ(accounts[0].name, "Main");
    ASSERT_TRUE(accounts[0].uuid);
    EXPECT_EQ(*accounts[0].uuid, accounts[0].uuid->toUpper());
    EXPECT_FALSE(QUuid::fromString(*accounts[0].uuid).isNull());
    EXPECT_EQ(APIKeyManager(std::make_unique<SimpleKeychain>(service)).apiKey(*accounts[0].uuid), "old-key");
    EXPECT_EQ(SecretStore::get(service, "apikey").status, Status::NotFound);
    EXPECT_EQ(SecretStore::get(service, "apikey", Kind::Legacy).status, Status::NotFound);
    EXPECT_TRUE(defaults.boolValue("migratedKeysToMultiAccount"));

    runMigration();
    EXPECT_EQ(AccountManager::loadAccounts(defaults).size(), 1);
}

// A run that stopped after saving the account but before marking itself done runs again at the next
// start: it must find its own account instead of adding a second "Main".
TEST_F(AccountMigrationTest, ARerunAfterAnInterruptionAddsNoSecondMain)
{
    ASSERT_EQ(SecretStore::set(service, "apikey", "old-key"), Status::Ok);
    runMigration();
    ASSERT_EQ(SecretStore::set(service, "apikey", "old-key"), Status::Ok);
    defaults.remove("migratedKeysToMultiAccount");

    runMigration();
    const QList<Account> accounts = AccountManager::loadAccounts(defaults);
    EXPECT_EQ(namesOf(accounts), QStringList{"Main"});
    EXPECT_EQ(keys.apiKeys().size(), 1);
    EXPECT_EQ(SecretStore::get(service, "apikey").status, Status::NotFound);
    EXPECT_TRUE(defaults.boolValue("migratedKeysToMultiAccount"));
}

TEST_F(AccountMigrationTest, AnUnreadableStoreLeavesTheMigrationForTheNextStart)
{
    ASSERT_EQ(SecretStore::set(service, "apikey", "old-key"), Status::Ok);
    keychain.readsFail = true;
    runMigration();
    EXPECT_FALSE(defaults.contains("migratedKeysToMultiAccount"));
    EXPECT_EQ(SecretStore::get(service, "apikey").value, "old-key");

    keychain.readsFail = false;
    runMigration();
    EXPECT_EQ(namesOf(AccountManager::loadAccounts(defaults)), QStringList{"Main"});
}

TEST_F(AccountMigrationTest, AKeyThatCannotBeStoredKeepsTheOldItem)
{
    ASSERT_EQ(SecretStore::set(service, "apikey", "old-key"), Status::Ok);
    FlakyKeychain failingKeys(service);
    failingKeys.writesFail = true;
    APIKeyManager unwritable(std::make_unique<FlakyKeychain>(failingKeys));

    const auto key = AccountManager::migrateToMultiAccountIfNeeded(keychain, defaults);
    ASSERT_EQ(key, "old-key");
    EXPECT_FALSE(AccountManager::migrateLegacyAPIKey(*key, keychain, unwritable, defaults));
    EXPECT_TRUE(AccountManager::loadAccounts(defaults).isEmpty());
    EXPECT_EQ(SecretStore::get(service, "apikey").value, "old-key");
    EXPECT_FALSE(defaults.contains("migratedKeysToMultiAccount"));
}

} // namespace
