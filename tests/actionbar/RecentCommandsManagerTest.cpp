#include "actionbar/RecentCommandsManager.h"

#include "ActionBarRecords.h"
#include "FakeClock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

class RecentCommandsTest : public ::testing::Test
{
protected:
    // Seconds since 2001-01-01 UTC of the fake clock's start, as stored.
    double storedNow() const { return double(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).secsTo(clock.now())); }

    ActionBarRecords records;
    FakeClock clock;
};

TEST_F(RecentCommandsTest, ReadsTheStoredListsAndDropsOnlyBadElements)
{
    const double now = storedNow();
    records.defaults.setJson(
        QStringLiteral("actionBarRecentCommands"),
        QJsonArray{QJsonObject{{"commandId", "deploy-1"}, {"timestamp", now - 60}, {"count", 3}},
                   QJsonObject{{"commandId", "lacks-count"}, {"timestamp", now}},
                   QJsonObject{{"commandId", "reboot-1"}, {"timestamp", now - 7200}, {"count", 1}}});
    records.defaults.setJson(QStringLiteral("actionBarRecentEntities"),
                             QJsonArray{QJsonObject{{"entityName", "web-1"}, {"timestamp", "yesterday"}, {"count", 1}},
                                        QJsonObject{{"entityName", "web-2"}, {"timestamp", now}, {"count", 2}},
                                        // No date that far out: dropped, not read as some other date.
                                        QJsonObject{{"entityName", "web-3"}, {"timestamp", 1e300}, {"count", 1}}});
    RecentCommandsManager recents(records.defaults, clock);
    ASSERT_EQ(recents.recentCommands().size(), 2);
    EXPECT_EQ(recents.recentCommands().first().commandId, QStringLiteral("deploy-1"));
    EXPECT_EQ(recents.recentCommands().first().count, 3);
    EXPECT_EQ(recents.commandRecencyScore("deploy-1"), 100);
    EXPECT_EQ(recents.commandRecencyScore("reboot-1"), 25);
    EXPECT_EQ(recents.commandRecencyScore("lacks-count"), 0);
    EXPECT_EQ(recents.entityRecencyScore("web-2"), 80);
    EXPECT_EQ(recents.entityRecencyScore("web-1"), 0);
    EXPECT_EQ(recents.recentEntities().size(), 1);

    // The next record keeps the good entries instead of overwriting them.
    recents.recordCommand("deploy-2");
    RecentCommandsManager reread(records.defaults, clock);
    ASSERT_EQ(reread.recentCommands().size(), 3);
    const QJsonObject stored = records.defaults.json("actionBarRecentCommands").toArray().first().toObject();
    EXPECT_EQ(stored.keys(), QStringList({"commandId", "count", "timestamp"}));
    EXPECT_EQ(stored.value("commandId").toString(), QStringLiteral("deploy-2"));
    EXPECT_DOUBLE_EQ(stored.value("timestamp").toDouble(), now);
}

TEST_F(RecentCommandsTest, KeepsTheNewestWithinTheLimits)
{
    RecentCommandsManager recents(records.defaults, clock);
    for (int i = 0; i < 16; ++i) {
        recents.recordCommand(QStringLiteral("command-%1").arg(i));
        recents.recordEntity(QStringLiteral("entity-%1").arg(i));
        clock.advance(1s);
    }
    EXPECT_EQ(recents.recentCommands().size(), 15);
    EXPECT_EQ(recents.recentEntities().size(), 10);
    EXPECT_EQ(recents.recentCommands().first().commandId, QStringLiteral("command-15"));
    EXPECT_EQ(recents.commandRecencyScore("command-0"), 0);
    EXPECT_EQ(recents.entityRecencyScore("entity-5"), 0);
    EXPECT_EQ(recents.entityRecencyScore("entity-6"), 80);

    recents.recordCommand("command-3");
    EXPECT_EQ(recents.recentCommands().first().commandId, QStringLiteral("command-3"));
    EXPECT_EQ(recents.recentCommands().first().count, 2);
    EXPECT_EQ(recents.recentCommands().size(), 15);

    // An empty entity name changes and writes nothing; an empty command id is recorded like any other.
    records.defaults.remove("actionBarRecentEntities");
    recents.recordEntity("");
    EXPECT_FALSE(records.defaults.contains("actionBarRecentEntities"));
    recents.recordCommand("");
    EXPECT_EQ(recents.recentCommands().first().commandId, QString());
}

struct EdgeRow
{
    const char *name;
    std::chrono::seconds age;
    int commandScore;
    int entityScore;
};

class RecencyEdges : public ::testing::TestWithParam<EdgeRow>
{
};

TEST_P(RecencyEdges, Score)
{
    ActionBarRecords records;
    FakeClock clock;
    RecentCommandsManager recents(records.defaults, clock);
    recents.recordCommand("deploy-1");
    recents.recordEntity("web-1");
    clock.advance(GetParam().age);
    EXPECT_EQ(recents.commandRecencyScore("deploy-1"), GetParam().commandScore);
    EXPECT_EQ(recents.entityRecencyScore("web-1"), GetParam().entityScore);
    EXPECT_EQ(recents.entityRecencyScore("WEB-1"), 0);
}

const EdgeRow EdgeRows[] = {
    {"Now", 0s, 100, 80},
    {"FourteenMinutes", 14min, 100, 80},
    {"FifteenMinutes", 15min, 100, 50},
    {"TwentyNineMinutes", 29min, 100, 50},
    {"ThirtyMinutes", 30min, 50, 50},
    {"FiftyNineMinutes", 59min, 50, 50},
    {"TwoHours", 2h, 25, 30},
    {"TwentyThreeHours", 23h, 25, 15},
    {"OneDay", 24h, 10, 5},
    {"FromTheFuture", -1h, 100, 80},
};

INSTANTIATE_TEST_SUITE_P(Minutes, RecencyEdges, ::testing::ValuesIn(EdgeRows), [](const auto &info) {
    return std::string(info.param.name);
});

} // namespace
