#include "menu/CustomServerStore.h"
#include "menu/FavoriteSitesStore.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace plimsy;

namespace {

class StoresTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *name : {"customServersDidChange", "favoriteSitesDidChange"}) {
            NotificationCenter::defaultCenter().addObserver(
                QString::fromLatin1(name), &context, [this](const Notification &n) { posted << n.name; });
        }
    }

    QJsonArray stored(const char *key) const
    {
        return QJsonDocument::fromJson(defaults.string(QLatin1String(key)).toUtf8()).array();
    }

    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    QObject context;
    QStringList posted;
};

const CustomServer Box{QUuid::fromString(QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF")),
                       QStringLiteral("Backup box"),
                       QStringLiteral("backup.example.net"),
                       QStringLiteral("admin"),
                       2222};

} // namespace

TEST_F(StoresTest, CustomServersRoundTripInTheStoredForm)
{
    CustomServerStore store(defaults);
    CustomServer noPort = Box;
    noPort.id = QUuid::createUuid();
    noPort.port.reset();
    store.save({Box, noPort});

    const QJsonArray entries = stored(CustomServerStore::Key);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(0).toObject(),
              (QJsonObject{{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
                           {"name", "Backup box"},
                           {"host", "backup.example.net"},
                           {"user", "admin"},
                           {"port", 2222}}));
    EXPECT_FALSE(entries.at(1).toObject().contains("port"));
    EXPECT_EQ(store.load(), (QList<CustomServer>{Box, noPort}));
    EXPECT_EQ(posted, QStringList{"customServersDidChange"});
    EXPECT_EQ(Box.sshCommand(), QStringLiteral("ssh -p 2222 admin@backup.example.net"));
    EXPECT_EQ(noPort.sshCommand(), QStringLiteral("ssh admin@backup.example.net"));
}

TEST_F(StoresTest, ABadCustomServerEntryCostsOnlyItself)
{
    defaults.setValue(QLatin1String(CustomServerStore::Key),
                      QStringLiteral(R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"Backup box",)"
                                     R"("host":"backup.example.net","user":"admin","port":2222},)"
                                     R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"x","host":"h",)"
                                     R"("user":"u","port":"22"},)"
                                     R"({"id":"not-a-uuid","name":"y","host":"h","user":"u"}])"));
    EXPECT_EQ(CustomServerStore(defaults).load(), QList<CustomServer>{Box});
}

TEST_F(StoresTest, CustomServerUpdateAndMoveChangeNothingWhenThereIsNothingToDo)
{
    CustomServerStore store(defaults);
    CustomServer second = Box;
    second.id = QUuid::createUuid();
    second.name = QStringLiteral("second");
    store.save({Box, second});
    posted.clear();
    const QString before = defaults.string(QLatin1String(CustomServerStore::Key));

    CustomServer stranger = Box;
    stranger.id = QUuid::createUuid();
    store.update(stranger);
    store.move(0, 0);
    store.move(0, 2);
    store.move(-1, 0);
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_EQ(defaults.string(QLatin1String(CustomServerStore::Key)), before);

    CustomServer renamed = second;
    renamed.name = QStringLiteral("renamed");
    store.update(renamed);
    store.move(1, 0);
    EXPECT_EQ(store.load(), (QList<CustomServer>{renamed, Box}));
    EXPECT_EQ(posted.size(), 2);
}

TEST_F(StoresTest, FavoritesRoundTripAndToggleTwiceRestoresTheList)
{
    FavoriteSitesStore store(defaults);
    store.toggle(QStringLiteral("A"), 1, 10);
    store.toggle(QStringLiteral("B"), 1, 10); // same site id, other account: another favourite
    const QJsonArray entries = stored(FavoriteSitesStore::Key);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries.at(0).toObject(), (QJsonObject{{"accountId", "A"}, {"serverId", 1}, {"siteId", 10}}));
    EXPECT_EQ(FavoriteSitesStore::contains(QStringLiteral("B"), 1, 10, store.load()), 1);

    store.toggle(QStringLiteral("C"), 2, 20);
    store.toggle(QStringLiteral("C"), 2, 20);
    EXPECT_EQ(store.load(), (QList<FavoriteSite>{{"A", 1, 10}, {"B", 1, 10}}));
    EXPECT_EQ(posted.size(), 4);
}

TEST_F(StoresTest, ABadFavoriteEntryCostsOnlyItself)
{
    defaults.setValue(
        QLatin1String(FavoriteSitesStore::Key),
        QStringLiteral(R"([{"accountId":"A","serverId":1,"siteId":10},{"accountId":"A","serverId":1},)"
                       R"({"accountId":5,"serverId":1,"siteId":11},{"accountId":"B","serverId":1.5,"siteId":1}])"));
    FavoriteSitesStore store(defaults);
    EXPECT_EQ(store.load(), (QList<FavoriteSite>{{"A", 1, 10}}));

    defaults.setValue(QLatin1String(FavoriteSitesStore::Key), QStringLiteral("garbage"));
    store.toggle(QStringLiteral("A"), 2, 3);
    EXPECT_EQ(store.load(), (QList<FavoriteSite>{{"A", 2, 3}}));
}
