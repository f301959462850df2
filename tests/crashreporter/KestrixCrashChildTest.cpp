#include "crashreporter/model/KXCrashReportFixup.h"
#include "crashreporter/model/KestrixEvent.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <set>

using namespace kestrix;

namespace {

const QString NeutralBuildRoot = QStringLiteral("/build");

struct Crash
{
    QByteArray report; // the file as the crash core wrote it
    QJsonObject json;
};

// Runs the child until it crashes and returns its one report.
std::optional<Crash> crashChild(const QString &kind, const QString &storage)
{
    QProcess child;
    child.start(QStringLiteral(PLIMSY_KESTRIX_CRASH_CHILD), {kind, storage});
    if (!child.waitForFinished(60000)) {
        ADD_FAILURE() << "the child did not finish";
        child.kill();
        child.waitForFinished();
        return std::nullopt;
    }
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit) << child.readAllStandardError().toStdString();
    const QDir reports(QDir(storage).filePath(QStringLiteral("CrashCoreReports")));
    const QStringList files = reports.entryList({QStringLiteral("CrashReport-*.json")}, QDir::Files);
    if (files.size() != 1) {
        ADD_FAILURE() << "reports: " << files.join(QLatin1Char(' ')).toStdString();
        return std::nullopt;
    }
    QFile file(reports.filePath(files.first()));
    file.open(QIODevice::ReadOnly);
    Crash crash{file.readAll(), {}};
    QJsonParseError error;
    crash.json = QJsonDocument::fromJson(crash.report, &error).object();
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return crash;
}

// The event a delivery would send, with the two facts of the machine that reads the report pinned.
QJsonObject eventJsonOf(const QJsonObject &report)
{
    auto event = KestrixEvent::fromCoreReport(kxFixupCrashReport(report));
    if (!event) {
        ADD_FAILURE() << "no event";
        return {};
    }
    event->device.id = QStringLiteral("pinned-device-id");
    event->device.locale = QStringLiteral("en_US");
    event->device.manufacturer = QStringLiteral("Pinned Maker");
    return event->toJsonWithRedactedKeys(KestrixConfiguration(std::nullopt).redactedKeys);
}

QString fixture(const QString &name)
{
    return QDir(QStringLiteral(PLIMSY_CRASH_FIXTURES)).filePath(name);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(data);
}

// PLIMSY_REGENERATE_GOLDEN=1: crash the child again and write both files of the pair.
void regenerate(const QString &name)
{
    QTemporaryDir storage;
    const auto crash = crashChild(name, storage.path());
    ASSERT_TRUE(crash.has_value());
    QByteArray report = crash->report;
    report.replace(QByteArray(PLIMSY_BUILD_ROOT), NeutralBuildRoot.toUtf8());
    writeFile(fixture(name + QStringLiteral(".report.json")), report);
    const QJsonObject event = eventJsonOf(QJsonDocument::fromJson(report).object());
    writeFile(fixture(name + QStringLiteral(".event.json")), QJsonDocument(event).toJson(QJsonDocument::Indented));
}

class KestrixCrashChildGoldenTest : public ::testing::TestWithParam<const char *>
{
};

TEST_P(KestrixCrashChildGoldenTest, theEventFollowsFromTheReport)
{
    const QString name = QString::fromLatin1(GetParam());
    if (qEnvironmentVariableIsSet("PLIMSY_REGENERATE_GOLDEN")) {
        regenerate(name);
    }
    const QJsonObject report =
        QJsonDocument::fromJson(readFile(fixture(name + QStringLiteral(".report.json")))).object();
    const QJsonObject expected =
        QJsonDocument::fromJson(readFile(fixture(name + QStringLiteral(".event.json")))).object();
    ASSERT_FALSE(report.isEmpty());
    ASSERT_FALSE(expected.isEmpty());
    const QJsonObject actual = eventJsonOf(report);
    for (const QString &key : expected.keys() + actual.keys()) {
        EXPECT_EQ(actual.value(key), expected.value(key)) << "member " << key.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(KestrixCrashChild,
                         KestrixCrashChildGoldenTest,
                         ::testing::Values("null_write", "runtime_error", "two_threads"),
                         [](const auto &info) { return std::string(info.param); });

QStringList methodsOf(const QJsonArray &frames)
{
    QStringList methods;
    for (const QJsonValue &frame : frames) {
        methods << frame[QStringLiteral("method")].toString();
    }
    return methods;
}

TEST(KestrixCrashChildTest, aFreshCrashBecomesItsEvent)
{
    QTemporaryDir storage;
    const auto crash = crashChild(QStringLiteral("null_write"), storage.path());
    ASSERT_TRUE(crash.has_value());
    const QJsonObject event = eventJsonOf(crash->json);

    const QJsonObject exception = event[QStringLiteral("exceptions")][0].toObject();
    EXPECT_EQ(exception[QStringLiteral("errorClass")].toString(), QStringLiteral("SIGSEGV"));
    EXPECT_EQ(exception[QStringLiteral("message")].toString(),
              QStringLiteral("Attempted to dereference null pointer."));
    EXPECT_TRUE(
        methodsOf(exception[QStringLiteral("stacktrace")].toArray()).contains(QStringLiteral("modelCrashNullWrite")));
    const QJsonArray threads = event[QStringLiteral("threads")].toArray();
    EXPECT_GE(threads.size(), 2);
    int reporting = 0;
    for (const QJsonValue &thread : threads) {
        reporting += thread[QStringLiteral("errorReportingThread")].toBool() ? 1 : 0;
    }
    EXPECT_EQ(reporting, 1);

    EXPECT_TRUE(event[QStringLiteral("unhandled")].toBool());
    EXPECT_EQ(event[QStringLiteral("severityReason")].toObject(),
              (QJsonObject{{QStringLiteral("type"), QStringLiteral("signal")},
                           {QStringLiteral("attributes"),
                            QJsonObject{{QStringLiteral("signalType"), QStringLiteral("SIGSEGV")}}}}));
    const QJsonObject session = event[QStringLiteral("session")].toObject();
    EXPECT_EQ(session[QStringLiteral("id")].toString(), QStringLiteral("5E1D6A0C-2B4F-4C39-9A47-3F6B1E2D8C10"));
    EXPECT_EQ(session[QStringLiteral("startedAt")].toString(), QStringLiteral("2024-05-17T09:30:15.250Z"));
    EXPECT_EQ(session[QStringLiteral("events")].toObject(),
              (QJsonObject{{QStringLiteral("handled"), 2}, {QStringLiteral("unhandled"), 1}}));

    QStringList trail;
    for (const QJsonValue &breadcrumb : event[QStringLiteral("breadcrumbs")].toArray()) {
        trail << breadcrumb[QStringLiteral("name")].toString();
    }
    EXPECT_EQ(trail,
              (QStringList{QStringLiteral("Kestrix loaded"),
                           QStringLiteral("App Became Active"),
                           QStringLiteral("Refresh started"),
                           QStringLiteral("Server list loaded")}));
    EXPECT_EQ(
        event[QStringLiteral("breadcrumbs")][3][QStringLiteral("metaData")][QStringLiteral("password")].toString(),
        QStringLiteral("[REDACTED]"));
    EXPECT_EQ(event[QStringLiteral("featureFlags")].toArray(),
              (QJsonArray{QJsonObject{{QStringLiteral("featureFlag"), QStringLiteral("new-menu")}},
                          QJsonObject{{QStringLiteral("featureFlag"), QStringLiteral("dark-mode")},
                                      {QStringLiteral("variant"), QStringLiteral("on")}}}));

    const QJsonObject metadata = event[QStringLiteral("metaData")].toObject();
    EXPECT_EQ(metadata[QStringLiteral("account")][QStringLiteral("Password")].toString(), QStringLiteral("[REDACTED]"));
    EXPECT_EQ(metadata[QStringLiteral("account")][QStringLiteral("server")].toString(), QStringLiteral("forge-1"));
    for (const QJsonValue &login : metadata[QStringLiteral("custom")][QStringLiteral("logins")].toArray()) {
        EXPECT_EQ(login[QStringLiteral("password")].toString(), QStringLiteral("[REDACTED]"));
    }
    EXPECT_EQ(metadata[QStringLiteral("device")][QStringLiteral("thermalState")].toString(), QStringLiteral("nominal"));
    EXPECT_EQ(metadata[QStringLiteral("error")][QStringLiteral("type")].toString(), QStringLiteral("signal"));
    const QByteArray sent = QJsonDocument(event).toJson();
    EXPECT_FALSE(sent.contains("hunter2") || sent.contains("\"a1\"") || sent.contains("\"b2\""));

    EXPECT_EQ(event[QStringLiteral("context")].toString(), QStringLiteral("Preferences"));
    EXPECT_EQ(event[QStringLiteral("user")].toObject(),
              (QJsonObject{{QStringLiteral("id"), QStringLiteral("user-7")},
                           {QStringLiteral("email"), QStringLiteral("ann@example.com")},
                           {QStringLiteral("name"), QStringLiteral("Ann")}}));
    EXPECT_TRUE(event[QStringLiteral("app")][QStringLiteral("isLaunching")].toBool());
    EXPECT_EQ(event[QStringLiteral("app")][QStringLiteral("releaseStage")].toString(), QStringLiteral("beta"));
    EXPECT_TRUE(QFile::exists(QDir(storage.path()).filePath(QStringLiteral("kestrix_handled_crash.txt"))));
}

// Two threads add and clear flags and breadcrumbs while a third crashes: the report still parses,
// with at most the configured number of breadcrumbs, each thread's in order, and one entry per flag.
TEST(KestrixCrashChildTest, crashTimeWritersStayConsistentUnderConcurrentChanges)
{
    QTemporaryDir storage;
    const auto crash = crashChild(QStringLiteral("busy_writers"), storage.path());
    ASSERT_TRUE(crash.has_value());
    const QJsonObject user = crash->json[QStringLiteral("user_atcrash")].toObject();

    const QJsonArray breadcrumbs = user[QStringLiteral("breadcrumbs")].toArray();
    EXPECT_LE(breadcrumbs.size(), 25);
    std::map<int, int> lastStep;
    static const QRegularExpression shape(QStringLiteral("^thread (\\d) step (\\d+)$"));
    for (const QJsonValue &breadcrumb : breadcrumbs) {
        ASSERT_TRUE(KestrixBreadcrumb::fromDict(breadcrumb.toObject()).has_value());
        const auto match = shape.match(breadcrumb[QStringLiteral("name")].toString());
        if (!match.hasMatch()) {
            continue; // one of the breadcrumbs left before the threads started
        }
        const int thread = match.captured(1).toInt();
        const int step = match.captured(2).toInt();
        if (lastStep.count(thread) != 0) {
            EXPECT_GT(step, lastStep[thread]);
        }
        lastStep[thread] = step;
    }

    const QJsonArray flags = user[QStringLiteral("featureFlags")].toArray();
    std::set<QString> names;
    for (const QJsonValue &flag : flags) {
        ASSERT_TRUE(flag[QStringLiteral("featureFlag")].isString());
        EXPECT_TRUE(names.insert(flag[QStringLiteral("featureFlag")].toString()).second) << "a flag written twice";
    }
    EXPECT_EQ(names.count(QStringLiteral("new-menu")), 1u);
    EXPECT_EQ(names.count(QStringLiteral("gone")), 0u);
}

} // namespace
