// Plimsy itself, with its crash reporter pointed at a local intake: a run sends its session and is
// killed by SIGSEGV; the next delivers that crash once, keeping the report while the intake fails.
#include "FakeCrashIntake.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

using namespace plimsy;
using namespace plimsy::test;

namespace {

struct CrashRow
{
    const char *name;
    int firstAnswer;
    bool reportKept;
    int eventsInThirdRun;
};

void PrintTo(const CrashRow &row, std::ostream *out)
{
    *out << row.name;
}

class PlimsyCrashDeliveryTest : public ::testing::TestWithParam<CrashRow>
{
protected:
    PlimsyCrashDeliveryTest()
    {
        for (const char *path : {"/api/v1/stats", "/v1/announcements", "/appcast.xml"}) {
            intake.server().route("*", QString::fromLatin1(path), FakeResponse::empty(204));
        }
        UserDefaults(QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath("com.tindrel.Plimsy/Plimsy.conf"))
            .setValue(QStringLiteral("hasCompletedOnboarding"), true);
    }

    ~PlimsyCrashDeliveryTest() override
    {
        for (const auto &process : processes) {
            process->kill();
            process->waitForFinished(20'000);
        }
    }

    QProcess &start()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // Under AddressSanitizer the crash core, not the sanitizer, must catch the signal.
        environment.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") + ":handle_segv=0:detect_leaks=0");
        const QString base = intake.server().url(QStringLiteral("/")).toString().chopped(1);
        environment.insert("PLIMSY_STATS_URL", base + "/api/v1/stats");
        environment.insert("PLIMSY_API_BASE", base + "/v1");
        environment.insert("PLIMSY_UPDATE_FEED_URL", base + "/appcast.xml");
        environment.insert("PLIMSY_FORGE_API_BASE", base + "/forge/api/");
        environment.insert("PLIMSY_CRASH_NOTIFY_URL", intake.notifyURL().toString());
        environment.insert("PLIMSY_CRASH_SESSIONS_URL", intake.sessionsURL().toString());
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->start(QStringLiteral(PLIMSY_APP));
        processes.push_back(std::move(process));
        return *processes.back();
    }

    // Started, with its session at the intake.
    QProcess &startAndWaitForSession()
    {
        const qsizetype before = intake.sessions().size();
        QProcess &process = start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return intake.sessions().size() > before; }, 60'000));
        return process;
    }

    // Killed, and every request it had sent read by the intake.
    void stop(QProcess &process)
    {
        process.kill();
        ASSERT_TRUE(process.waitForFinished(20'000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return intake.server().openConnectionCount() == 0; }, 20'000));
    }

    static QStringList crashReports()
    {
        QStringList found;
        QDirIterator it(
            qEnvironmentVariable("XDG_DATA_HOME"), {"CrashReport-*.json"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            found << it.next();
        }
        return found;
    }

    FakeCrashIntake intake;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_P(PlimsyCrashDeliveryTest, TheNextLaunchDeliversTheCrashOnce)
{
    const CrashRow &row = GetParam();
    QProcess &crashing = startAndWaitForSession();
    const QString crashedSession = intake.sessions().constLast().value("id").toString();
    ::kill(pid_t(crashing.processId()), SIGSEGV);
    ASSERT_TRUE(crashing.waitForFinished(20'000));
    ASSERT_EQ(crashing.exitStatus(), QProcess::CrashExit);
    ASSERT_EQ(crashReports().size(), 1);

    intake.answerEvents(FakeResponse::empty(row.firstAnswer));
    QProcess &second = startAndWaitForSession();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !intake.events().isEmpty(); }, 60'000));
    const QJsonObject event = intake.events().constFirst();
    EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("errorClass").toString(), "SIGSEGV");
    EXPECT_TRUE(event.value("unhandled").toBool());
    const QJsonObject session = event.value("session").toObject();
    EXPECT_EQ(session.value("id").toString(), crashedSession);
    EXPECT_EQ(session.value("events").toObject().value("unhandled").toInt(), 1);
    QStringList breadcrumbs;
    for (const QJsonValue &breadcrumb : event.value("breadcrumbs").toArray()) {
        breadcrumbs << breadcrumb.toObject().value("name").toString();
    }
    EXPECT_TRUE(breadcrumbs.contains("Kestrix loaded")) << breadcrumbs.join(", ").toStdString();

    if (!row.reportKept) {
        ASSERT_TRUE(QTest::qWaitFor([] { return crashReports().isEmpty(); }, 30'000));
    }
    stop(second);
    // A kept report is tried again by the launch's scan of stored events, so a failing intake may see it twice.
    for (const QJsonObject &sent : intake.events()) {
        EXPECT_EQ(sent.value("session").toObject().value("id").toString(), crashedSession);
    }
    if (row.reportKept) {
        EXPECT_GE(intake.events().size(), 1);
    } else {
        EXPECT_EQ(intake.events().size(), 1);
    }
    EXPECT_EQ(crashReports().size(), row.reportKept ? 1 : 0);
    if (row.firstAnswer == 200) {
        return;
    }

    const qsizetype before = intake.events().size();
    intake.answerEvents(FakeResponse::empty(200));
    QProcess &third = startAndWaitForSession();
    if (row.eventsInThirdRun > 0) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return crashReports().isEmpty(); }, 30'000));
    }
    stop(third);
    EXPECT_EQ(intake.events().size() - before, row.eventsInThirdRun);
    EXPECT_TRUE(crashReports().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Answers,
                         PlimsyCrashDeliveryTest,
                         ::testing::Values(CrashRow{"delivered", 200, false, 0},
                                           CrashRow{"serverError", 500, true, 1},
                                           CrashRow{"badRequest", 400, false, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
