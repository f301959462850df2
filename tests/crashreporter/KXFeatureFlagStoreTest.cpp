#include "LogCapture.h"
#include "crashreporter/support/KXCompositeFeatureFlagStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace kestrix;

namespace {

QStringList namesOf(const KestrixFeatureFlags &flags)
{
    QStringList names;
    for (const KestrixFeatureFlag &flag : flags) {
        names << flag.name + (flag.variant ? QLatin1Char('=') + *flag.variant : QString());
    }
    return names;
}

TEST(KXFeatureFlagStoreTest, memoryStoreKeepsFirstPlacesThroughReplacementsAndCompaction)
{
    KXMemoryFeatureFlagStore store;
    store.addFeatureFlag(QStringLiteral("A"), std::nullopt);
    store.addFeatureFlag(QStringLiteral("B"), QStringLiteral("1"));
    store.addFeatureFlag(QStringLiteral("A"), QStringLiteral("new"));
    EXPECT_EQ(namesOf(store.allFlags()), (QStringList{QStringLiteral("A=new"), QStringLiteral("B=1")}));

    for (int i = 0; i < 1000; i++) {
        store.addFeatureFlag(QStringLiteral("f%1").arg(i), std::nullopt);
    }
    store.addFeatureFlag(QStringLiteral("Z"), std::nullopt);
    for (int i = 0; i < 1000; i++) {
        store.clear(QStringLiteral("f%1").arg(i));
    }
    store.addFeatureFlag(QStringLiteral("B"), QStringLiteral("2"));
    store.addFeatureFlag(QStringLiteral("Y"), std::nullopt);
    EXPECT_EQ(namesOf(store.allFlags()),
              (QStringList{QStringLiteral("A=new"), QStringLiteral("B=2"), QStringLiteral("Z"), QStringLiteral("Y")}));

    const auto read = KXMemoryFeatureFlagStore::fromJSON(
        QJsonDocument::fromJson(
            R"([{"featureFlag": "x", "variant": 3}, {"featureFlag": 1}, "text", {"featureFlag": "y", "variant": "v"}])")
            .array());
    EXPECT_EQ(namesOf(read.allFlags()), (QStringList{QStringLiteral("x"), QStringLiteral("y=v")}));
    EXPECT_EQ(read.toJSON(),
              QJsonDocument::fromJson(R"([{"featureFlag": "x"}, {"featureFlag": "y", "variant": "v"}])").array());
}

TEST(KXFeatureFlagStoreTest, persistentStoreKeepsThePreviousRunsFlags)
{
    QTemporaryDir directory;
    {
        KXPersistentFeatureFlagStore previousRun(directory.path());
        previousRun.addFeatureFlag(QStringLiteral("beta/menu"), QStringLiteral("on"));
        previousRun.addFeatureFlag(QStringLiteral("zeta"), std::nullopt);
        previousRun.addFeatureFlag(QStringLiteral("alpha"), std::nullopt);
    }
    const QString encoded = QDir(directory.path()).filePath(QStringLiteral("beta%2Fmenu.json"));
    EXPECT_TRUE(QFile::exists(encoded));
    EXPECT_EQ(QFile(encoded).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
    QFile corrupt(QDir(directory.path()).filePath(QStringLiteral("broken.json")));
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("{\"featureFlag\": ");
    corrupt.close();

    LogCapture log;
    KXCompositeFeatureFlagStore store(KXMemoryFeatureFlagStore(),
                                      std::make_unique<KXPersistentFeatureFlagStore>(directory.path()),
                                      KXAtomicFeatureFlagStore::store());
    EXPECT_EQ(namesOf(store.persistedFlags()),
              (QStringList{QStringLiteral("beta/menu=on"), QStringLiteral("zeta"), QStringLiteral("alpha")}));
    EXPECT_EQ(log.linesContaining(QStringLiteral("[Kestrix] [ERROR] Unable to decode feature flag:")).size(), 1);

    store.addFeatureFlag(QStringLiteral("now"), std::nullopt);
    store.synchronizeFlagsWithMemoryStore();
    EXPECT_EQ(namesOf(store.persistedFlags()), QStringList{QStringLiteral("now")});
    EXPECT_EQ(namesOf(store.allFlags()), QStringList{QStringLiteral("now")});
    EXPECT_FALSE(KXAtomicFeatureFlagStore::store().isEmpty());
    store.clear();
    EXPECT_TRUE(store.isEmpty());
    EXPECT_TRUE(KXAtomicFeatureFlagStore::store().isEmpty());
    EXPECT_TRUE(store.persistedFlags().empty());
}

} // namespace
