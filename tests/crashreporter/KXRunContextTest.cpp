#include "crashreporter/support/KXRunContext.h"

#include "crashreporter/core/KXCrashState.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXPersistentDeviceID.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstring>

using namespace kestrix;

namespace {

KXRunContextData runningContext()
{
    KXRunContextData context{};
    context.structVersion = KXRunContextVersion;
    context.isForeground = true;
    context.isActive = true;
    context.bootTime = 1700000000000000ULL;
    memset(context.machoUUID, 0xAB, sizeof(context.machoUUID));
    strcpy(context.bundleVersion, "42");
    return context;
}

struct EndingRow
{
    const char *name;
    void (*change)(KXRunContextData &previous);
    bool isAppExtension;
    bool expected;
};

std::ostream &operator<<(std::ostream &out, const EndingRow &row)
{
    return out << row.name;
}

const EndingRow EndingRows[] = {
    {"in_use_and_nothing_changed", [](KXRunContextData &) {}, false, true},
    {"in_an_app_extension", [](KXRunContextData &) {}, true, false},
    {"terminating", [](KXRunContextData &p) { p.isTerminating = true; }, false, false},
    {"debugger_attached", [](KXRunContextData &p) { p.isDebuggerAttached = true; }, false, false},
    {"rebooted", [](KXRunContextData &p) { p.bootTime += 1; }, false, false},
    {"other_version", [](KXRunContextData &p) { strcpy(p.bundleVersion, "43"); }, false, false},
    {"other_build", [](KXRunContextData &p) { p.machoUUID[15] = 0; }, false, false},
    {"in_background", [](KXRunContextData &p) { p.isForeground = false; }, false, false},
    {"not_active", [](KXRunContextData &p) { p.isActive = false; }, false, false},
};

class KXRunContextEndingTest : public ::testing::TestWithParam<EndingRow>
{
};

TEST_P(KXRunContextEndingTest, decidesWhetherThePreviousRunEndedUnexpectedly)
{
    const EndingRow &row = GetParam();
    KXRunContextData previous = runningContext();
    row.change(previous);
    EXPECT_EQ(KXRunContext::endedUnexpectedly(&previous, runningContext(), row.isAppExtension), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, KXRunContextEndingTest, ::testing::ValuesIn(EndingRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST(KXRunContextTest, noPreviousRunWithoutAContextOrFromAFileOfAnotherSizeOrVersion)
{
    EXPECT_FALSE(KXRunContext::endedUnexpectedly(nullptr, runningContext(), false));
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("run_context"));
    const KXRunContextData context = runningContext();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char *>(&context), sizeof(context));
    file.close();
    const auto read = KXRunContext::read(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_STREQ(read->bundleVersion, "42");

    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("x");
    file.close();
    EXPECT_FALSE(KXRunContext::read(path).has_value());

    KXRunContextData older = context;
    older.structVersion = 4;
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(reinterpret_cast<const char *>(&older), sizeof(older));
    file.close();
    EXPECT_FALSE(KXRunContext::read(path).has_value());
    EXPECT_EQ(KXRunContext::thermalStateName(3), QStringLiteral("critical"));
    EXPECT_TRUE(KXRunContext::thermalStateName(4).isEmpty());
}

TEST(KXCrashStateTest, aFailedWriteKeepsTheStateOfTheLastGoodOne)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("App-CrashState.json"));
    KXCrashState state;
    ASSERT_TRUE(kxstateInitialize(&state, QFile::encodeName(path).constData(), false, true));
    EXPECT_EQ(KXJSONSerialization::readObjectFromFile(path).value_or(QJsonObject()),
              QJsonObject({{QStringLiteral("version"), 1}, {QStringLiteral("crashedLastLaunch"), false}}));
    state.crashedThisLaunch = true;
    ASSERT_TRUE(kxstateWrite(&state));

    // With the temporary file's place taken, the write fails, and the recorded crash must stay.
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral(".tmp")));
    state.crashedThisLaunch = false;
    EXPECT_FALSE(kxstateWrite(&state));
    EXPECT_TRUE(KXJSONSerialization::readObjectFromFile(path)->value(QStringLiteral("crashedLastLaunch")).toBool());
}

TEST(KXCrashStateTest, durationsFollowTheForeground)
{
    QTemporaryDir directory;
    KXCrashState state;
    kxstateInitialize(&state, QFile::encodeName(directory.filePath(QStringLiteral("s.json"))).constData(), true, true);
    EXPECT_TRUE(state.crashedLastLaunch);
    state.appStateTransitionTime -= 2000000000ULL; // two seconds in the foreground
    kxstateNotifyForeground(&state, false);
    EXPECT_GE(state.activeDurationSinceLaunch, 2.0);
    EXPECT_EQ(state.backgroundDurationSinceLaunch, 0.0);
    state.appStateTransitionTime -= 3000000000ULL;
    kxstateNotifyCrash(&state);
    EXPECT_GE(state.backgroundDurationSinceLaunch, 3.0);
    EXPECT_TRUE(state.crashedThisLaunch);
}

TEST(KXPersistentDeviceIDTest, staysTheSameAcrossLoadsAndCompletesAPartialFile)
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("shared/device-id.json"));
    const KXPersistentDeviceID first = KXPersistentDeviceID::load(path);
    EXPECT_EQ(first.external().size(), 40);
    EXPECT_EQ(first.internal().size(), 40);
    EXPECT_NE(first.external(), first.internal());
    const KXPersistentDeviceID second = KXPersistentDeviceID::load(path);
    EXPECT_EQ(second.external(), first.external());
    EXPECT_EQ(second.internal(), first.internal());

    ASSERT_TRUE(KXJSONSerialization::writeObjectToFile(
        QJsonObject({{QStringLiteral("deviceID"), QStringLiteral("0123456789abcdef0123456789abcdef01234567")}}), path));
    const KXPersistentDeviceID completed = KXPersistentDeviceID::load(path);
    EXPECT_EQ(completed.external(), QStringLiteral("0123456789abcdef0123456789abcdef01234567"));
    EXPECT_EQ(completed.internal().size(), 40);
    EXPECT_EQ(KXJSONSerialization::readObjectFromFile(path)->value(QStringLiteral("internalDeviceID")).toString(),
              completed.internal());
}

TEST(KXFileLocationsTest, keepsEverythingAndTheDeviceIDInApplicationSupport)
{
    const KXFileLocations locations = KXFileLocations::v1();
    const QString support = plimsy::AppPaths::applicationSupport();
    EXPECT_EQ(locations.events, support + QStringLiteral("/com.kestrix.Kestrix/com.tindrel.Plimsy/v1/events"));
    EXPECT_TRUE(QFileInfo(locations.crashCoreReports).isDir());
    EXPECT_TRUE(QFileInfo(locations.featureFlags).isDir());
    EXPECT_EQ(locations.persistentDeviceID,
              support + QStringLiteral("/kestrix-shared-com.tindrel.Plimsy/device-id.json"));
    EXPECT_TRUE(QFileInfo(QFileInfo(locations.persistentDeviceID).path()).isDir());
    EXPECT_FALSE(locations.persistentDeviceID.startsWith(plimsy::AppPaths::caches()));
}

} // namespace
