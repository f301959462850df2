#include "core/APIKeyManager.h"

#include "FlakyKeychain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

using namespace plimsy;
using plimsy::test::FlakyKeychain;
using Kind = SecretStore::Kind;
using Status = SecretStore::Status;

namespace {

using Keys = QMap<QString, QString>;

// Each test owns a service of its own in the shared test keyring.
class APIKeyManagerTest : public ::testing::Test
{
protected:
    const QString service = "com.tindrel.plimsy.test.apikey." + QUuid::createUuid().toString(QUuid::WithoutBraces);

    void TearDown() override
    {
        SecretStore::removeAll(service, Kind::Default);
        SecretStore::removeAll(service, Kind::Legacy);
    }

    std::unique_ptr<APIKeyManager> manager() const
    {
        return std::make_unique<APIKeyManager>(std::make_unique<SimpleKeychain>(service));
    }

    // The keys as the store holds them; none when the item is missing.
    std::optional<Keys> storedKeys(Kind kind = Kind::Default) const
    {
        const auto found = SecretStore::get(service, "all_api_keys", kind);
        if (found.status != Status::Ok) {
            return std::nullopt;
        }
        Keys keys;
        const QJsonObject object = QJsonDocument::fromJson(found.value.toUtf8()).object();
        for (auto it = object.begin(); it != object.end(); ++it) {
            keys.insert(it.key(), it.value().toString());
        }
        return keys;
    }

    void storeKeys(const Keys &keys, Kind kind = Kind::Default) const
    {
        QJsonObject object;
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            object.insert(it.key(), it.value());
        }
        ASSERT_EQ(SecretStore::set(service, "all_api_keys", QJsonDocument(object).toJson(), kind), Status::Ok);
    }
};

TEST_F(APIKeyManagerTest, AddsReplacesAndRemovesKeysAndAFreshInstanceReadsThem)
{
    auto keys = manager();
    ASSERT_TRUE(keys->loadKeysIfNeeded());
    EXPECT_TRUE(keys->apiKeys().isEmpty());
    EXPECT_FALSE(storedKeys());

    ASSERT_TRUE(keys->setAPIKey("A", "key-a"));
    ASSERT_TRUE(keys->setAPIKey("B", "key-b"));
    ASSERT_TRUE(keys->setAPIKey("A", "key-a2"));
    EXPECT_EQ(storedKeys(), (Keys{{"A", "key-a2"}, {"B", "key-b"}}));
    EXPECT_EQ(manager()->apiKey("A"), "key-a2");
    EXPECT_EQ(manager()->apiKey("C"), std::nullopt);

    ASSERT_TRUE(keys->removeAPIKey("A"));
    EXPECT_EQ(storedKeys(), (Keys{{"B", "key-b"}}));
    // Removing the last key removes the item instead of storing an empty object.
    ASSERT_TRUE(keys->removeAPIKey("B"));
    EXPECT_EQ(SecretStore::get(service, "all_api_keys").status, Status::NotFound);
    EXPECT_EQ(SecretStore::accounts(service).accounts, QStringList{});
}

TEST_F(APIKeyManagerTest, DroppingKeysWithoutAccountsSparesAKeyAnAddOfThisRunStored)
{
    storeKeys({{"kept", "key-k"}, {"orphan", "key-o"}});
    auto keys = manager();
    // An add stores its key first and its account only once Forge has answered.
    ASSERT_TRUE(keys->setAPIKey("adding", "key-n"));
    EXPECT_EQ(keys->removeKeysExcept({"kept"}), 1);
    EXPECT_EQ(storedKeys(), (Keys{{"kept", "key-k"}, {"adding", "key-n"}}));
    // The next run drops it when the add never saved its account.
    EXPECT_EQ(manager()->removeKeysExcept({"kept"}), 1);
    EXPECT_EQ(storedKeys(), (Keys{{"kept", "key-k"}}));
}

TEST_F(APIKeyManagerTest, MovesALegacyItemIntoTheDefaultStore)
{
    storeKeys({{"A", "key-a"}}, Kind::Legacy);
    auto keys = manager();
    EXPECT_EQ(keys->apiKey("A"), "key-a");
    EXPECT_EQ(storedKeys(), (Keys{{"A", "key-a"}}));
    EXPECT_EQ(SecretStore::get(service, "all_api_keys", Kind::Legacy).status, Status::NotFound);
}

TEST_F(APIKeyManagerTest, MergesPerAccountItemsOfBothStoresAndLeavesTheOldSingleKey)
{
    ASSERT_EQ(SecretStore::set(service, "uuid-a", "key-a"), Status::Ok);
    ASSERT_EQ(SecretStore::set(service, "uuid-b", "key-b", Kind::Legacy), Status::Ok);
    ASSERT_EQ(SecretStore::set(service, "apikey", "single"), Status::Ok);

    auto keys = manager();
    ASSERT_TRUE(keys->loadKeysIfNeeded());
    EXPECT_EQ(keys->apiKeys(), (Keys{{"uuid-a", "key-a"}, {"uuid-b", "key-b"}}));
    EXPECT_EQ(storedKeys(), (Keys{{"uuid-a", "key-a"}, {"uuid-b", "key-b"}}));
    QStringList left = SecretStore::accounts(service).accounts;
    left.sort();
    EXPECT_EQ(left, (QStringList{"all_api_keys", "apikey"}));
    EXPECT_TRUE(SecretStore::accounts(service, Kind::Legacy).accounts.isEmpty());
}

TEST_F(APIKeyManagerTest, LoadsOnlyOnceEvenWhenNothingWasFound)
{
    auto flaky = std::make_unique<FlakyKeychain>(service);
    FlakyKeychain *store = flaky.get();
    APIKeyManager keys(std::move(flaky));
    ASSERT_TRUE(keys.loadKeysIfNeeded());
    const int calls = store->calls;
    EXPECT_GT(calls, 0);
    storeKeys({{"A", "key-a"}});
    EXPECT_TRUE(keys.loadKeysIfNeeded());
    EXPECT_EQ(keys.apiKey("A"), std::nullopt);
    EXPECT_EQ(store->calls, calls);
}

// The store cannot be read: the manager stays unloaded and refuses every change, so the keys of the
// other accounts survive; once the store is back, the next call loads them.
TEST_F(APIKeyManagerTest, AFailedReadNeverCountsAsNoKeys)
{
    storeKeys({{"A", "key-a"}, {"B", "key-b"}});
    auto flaky = std::make_unique<FlakyKeychain>(service);
    FlakyKeychain *store = flaky.get();
    APIKeyManager keys(std::move(flaky));
    store->readsFail = true;

    EXPECT_FALSE(keys.loadKeysIfNeeded());
    EXPECT_FALSE(keys.hasLoadedFromKeychain());
    EXPECT_EQ(keys.apiKey("A"), std::nullopt);
    EXPECT_FALSE(keys.setAPIKey("C", "key-c"));
    EXPECT_FALSE(keys.removeAPIKey("A"));
    EXPECT_FALSE(keys.saveKeys());
    EXPECT_EQ(storedKeys(), (Keys{{"A", "key-a"}, {"B", "key-b"}}));

    store->readsFail = false;
    EXPECT_EQ(keys.apiKey("A"), "key-a");
    ASSERT_TRUE(keys.setAPIKey("C", "key-c"));
    EXPECT_EQ(storedKeys(), (Keys{{"A", "key-a"}, {"B", "key-b"}, {"C", "key-c"}}));
}

// The store goes away after loading: a change that cannot be written is reported and undone in memory.
TEST_F(APIKeyManagerTest, AStoreLostMidWayKeepsEveryKey)
{
    storeKeys({{"A", "key-a"}, {"B", "key-b"}});
    auto flaky = std::make_unique<FlakyKeychain>(service);
    FlakyKeychain *store = flaky.get();
    APIKeyManager keys(std::move(flaky));
    ASSERT_EQ(keys.apiKey("A"), "key-a");

    store->writesFail = true;
    store->readsFail = true;
    EXPECT_FALSE(keys.setAPIKey("A", "replaced"));
    EXPECT_FALSE(keys.setAPIKey("C", "key-c"));
    EXPECT_FALSE(keys.removeAPIKey("B"));
    EXPECT_EQ(keys.apiKeys(), (Keys{{"A", "key-a"}, {"B", "key-b"}}));
    EXPECT_EQ(storedKeys(), (Keys{{"A", "key-a"}, {"B", "key-b"}}));

    store->writesFail = false;
    store->readsFail = false;
    ASSERT_TRUE(keys.removeAPIKey("B"));
    EXPECT_EQ(storedKeys(), (Keys{{"A", "key-a"}}));
}

TEST_F(APIKeyManagerTest, ALegacyItemIsKeptWhenItCannotBeMoved)
{
    storeKeys({{"A", "key-a"}}, Kind::Legacy);
    auto flaky = std::make_unique<FlakyKeychain>(service);
    FlakyKeychain *store = flaky.get();
    APIKeyManager keys(std::move(flaky));
    store->writesFail = true;
    EXPECT_EQ(keys.apiKey("A"), "key-a");
    EXPECT_EQ(storedKeys(Kind::Legacy), (Keys{{"A", "key-a"}}));
    EXPECT_FALSE(storedKeys(Kind::Default));
}

TEST_F(APIKeyManagerTest, PerAccountItemsStayUntilTheMergedItemIsStored)
{
    ASSERT_EQ(SecretStore::set(service, "uuid-a", "key-a"), Status::Ok);
    ASSERT_EQ(SecretStore::set(service, "uuid-b", "key-b"), Status::Ok);
    auto flaky = std::make_unique<FlakyKeychain>(service);
    FlakyKeychain *store = flaky.get();
    APIKeyManager keys(std::move(flaky));
    store->writesFail = true;

    EXPECT_FALSE(keys.loadKeysIfNeeded());
    EXPECT_FALSE(keys.setAPIKey("C", "key-c"));
    EXPECT_EQ(SecretStore::get(service, "uuid-a").value, "key-a");
    EXPECT_EQ(SecretStore::get(service, "uuid-b").value, "key-b");

    store->writesFail = false;
    EXPECT_EQ(keys.apiKey("uuid-b"), "key-b");
    EXPECT_EQ(storedKeys(), (Keys{{"uuid-a", "key-a"}, {"uuid-b", "key-b"}}));
    EXPECT_EQ(SecretStore::get(service, "uuid-a").status, Status::NotFound);
}

TEST_F(APIKeyManagerTest, ConcurrentChangesFromManyThreadsAllLand)
{
    auto keys = manager();
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([&keys, worker] {
            for (int i = 0; i < 5; ++i) {
                const QString uuid = QStringLiteral("w%1-%2").arg(worker).arg(i);
                keys->setAPIKey(uuid, "key-" + uuid);
            }
        });
    }
    for (auto &thread : workers) {
        thread.join();
    }
    const std::optional<Keys> stored = storedKeys();
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->size(), 20);
    EXPECT_EQ(*stored, keys->apiKeys());
}

} // namespace
