// The launch's system state: what the previous launch left, and how changes reach the file.
#include "crashreporter/client/KestrixSystemState.h"

#include "LogCapture.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXJSONSerialization.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <future>

using namespace kestrix;

namespace {

struct LoadRow
{
    const char *name;
    const char *previousFile; // none: no file
    bool previousIsEmpty;
    uint64_t consecutiveLaunchCrashes;
    int loadErrorLines;
};

void PrintTo(const LoadRow &row, std::ostream *out)
{
    *out << row.name;
}

class SystemStateLoadTest : public ::testing::TestWithParam<LoadRow>
{
protected:
    QTemporaryDir directory;
    QString path = directory.filePath("system_state.json");
};

TEST_P(SystemStateLoadTest, ReadsThePreviousLaunchAndQueuesThisOne)
{
    const LoadRow &row = GetParam();
    if (row.previousFile != nullptr) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.previousFile);
    }
    LogCapture log;
    KestrixConfiguration configuration(QStringLiteral("0123456789abcdef0123456789abcdef"));
    const KestrixSystemState state(configuration, path);

    EXPECT_EQ(state.lastLaunchState().isEmpty(), row.previousIsEmpty);
    EXPECT_EQ(state.consecutiveLaunchCrashes(), row.consecutiveLaunchCrashes);
    const QStringList lines = log.linesContaining("system_state.json");
    ASSERT_EQ(lines.size(), row.loadErrorLines) << lines.join('|').toStdString();
    if (row.loadErrorLines > 0) {
        EXPECT_TRUE(lines.first().startsWith("[Kestrix] [ERROR] Could not load system_state.json: "));
    }
    KXFileSystemQueue::shared().waitUntilIdle();
    const auto written = KXJSONSerialization::readObjectFromFile(path);
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, state.currentLaunchState());
    EXPECT_EQ(written->value("app").toObject().value("releaseStage").toString(), "production");
    EXPECT_FALSE(written->contains("internal")) << "no count until one is set";
    EXPECT_EQ(QFile::permissions(path) & (QFile::ReadGroup | QFile::ReadOther), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows,
    SystemStateLoadTest,
    ::testing::Values(
        LoadRow{"firstLaunch", nullptr, true, 0, 0},
        LoadRow{"corrupt", "{\"app\": {", true, 0, 1},
        LoadRow{"previous", R"({"app": {"id": "old"}, "internal": {"consecutiveLaunchCrashes": 3}})", false, 3, 0}),
    [](const auto &info) { return std::string(info.param.name); });

// The number of times a file named `name` was moved into place in the watched directory.
class RenameCounter
{
public:
    explicit RenameCounter(const QString &directory)
        : m_fd(inotify_init1(IN_NONBLOCK))
    {
        inotify_add_watch(m_fd, QFile::encodeName(directory).constData(), IN_MOVED_TO);
    }
    ~RenameCounter() { close(m_fd); }

    int count(const char *name)
    {
        alignas(inotify_event) char buffer[4096];
        ssize_t length = 0;
        while ((length = read(m_fd, buffer, sizeof buffer)) > 0) {
            for (char *at = buffer; at < buffer + length;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                m_count += event->len > 0 && std::strcmp(event->name, name) == 0 ? 1 : 0;
                at += sizeof(inotify_event) + event->len;
            }
        }
        return m_count;
    }

    RenameCounter(const RenameCounter &) = delete;
    RenameCounter &operator=(const RenameCounter &) = delete;

private:
    int m_fd;
    int m_count = 0;
};

TEST(SystemStateTest, QuickChangesInARowAreWrittenOnceWithBoth)
{
    QTemporaryDir directory;
    KestrixConfiguration configuration(QStringLiteral("0123456789abcdef0123456789abcdef"));
    KestrixSystemState state(configuration, directory.filePath("system_state.json"));
    KXFileSystemQueue::shared().waitUntilIdle();
    RenameCounter renames(directory.path());

    std::promise<void> release;
    KXFileSystemQueue::shared().async([wait = release.get_future().share()] { wait.wait(); });
    state.setValue(QStringLiteral("first"), "one", "extra");
    state.setConsecutiveLaunchCrashes(2);
    release.set_value();
    KXFileSystemQueue::shared().waitUntilIdle();

    EXPECT_EQ(renames.count("system_state.json"), 1);
    const auto written = KXJSONSerialization::readObjectFromFile(directory.filePath("system_state.json"));
    ASSERT_TRUE(written);
    EXPECT_EQ(written->value("extra").toObject().value("one").toString(), "first");
    EXPECT_EQ(written->value("internal").toObject().value("consecutiveLaunchCrashes").toInt(), 2);
    EXPECT_EQ(written->value("app"), state.currentLaunchState().value("app")) << "other sections kept";

    // A later change is written again; purge leaves nothing behind.
    state.setCodeBundleID(QStringLiteral("bundle-7"));
    KXFileSystemQueue::shared().waitUntilIdle();
    EXPECT_EQ(renames.count("system_state.json"), 2);
    state.purge();
    EXPECT_FALSE(QFile::exists(directory.filePath("system_state.json")));
    EXPECT_TRUE(state.lastLaunchState().isEmpty());
}

TEST(SystemStateTest, AbsentFactsAreEmptyOrLeftOut)
{
    KestrixConfiguration configuration(QStringLiteral("0123456789abcdef0123456789abcdef"));
    const QJsonObject info{{"CFBundleIdentifier", "com.example.plimsy"},
                           {"CFBundleName", QJsonValue::Null},
                           {"os_version", "6.1.0"},
                           {"memory", QJsonObject{{"size", 8589934592.0}}}};
    const QJsonObject state = KestrixSystemState::launchState(configuration, info);
    const QJsonObject app = state.value("app").toObject();
    const QJsonObject device = state.value("device").toObject();

    EXPECT_EQ(app.value("id").toString(), "com.example.plimsy");
    EXPECT_EQ(app.value("name"), QJsonValue(""));
    EXPECT_EQ(app.value("version"), QJsonValue(""));
    EXPECT_FALSE(app.contains("machoUUID"));
    EXPECT_FALSE(app.contains("binaryArch"));
    EXPECT_EQ(app.value("type").toString(), "linux");
    EXPECT_FALSE(device.contains("jailbroken"));
    EXPECT_FALSE(device.contains("model"));
    EXPECT_EQ(device.value("osBuild").toString(), "6.1.0");
    EXPECT_EQ(device.value("runtimeVersions").toObject(), (QJsonObject{{"clangVersion", ""}, {"osBuild", "6.1.0"}}));
    EXPECT_EQ(device.value("totalMemory").toDouble(), 8589934592.0);
    EXPECT_EQ(device.value("wordSize").toInt(), 64);
    EXPECT_FALSE(device.value("id").toString().isEmpty());
}

} // namespace
