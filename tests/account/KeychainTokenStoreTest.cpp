#include "account/KeychainTokenStore.h"

#include "AccountTestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;
using Kind = SecretStore::Kind;
using Status = SecretStore::Status;

namespace {

class KeychainTokenStoreTest : public ::testing::Test
{
protected:
    TestKeychainService service;
    const QString account = QString::fromLatin1(KeychainTokenStore::Account);

    KeychainTokenStore makeStore() const { return KeychainTokenStore(std::make_unique<SimpleKeychain>(service.name)); }

    void put(const QString &text, Kind kind = Kind::Default) const
    {
        ASSERT_EQ(SecretStore::set(service.name, account, text, kind), Status::Ok);
    }

    SecretStore::Lookup stored(Kind kind = Kind::Default) const
    {
        return SecretStore::get(service.name, account, kind);
    }

    QJsonObject storedJson() const { return QJsonDocument::fromJson(stored().value.toUtf8()).object(); }
};

TEST_F(KeychainTokenStoreTest, WritesOnlyTheMembersItHasAndKeepsTheOtherField)
{
    KeychainTokenStore store = makeStore();
    store.setAccessToken("tok-1");
    EXPECT_EQ(storedJson(), QJsonObject({{"accessToken", "tok-1"}}));

    store.setDeviceId("dev-1");
    EXPECT_EQ(storedJson(), QJsonObject({{"accessToken", "tok-1"}, {"deviceId", "dev-1"}}));

    store.setAccessToken(std::nullopt);
    EXPECT_EQ(storedJson(), QJsonObject({{"deviceId", "dev-1"}}));
    EXPECT_EQ(makeStore().deviceId(), "dev-1");
    EXPECT_EQ(makeStore().accessToken(), std::nullopt);
}

TEST_F(KeychainTokenStoreTest, ReadsTheStoredFormsAndIgnoresAnUnreadableOne)
{
    put(R"({"deviceId":"dev-only"})");
    KeychainTokenStore deviceOnly = makeStore();
    EXPECT_EQ(deviceOnly.accessToken(), std::nullopt);
    EXPECT_EQ(deviceOnly.deviceId(), "dev-only");

    put(R"({"accessToken":"tok","deviceId":null})");
    EXPECT_EQ(makeStore().accessToken(), "tok");

    for (const char *broken : {"not json", R"(["tok"])", R"({"accessToken":5})"}) {
        put(QString::fromLatin1(broken));
        KeychainTokenStore store = makeStore();
        EXPECT_EQ(store.accessToken(), std::nullopt) << broken;
        EXPECT_EQ(stored().value, QString::fromLatin1(broken)) << "the unreadable item stays until replaced";
    }
}

TEST_F(KeychainTokenStoreTest, ReadsTheItemOnceAndNeverAgain)
{
    KeychainTokenStore store = makeStore();
    EXPECT_EQ(store.accessToken(), std::nullopt);
    put(R"({"accessToken":"written-by-another-process"})");
    EXPECT_EQ(store.accessToken(), std::nullopt);
    EXPECT_EQ(makeStore().accessToken(), "written-by-another-process");
}

TEST_F(KeychainTokenStoreTest, ClearRemovesEveryItemOfTheServiceAndLaterWritesStoreAnew)
{
    put(R"({"accessToken":"tok"})");
    put(R"({"accessToken":"old"})", Kind::Legacy);
    ASSERT_EQ(SecretStore::set(service.name, "other", "x"), Status::Ok);
    KeychainTokenStore store = makeStore();
    ASSERT_EQ(store.accessToken(), "tok");

    store.clear();
    EXPECT_EQ(store.accessToken(), std::nullopt);
    EXPECT_EQ(store.deviceId(), std::nullopt);
    EXPECT_EQ(stored().status, Status::NotFound);
    EXPECT_EQ(stored(Kind::Legacy).status, Status::NotFound);
    EXPECT_EQ(SecretStore::get(service.name, "other").status, Status::NotFound);

    store.setAccessToken("new");
    EXPECT_EQ(storedJson(), QJsonObject({{"accessToken", "new"}}));
}

TEST_F(KeychainTokenStoreTest, MovesALegacyItemOnlyOnceTheNewCopyHoldsIt)
{
    put(R"({"accessToken":"legacy-tok"})", Kind::Legacy);
    KeychainTokenStore store = makeStore();
    EXPECT_EQ(store.accessToken(), "legacy-tok");
    EXPECT_EQ(stored().value, R"({"accessToken":"legacy-tok"})");
    EXPECT_EQ(stored(Kind::Legacy).status, Status::NotFound);
}

TEST_F(KeychainTokenStoreTest, KeepsTheLegacyItemWhenItsCopyCannotBeWritten)
{
    put(R"({"accessToken":"legacy-tok"})", Kind::Legacy);
    auto keychain = std::make_unique<FlakyLookupKeychain>(service.name);
    keychain->failingStores = 1;
    KeychainTokenStore store(std::move(keychain));

    EXPECT_EQ(store.accessToken(), "legacy-tok");
    EXPECT_EQ(stored().status, Status::NotFound);
    EXPECT_EQ(stored(Kind::Legacy).value, R"({"accessToken":"legacy-tok"})");
    EXPECT_EQ(makeStore().accessToken(), "legacy-tok") << "the next launch moves it";
    EXPECT_EQ(stored(Kind::Legacy).status, Status::NotFound);
}

// Each read looks at a store that cannot be read once (a locked keyring asks the user each time); until
// one succeeds the user is not signed out for good, and nothing stored is touched.
TEST_F(KeychainTokenStoreTest, AStoreThatCannotBeReadIsAskedOncePerReadAndNeverOverwritten)
{
    put(R"({"accessToken":"tok","deviceId":"dev"})");
    put(R"({"accessToken":"legacy"})", Kind::Legacy);
    auto keychain = std::make_unique<FlakyLookupKeychain>(service.name);
    keychain->failingLookups = 2;
    FlakyLookupKeychain &flaky = *keychain;
    KeychainTokenStore store(std::move(keychain));

    EXPECT_EQ(store.accessToken(), std::nullopt);
    EXPECT_EQ(flaky.lookups, 1);
    EXPECT_TRUE(store.isUnavailable()) << "not known to be signed out";
    EXPECT_EQ(store.accessToken(), std::nullopt);
    EXPECT_EQ(flaky.lookups, 2);
    EXPECT_EQ(flaky.writes, 0) << "a failed read must not look like an absent item and touch the legacy copy";
    EXPECT_EQ(stored(Kind::Legacy).value, R"({"accessToken":"legacy"})");

    EXPECT_EQ(store.accessToken(), "tok") << "the store answers again, so the user is still signed in";
    EXPECT_FALSE(store.isUnavailable());
    EXPECT_EQ(store.deviceId(), "dev");
}

TEST_F(KeychainTokenStoreTest, AWriteWhileTheItemCannotBeReadIsKeptForTheRunUntilTheStoreIsBack)
{
    put(R"({"accessToken":"tok","deviceId":"dev"})");
    auto keychain = std::make_unique<FlakyLookupKeychain>(service.name);
    keychain->failingLookups = 2;
    FlakyLookupKeychain &flaky = *keychain;
    KeychainTokenStore store(std::move(keychain));

    EXPECT_FALSE(store.setAccessToken("fresh")) << "the sign-in holds for this run only, and says so";
    EXPECT_EQ(store.accessToken(), "fresh") << "the running process keeps what it was given";
    EXPECT_FALSE(store.isUnavailable());
    EXPECT_FALSE(store.setAccessToken("fresher"));
    EXPECT_EQ(flaky.writes, 0);
    EXPECT_EQ(stored().value, R"({"accessToken":"tok","deviceId":"dev"})");

    // The store is back: the next write goes over what it holds, keeping what this run did not change.
    EXPECT_TRUE(store.setAccessToken("newest"));
    EXPECT_EQ(QJsonDocument::fromJson(stored().value.toUtf8()).object(),
              (QJsonObject{{"accessToken", "newest"}, {"deviceId", "dev"}}));
}

} // namespace
