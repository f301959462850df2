// What the client leaves on disk after a run that crashed and one that could not deliver: the
// owner's alone, and without what the redacted keys hide.
#include "FakeCrashIntake.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr const char *Secret = "hunter2-secret";

struct StoredRow
{
    const char *name;
    const char *pattern; // file path under the storage root or the shared folder, as a regular expression
    bool holdsMetadata;
};

void PrintTo(const StoredRow &row, std::ostream *out)
{
    *out << row.name;
}

class StoredFilesTest : public ::testing::TestWithParam<StoredRow>
{
protected:
    static void SetUpTestSuite()
    {
        s_data = new QTemporaryDir();
        const QJsonObject settings{
            {"kestrix", QJsonObject{{"apiKey", "0123456789abcdef0123456789abcdef"}}},
            {"metadata", QJsonObject{{"account", QJsonObject{{"password", Secret}, {"server", "forge-1"}}}}}};
        const QByteArray arguments = QJsonDocument(settings).toJson(QJsonDocument::Compact);
        for (const char *action : {"crash", "notify-flip"}) {
            QProcess child;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("XDG_DATA_HOME", s_data->path());
            // Nothing answers: what would be sent stays on disk.
            environment.insert("PLIMSY_CRASH_NOTIFY_URL", "http://127.0.0.1:9/notify");
            environment.insert("PLIMSY_CRASH_SESSIONS_URL", "http://127.0.0.1:9/sessions");
            // The crash reporter's handler, not the sanitizer's.
            environment.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") + ":handle_segv=0");
            child.setProcessEnvironment(environment);
            child.start(QStringLiteral(PLIMSY_KESTRIX_CLIENT_CHILD), {action, arguments});
            QByteArray output;
            const bool done = QTest::qWaitFor(
                [&] {
                    output += child.readAllStandardOutput();
                    return output.contains("delivered\n") || child.state() == QProcess::NotRunning;
                },
                60'000);
            EXPECT_TRUE(done) << action;
            child.kill();
            child.waitForFinished(20'000);
        }
    }

    static void TearDownTestSuite()
    {
        delete s_data;
        s_data = nullptr;
    }

    static QStringList entries(QDir::Filters filters)
    {
        QStringList found;
        QDirIterator it(s_data->path(), filters | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            found << it.next();
        }
        return found;
    }

    static inline QTemporaryDir *s_data = nullptr;
};

TEST_P(StoredFilesTest, AreTheOwnersAloneAndRedacted)
{
    const StoredRow &row = GetParam();
    const QRegularExpression pattern(QStringLiteral("/(com\\.kestrix\\.Kestrix/[^/]+/v1|kestrix-shared-[^/]+)/")
                                     + row.pattern + "$");
    const QStringList matching = entries(QDir::Files).filter(pattern);
    ASSERT_FALSE(matching.isEmpty()) << entries(QDir::Files).join('\n').toStdString();
    for (const QString &path : matching) {
        EXPECT_EQ(QFile::permissions(path)
                      & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
                  QFile::Permissions())
            << path.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        EXPECT_FALSE(content.contains(Secret)) << path.toStdString();
        if (row.holdsMetadata) {
            EXPECT_TRUE(content.contains("forge-1")) << path.toStdString();
            EXPECT_TRUE(content.contains("[REDACTED]")) << path.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files,
                         StoredFilesTest,
                         ::testing::Values(StoredRow{"crashReport", "CrashCoreReports/CrashReport-[^/]+\\.json", true},
                                           StoredRow{"storedEvent", "events/[^/]+\\.json", true},
                                           StoredRow{"metadata", "metadata\\.json", true},
                                           StoredRow{"state", "state\\.json", false},
                                           StoredRow{"systemState", "system_state\\.json", false},
                                           StoredRow{"configuration", "config\\.json", false},
                                           StoredRow{"storedSession", "sessions/[^/]+\\.json", false},
                                           StoredRow{"breadcrumbs", "breadcrumbs/[^/]+\\.json", false},
                                           StoredRow{"runContext", "run_context", false},
                                           StoredRow{"deviceId", "device-id\\.json", false}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(StoredFilesTest, FoldersAreTheOwnersAlone)
{
    const QStringList folders =
        entries(QDir::Dirs).filter(QRegularExpression("/(com\\.kestrix\\.Kestrix|kestrix-shared-)"));
    ASSERT_GE(folders.size(), 5);
    for (const QString &folder : folders) {
        if (!folder.contains("/v1") && !folder.contains("kestrix-shared-")) {
            continue; // the layout's parents are the storage root's own
        }
        EXPECT_EQ(QFile::permissions(folder)
                      & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
                          | QFile::ExeUser),
                  QFile::Permissions())
            << folder.toStdString();
    }
}

} // namespace
