#include "platform/SecretStore.h"

#include "EmptySessionBus.h"

#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

using namespace plimsy;
using Kind = SecretStore::Kind;
using Status = SecretStore::Status;

namespace {

// Each test works on a service name of its own, so parallel tests never see each other's items.
class SecretStoreTest : public ::testing::Test
{
protected:
    const QString service = "com.tindrel.plimsy.test." + QUuid::createUuid().toString(QUuid::WithoutBraces);

    void TearDown() override
    {
        SecretStore::removeAll(service, Kind::Default);
        SecretStore::removeAll(service, Kind::Legacy);
    }
};

TEST_F(SecretStoreTest, StoresReadsReplacesAndRemoves)
{
    EXPECT_EQ(SecretStore::get(service, "all_api_keys").status, Status::NotFound);
    ASSERT_EQ(SecretStore::set(service, "all_api_keys", R"({"A":"key-ä"})"), Status::Ok);
    const auto stored = SecretStore::get(service, "all_api_keys");
    EXPECT_EQ(stored.status, Status::Ok);
    EXPECT_EQ(stored.value, R"({"A":"key-ä"})");

    ASSERT_EQ(SecretStore::set(service, "all_api_keys", "second"), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "all_api_keys").value, "second");
    EXPECT_EQ(SecretStore::accounts(service).accounts, QStringList{"all_api_keys"});

    EXPECT_EQ(SecretStore::remove(service, "all_api_keys"), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "all_api_keys").status, Status::NotFound);
    EXPECT_EQ(SecretStore::remove(service, "all_api_keys"), Status::Ok);
}

// A read started ahead answers the first get, and a write made meanwhile is never undone by it.
TEST_F(SecretStoreTest, AReadAheadAnswersTheFirstGetButNeverOutlivesAWrite)
{
    ASSERT_EQ(SecretStore::set(service, "auth_data", "first"), Status::Ok);
    SecretStore::readAhead(service, "auth_data");
    EXPECT_EQ(SecretStore::get(service, "auth_data").value, "first");

    SecretStore::readAhead(service, "auth_data");
    ASSERT_EQ(SecretStore::set(service, "auth_data", "second"), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "auth_data").value, "second");

    SecretStore::readAhead(service, "auth_data");
    ASSERT_EQ(SecretStore::removeAll(service), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "auth_data").status, Status::NotFound);
}

// A replacement writes into the existing item, so a write that fails never leaves the account without
// its old value. The item's object path, as the command-line client of the same service lists it, stays.
TEST_F(SecretStoreTest, ReplacingWritesIntoTheExistingItem)
{
    const auto itemPaths = [this] {
        QProcess tool;
        tool.start("secret-tool", {"search", "--all", "service", service, "account", "all_api_keys"});
        EXPECT_TRUE(tool.waitForFinished(20000)) << "secret-tool hung";
        QStringList paths;
        for (const QString &line : QString::fromUtf8(tool.readAllStandardOutput()).split('\n')) {
            if (line.startsWith('[')) {
                paths.append(line);
            }
        }
        return paths;
    };
    ASSERT_EQ(SecretStore::set(service, "all_api_keys", "first"), Status::Ok);
    const QStringList before = itemPaths();
    ASSERT_EQ(before.size(), 1);

    ASSERT_EQ(SecretStore::set(service, "all_api_keys", "second"), Status::Ok);
    EXPECT_EQ(itemPaths(), before);
    EXPECT_EQ(SecretStore::get(service, "all_api_keys").value, "second");
}

TEST_F(SecretStoreTest, LegacyItemsAreSeparateFromDefaultOnes)
{
    ASSERT_EQ(SecretStore::set(service, "apikey", "old", Kind::Legacy), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "apikey").status, Status::NotFound);
    EXPECT_EQ(SecretStore::get(service, "apikey", Kind::Legacy).value, "old");

    ASSERT_EQ(SecretStore::set(service, "apikey", "new"), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "apikey").value, "new");
    EXPECT_EQ(SecretStore::get(service, "apikey", Kind::Legacy).value, "old");
    EXPECT_EQ(SecretStore::accounts(service).accounts, QStringList{"apikey"});
    EXPECT_EQ(SecretStore::accounts(service, Kind::Legacy).accounts, QStringList{"apikey"});

    EXPECT_EQ(SecretStore::remove(service, "apikey"), Status::Ok);
    EXPECT_EQ(SecretStore::get(service, "apikey", Kind::Legacy).value, "old");
}

TEST_F(SecretStoreTest, ListsEveryAccountAndRemovesAll)
{
    for (const char *account : {"uuid-a", "uuid-b", "uuid-c"}) {
        ASSERT_EQ(SecretStore::set(service, account, "k"), Status::Ok);
    }
    QStringList accounts = SecretStore::accounts(service).accounts;
    accounts.sort();
    EXPECT_EQ(accounts, (QStringList{"uuid-a", "uuid-b", "uuid-c"}));
    EXPECT_EQ(SecretStore::removeAll(service), Status::Ok);
    EXPECT_TRUE(SecretStore::accounts(service).accounts.isEmpty());
}

// Runs the probe program against a session bus that has no Secret Service and cannot start one.
class SecretStoreWithoutServiceTest : public ::testing::Test
{
protected:
    plimsy::test::EmptySessionBus bus;

    QStringList runProbe(const QString &busAddress)
    {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        probe.setProcessEnvironment(environment);
        probe.start(PLIMSY_SECRET_PROBE, {});
        EXPECT_TRUE(probe.waitForFinished(20000)) << "the probe hung";
        EXPECT_EQ(probe.exitCode(), 0);
        return QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
};

const QStringList AllUnavailable{"get unavailable", "set unavailable", "remove unavailable", "accounts unavailable"};

TEST_F(SecretStoreWithoutServiceTest, ABusWithoutSecretServiceIsReportedUnavailable)
{
    const QString address = bus.start();
    ASSERT_FALSE(address.isEmpty());
    EXPECT_EQ(runProbe(address), AllUnavailable);
}

TEST_F(SecretStoreWithoutServiceTest, NoBusAtAllIsReportedUnavailable)
{
    EXPECT_EQ(runProbe(bus.missingAddress()), AllUnavailable);
}

} // namespace
