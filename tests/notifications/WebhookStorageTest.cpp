#include "notifications/WebhookStorage.h"

#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace plimsy;

namespace {

class WebhookStorageTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    WebhookStorage storage{defaults};

    static QDateTime at(qint64 secondsSince2001)
    {
        return QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).addSecs(secondsSince2001);
    }
    QString storedText() const { return defaults.string(storage.storageKey); }
};

} // namespace

TEST_F(WebhookStorageTest, SavingToAnEmptyStoreWritesOneElementArrayInTheStoredForm)
{
    storage.save({11, 22, 33, at(0)});
    const QJsonArray stored = QJsonDocument::fromJson(storedText().toUtf8()).array();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.at(0).toObject(),
              (QJsonObject{{"siteId", 11}, {"serverId", 22}, {"webhookId", 33}, {"createdAt", 0.0}}));
    EXPECT_EQ(storage.registration(11), (WebhookRegistration{11, 22, 33, at(0)}));
    EXPECT_FALSE(storage.registration(22).has_value());
}

TEST_F(WebhookStorageTest, SaveLeavesOneEntryPerSiteAtTheEnd)
{
    // Two entries for site 1, as an older list may hold them.
    defaults.setValue(storage.storageKey,
                      QStringLiteral(R"([{"siteId":1,"serverId":5,"webhookId":100,"createdAt":1.5},)"
                                     R"({"siteId":2,"serverId":5,"webhookId":200,"createdAt":2},)"
                                     R"({"siteId":1,"serverId":5,"webhookId":101,"createdAt":3}])"));
    storage.save({1, 5, 102, at(60)});
    const QList<WebhookRegistration> registrations = storage.loadRegistrations();
    ASSERT_EQ(registrations.size(), 2);
    EXPECT_EQ(registrations.at(0).siteId, 2);
    EXPECT_EQ(registrations.at(1), (WebhookRegistration{1, 5, 102, at(60)}));
}

TEST_F(WebhookStorageTest, ADamagedEntryCostsOnlyItself)
{
    defaults.setValue(storage.storageKey,
                      QStringLiteral(R"([{"siteId":1,"serverId":5,"webhookId":100,"createdAt":1.25},)"
                                     R"({"siteId":"2","serverId":5,"webhookId":200,"createdAt":2},)"
                                     R"({"siteId":3,"serverId":5,"createdAt":2}, 7])"));
    const QList<WebhookRegistration> registrations = storage.loadRegistrations();
    ASSERT_EQ(registrations.size(), 1);
    EXPECT_EQ(registrations.at(0).webhookId, 100);
    EXPECT_EQ(registrations.at(0).createdAt, at(1).addMSecs(250));
}

TEST_F(WebhookStorageTest, UnreadableTextReadsEmptyAndIsReplacedByTheNextSave)
{
    defaults.setValue(storage.storageKey, QStringLiteral("{not json"));
    EXPECT_TRUE(storage.loadRegistrations().isEmpty());
    EXPECT_EQ(storedText(), QStringLiteral("{not json")); // reading keeps it
    storage.save({4, 5, 6, at(1)});
    EXPECT_EQ(storage.loadRegistrations().size(), 1);
}

TEST_F(WebhookStorageTest, PersistReplacesTheList)
{
    storage.save({1, 1, 1, at(1)});
    storage.persistRegistrations({});
    EXPECT_TRUE(storage.loadRegistrations().isEmpty());
    EXPECT_EQ(storedText(), QStringLiteral("[]"));
}
