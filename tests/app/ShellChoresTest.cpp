// The shell's small duties at launch: the legacy login item's clean-up and the push-relay migration.
#include "Await.h"
#include "FakeAlertPresenter.h"
#include "ShellTestSupport.h"
#include "app/LegacyLoginItemCleanup.h"
#include "app/PushRelayMigration.h"
#include "core/SimpleKeychain.h"
#include "notifications/PushNotificationManager.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

using namespace plimsy;
using namespace plimsy::test;

namespace {

using Kind = SecretStore::Kind;
using Status = SecretStore::Status;

// --- Legacy login item ---------------------------------------------------------------------------

enum class Entry
{
    Missing,
    Removable,
    // A folder in its place: the removal fails and the entry stays, as a stuck registration does.
    Stuck,
};

struct CleanupRow
{
    const char *name;
    std::optional<qint64> attempts;
    Entry entry;
    std::optional<qint64> attemptsAfter;
    QStringList lines;
};

void PrintTo(const CleanupRow &row, std::ostream *out)
{
    *out << row.name;
}

class LegacyLoginItemCleanupTest : public ::testing::TestWithParam<CleanupRow>
{
protected:
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("Plimsy.conf"))};
};

TEST_P(LegacyLoginItemCleanupTest, TriesThreeTimesAtMost)
{
    const CleanupRow &row = GetParam();
    const QString entry = folder.filePath(QStringLiteral("autostart/com.tindrel.AutoLauncher.desktop"));
    QDir().mkpath(QFileInfo(entry).path());
    if (row.entry == Entry::Removable) {
        QFile file(entry);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    } else if (row.entry == Entry::Stuck) {
        ASSERT_TRUE(QDir().mkpath(entry + QStringLiteral("/pinned")));
    }
    if (row.attempts) {
        defaults.setValue(QLatin1String(LegacyLoginItemCleanup::AttemptsKey), *row.attempts);
    }
    defaults.setValue(QLatin1String(LegacyLoginItemCleanup::AutolaunchKey), true);
    const qsizetype logStart = plimsyLog().size();

    LegacyLoginItemCleanup(defaults, entry).run();

    const QString attemptsKey = QLatin1String(LegacyLoginItemCleanup::AttemptsKey);
    EXPECT_EQ(defaults.contains(attemptsKey) ? std::optional<qint64>(defaults.integer(attemptsKey)) : std::nullopt,
              row.attemptsAfter);
    EXPECT_EQ(defaults.contains(QLatin1String(LegacyLoginItemCleanup::AutolaunchKey)), row.attempts == 3);
    QStringList lines;
    for (const QString &line : plimsyLog().mid(logStart).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        lines << line.section(QStringLiteral("] "), 1).replace(entry, QStringLiteral("<entry>"));
    }
    EXPECT_EQ(lines, row.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cleanup,
    LegacyLoginItemCleanupTest,
    ::testing::Values(
        CleanupRow{"givenUpAfterThree", 3, Entry::Stuck, 3, {}},
        CleanupRow{"alreadyGone", 2, Entry::Missing, std::nullopt, {}},
        CleanupRow{"removed",
                   std::nullopt,
                   Entry::Removable,
                   std::nullopt,
                   {"[Cleanup] Legacy login item com.tindrel.AutoLauncher is registered with launchd — disabling "
                    "(attempt 1/3)",
                    "[Cleanup] Legacy login item removed (SMLoginItemSetEnabled returned true)"}},
        CleanupRow{"stillThere",
                   2,
                   Entry::Stuck,
                   3,
                   {"[Cleanup] Legacy login item com.tindrel.AutoLauncher is registered with launchd — disabling "
                    "(attempt 3/3)",
                    "[Cleanup] WARNING: launchd still lists com.tindrel.AutoLauncher after disable (returned false). "
                    "May be stuck; user can remove <entry>"}}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Push-relay migration ------------------------------------------------------------------------

// The test keyring's items of a service of this test's own; writes can be refused.
class RelayKeychain final : public KeychainProtocol
{
public:
    explicit RelayKeychain(QString service)
        : m_items(std::move(service))
    {
    }

    bool refusesWrites = false;

    SecretStore::Lookup lookup(const QString &account, Kind kind) const override
    {
        return m_items.lookup(account, kind);
    }
    Status store(const QString &value, const QString &account) override
    {
        return refusesWrites ? Status::Unavailable : m_items.store(value, account);
    }
    Status remove(const QString &account, Kind kind) override { return m_items.remove(account, kind); }
    SecretStore::Listing listAccounts(Kind kind) const override { return m_items.listAccounts(kind); }
    Status removeAll(Kind kind) override { return m_items.removeAll(kind); }

private:
    SimpleKeychain m_items;
};

class PushRelayMigrationTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const auto &open : alerts.open()) {
            alerts.close(open.id);
        }
        SecretStore::removeAll(service, Kind::Default);
        SecretStore::removeAll(service, Kind::Legacy);
    }

    PushRelayMigration migration() { return PushRelayMigration({&keychain, &defaults, &auth, &alerts, &push}); }

    SecretStore::Lookup stored(Kind kind) const
    {
        return SecretStore::get(service, QLatin1String(PushRelayMigration::KeyAccount), kind);
    }

    const QString service = QStringLiteral("com.tindrel.plimsy.test.relay-") + QUuid::createUuid().toString();
    RelayKeychain keychain{service};
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("Plimsy.conf"))};
    FixedAuthService auth;
    FakeAlertPresenter alerts;
    PushNotificationManager push{{}};
};

TEST_F(PushRelayMigrationTest, SignedOutTheOfferIsConsideredOnceAndNeverShown)
{
    ASSERT_EQ(SecretStore::set(service, QLatin1String(PushRelayMigration::KeyAccount), "relay-key", Kind::Default),
              Status::Ok);
    await(migration().offerIfNeeded());
    EXPECT_TRUE(defaults.boolValue(QLatin1String(PushRelayMigration::PromptedKey)));

    auth.signedIn = true;
    await(migration().offerIfNeeded());
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_EQ(stored(Kind::Default).value, QStringLiteral("relay-key"));
}

TEST_F(PushRelayMigrationTest, AFailedMigrationSaysWhyAndKeepsTheRelayKey)
{
    // Only an older version's item: it moves into the current store before the offer.
    ASSERT_EQ(SecretStore::set(service, QLatin1String(PushRelayMigration::KeyAccount), "relay-key", Kind::Legacy),
              Status::Ok);
    defaults.setValue(QLatin1String(PushRelayMigration::DeviceIdKey), QStringLiteral("device-7"));
    auth.signedIn = true;

    auto offered = migration();
    QCoro::Task<> offer = offered.offerIfNeeded();
    ASSERT_EQ(alerts.open().size(), 1);
    EXPECT_EQ(alerts.open().constFirst().alert.messageText, QStringLiteral("Migrate Push Notifications"));
    EXPECT_EQ(stored(Kind::Default).value, QStringLiteral("relay-key"));
    EXPECT_EQ(stored(Kind::Legacy).status, Status::NotFound);
    alerts.answer(alerts.open().constFirst().id, 0);
    await(std::move(offer));

    ASSERT_TRUE(QTest::qWaitFor([&] { return alerts.shown().size() == 2; }, 20'000));
    const Alert failure = alerts.shown().constLast().alert;
    EXPECT_EQ(failure.messageText, QStringLiteral("Migration Failed"));
    EXPECT_EQ(failure.informativeText, push.unavailableReason());
    EXPECT_EQ(stored(Kind::Default).value, QStringLiteral("relay-key"));
    EXPECT_EQ(defaults.string(QLatin1String(PushRelayMigration::DeviceIdKey)), QStringLiteral("device-7"));
}

TEST_F(PushRelayMigrationTest, AKeyThatCannotBeCopiedStaysInTheLegacyStore)
{
    ASSERT_EQ(SecretStore::set(service, QLatin1String(PushRelayMigration::KeyAccount), "relay-key", Kind::Legacy),
              Status::Ok);
    keychain.refusesWrites = true;
    EXPECT_EQ(PushRelayMigration::relayKey(keychain), QStringLiteral("relay-key"));
    EXPECT_EQ(stored(Kind::Legacy).value, QStringLiteral("relay-key"));

    keychain.refusesWrites = false;
    EXPECT_EQ(PushRelayMigration::relayKey(keychain), QStringLiteral("relay-key"));
    EXPECT_EQ(stored(Kind::Legacy).status, Status::NotFound);
    EXPECT_EQ(stored(Kind::Default).value, QStringLiteral("relay-key"));
}

} // namespace
