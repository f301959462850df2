#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace plimsy;

namespace {

class UserDefaultsTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;
    QString path() const { return QDir(folder.path()).filePath("Plimsy.conf"); }
};

TEST_F(UserDefaultsTest, StoredValuesWinOverRegisteredDefaultsWhichAreNeverWritten)
{
    UserDefaults defaults(path());
    defaults.registerDefaults({{"autoRefreshInterval", 10}, {"monitorSites", true}});
    EXPECT_EQ(defaults.integer("autoRefreshInterval"), 10);
    EXPECT_TRUE(defaults.boolValue("monitorSites"));
    EXPECT_FALSE(defaults.contains("autoRefreshInterval"));

    defaults.setValue("autoRefreshInterval", 30);
    EXPECT_EQ(defaults.integer("autoRefreshInterval"), 30);

    UserDefaults reopened(path());
    EXPECT_EQ(reopened.integer("autoRefreshInterval"), 30);
    EXPECT_FALSE(reopened.object("monitorSites").isValid());
}

TEST_F(UserDefaultsTest, TypedReadsSurviveTheTextFile)
{
    {
        UserDefaults defaults(path());
        defaults.setValue("flag", true);
        defaults.setValue("off", false);
        defaults.setValue("count", 1440);
        defaults.setValue("ratio", 0.45);
        defaults.setValue("name", "Plimsy");
    }
    UserDefaults reopened(path());
    EXPECT_TRUE(reopened.boolValue("flag"));
    EXPECT_FALSE(reopened.boolValue("off"));
    EXPECT_EQ(reopened.integer("count"), 1440);
    EXPECT_DOUBLE_EQ(reopened.doubleValue("ratio"), 0.45);
    EXPECT_EQ(reopened.string("name"), "Plimsy");
    EXPECT_EQ(reopened.integer("flag"), 1);
    EXPECT_EQ(reopened.integer("missing"), 0);
    EXPECT_FALSE(reopened.boolValue("missing"));
}

TEST_F(UserDefaultsTest, RecordListsRoundTripAsJsonText)
{
    const QJsonArray list{QJsonObject{{"siteId", 7}, {"serverId", 3}}, QJsonObject{{"siteId", 8}}};
    {
        UserDefaults defaults(path());
        defaults.setJson("com.tindrel.plimsy.favoriteSites", list);
    }
    UserDefaults reopened(path());
    EXPECT_EQ(reopened.json("com.tindrel.plimsy.favoriteSites"), QJsonValue(list));
    EXPECT_TRUE(reopened.string("com.tindrel.plimsy.favoriteSites").startsWith("[{"));

    reopened.setValue("broken", "[{not json");
    EXPECT_TRUE(reopened.json("broken").isUndefined());
    EXPECT_TRUE(reopened.json("absent").isUndefined());
}

TEST_F(UserDefaultsTest, WritesAndRemovalsAnnounceTheirKey)
{
    UserDefaults defaults(path());
    QSignalSpy spy(&defaults, &UserDefaults::valueChanged);
    defaults.setValue("verboseLogging", true);
    defaults.remove("verboseLogging");
    ASSERT_EQ(spy.count(), 2);
    EXPECT_EQ(spy.at(0).at(0).toString(), "verboseLogging");
    EXPECT_FALSE(defaults.contains("verboseLogging"));
    EXPECT_TRUE(QFile::exists(path()));
}

// The file holds the user's e-mail and sign-in state: private under the usual umask, and made private again
// when found looser, through every write.
TEST_F(UserDefaultsTest, FolderAndFileAreTheOwnersAlone)
{
    const QString settingsFolder = QDir(folder.path()).filePath("com.tindrel.Plimsy");
    const QString file = QDir(settingsFolder).filePath("Plimsy.conf");
    const auto modeOf = [](const QString &path) {
        struct stat info = {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0u;
    };
    const mode_t previous = ::umask(022);
    {
        UserDefaults defaults(file);
        defaults.setValue("email", "robin@example.com");
    }
    EXPECT_EQ(modeOf(settingsFolder), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);

    ::chmod(QFile::encodeName(settingsFolder).constData(), 0755);
    ::chmod(QFile::encodeName(file).constData(), 0644);
    {
        UserDefaults defaults(file);
        EXPECT_EQ(defaults.string("email"), "robin@example.com");
        defaults.setValue("name", "Robin");
        defaults.remove("name");
    }
    ::umask(previous);
    EXPECT_EQ(modeOf(settingsFolder), 0700u);
    EXPECT_EQ(modeOf(file), 0600u);
}

} // namespace
