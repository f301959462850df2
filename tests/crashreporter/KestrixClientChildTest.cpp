// The client in a process of its own, started as Plimsy starts it, against a local intake: the
// notify pipeline, the settings without a key, and hangs of the GUI thread.
#include "FakeCrashIntake.h"

#include <QDateTime>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <tuple>

using namespace plimsy::test;

namespace {

const QJsonObject Key{{"apiKey", "0123456789abcdef0123456789abcdef"}};

QJsonObject withKey(QJsonObject options)
{
    for (auto it = Key.begin(); it != Key.end(); ++it) {
        options.insert(it.key(), it.value());
    }
    return options;
}

class ClientChildTest : public ::testing::Test
{
protected:
    ~ClientChildTest() override
    {
        for (const auto &child : children) {
            child->kill();
            child->waitForFinished(20'000);
        }
    }

    // `hangDetection` takes the child out of the test harness, where hang detection is off.
    QProcess &start(const QStringList &arguments, bool hangDetection = false, const QUrl &notify = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dataHome.isEmpty() ? data.path() : dataHome);
        environment.insert("PLIMSY_CRASH_NOTIFY_URL", (notify.isEmpty() ? intake.notifyURL() : notify).toString());
        environment.insert("PLIMSY_CRASH_SESSIONS_URL", intake.sessionsURL().toString());
        if (hangDetection) {
            environment.remove("PLIMSY_TEST_HARNESS");
        }
        if (arguments.value(0) == "crash") { // the crash reporter's handler, not the sanitizer's
            environment.insert("ASAN_OPTIONS", qEnvironmentVariable("ASAN_OPTIONS") + ":handle_segv=0");
        }
        auto child = std::make_unique<QProcess>();
        child->setProcessEnvironment(environment);
        child->start(QStringLiteral(PLIMSY_KESTRIX_CLIENT_CHILD), arguments);
        children.push_back(std::move(child));
        return *children.back();
    }

    QProcess &run(const QString &action, const QJsonObject &settings, const QStringList &more = {}, bool hangs = false)
    {
        return start(QStringList{action, QJsonDocument(settings).toJson(QJsonDocument::Compact)} + more, hangs);
    }

    // Waits for a line of the child's standard output.
    bool says(QProcess &child, const QByteArray &line)
    {
        return QTest::qWaitFor(
            [&] {
                output[&child] += child.readAllStandardOutput();
                return output[&child].split('\n').contains(line);
            },
            60'000);
    }

    // Waits for the child to end on its own; it may have ended while its output was read.
    static bool ends(QProcess &child)
    {
        return QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 20'000);
    }

    QStringList files() const
    {
        QStringList found;
        QDirIterator it(data.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            found << it.next();
        }
        return found;
    }

    FakeCrashIntake intake;
    QTemporaryDir data;
    QString dataHome; // the data directory unless set
    std::vector<std::unique_ptr<QProcess>> children;
    QHash<QProcess *, QByteArray> output;
};

struct NotifyRow
{
    const char *name;
    QJsonObject settings;
    const char *action;
    int events;
    int sessions;
    bool unhandled;
};

void PrintTo(const NotifyRow &row, std::ostream *out)
{
    *out << row.name;
}

class NotifyPipelineTest : public ClientChildTest, public ::testing::WithParamInterface<NotifyRow>
{
};

TEST_P(NotifyPipelineTest, FiltersCallbacksAndCounts)
{
    const NotifyRow &row = GetParam();
    QProcess &child = run(QString::fromLatin1(row.action), row.settings);
    ASSERT_TRUE(says(child, "started 1"));
    ASSERT_TRUE(says(child, "delivered"));
    if (row.unhandled) { // stored first and sent a second later
        ASSERT_TRUE(QTest::qWaitFor([&] { return intake.events().size() == row.events; }, 20'000));
    }

    EXPECT_EQ(intake.sessions().size(), row.sessions);
    ASSERT_EQ(intake.events().size(), row.events);
    if (row.events == 0) {
        return;
    }
    const QJsonObject event = intake.events().constFirst();
    EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("errorClass").toString(),
              "std::runtime_error");
    EXPECT_EQ(event.value("unhandled").toBool(), row.unhandled);
    EXPECT_TRUE(event.value("app").toObject().value("inForeground").toBool()); // the run's state, as a crash has it
    const QJsonObject counts = event.value("session").toObject().value("events").toObject();
    EXPECT_EQ(counts.value("handled").toInt(), row.unhandled ? 0 : 1);
    EXPECT_EQ(counts.value("unhandled").toInt(), row.unhandled ? 1 : 0);
    EXPECT_EQ(event.value("session").toObject().value("id"), intake.sessions().constFirst().value("id"));
}

const QJsonObject NoStages{{"kestrix", Key}};
const QJsonObject MatchingStage{
    {"kestrix", withKey({{"releaseStage", "beta"}, {"enabledReleaseStages", QJsonArray{"beta"}}})}};
const QJsonObject OtherStage{
    {"kestrix", withKey({{"releaseStage", "beta"}, {"enabledReleaseStages", QJsonArray{"production"}}})}};
const QJsonObject EmptyStages{{"kestrix", withKey({{"enabledReleaseStages", QJsonArray{}}})}};
const QJsonObject DiscardString{{"kestrix", withKey({{"discardClasses", QJsonArray{"std::runtime_error"}}})}};
const QJsonObject DiscardPattern{{"kestrix", Key}, {"discardPattern", "runtime_e"}};

INSTANTIATE_TEST_SUITE_P(Rows,
                         NotifyPipelineTest,
                         ::testing::Values(NotifyRow{"noStages", NoStages, "notify", 1, 1, false},
                                           NotifyRow{"matchingStage", MatchingStage, "notify", 1, 1, false},
                                           NotifyRow{"otherStage", OtherStage, "notify", 0, 0, false},
                                           NotifyRow{"emptyStages", EmptyStages, "notify", 1, 1, false},
                                           NotifyRow{"discardString", DiscardString, "notify", 0, 1, false},
                                           NotifyRow{"discardPattern", DiscardPattern, "notify", 0, 1, false},
                                           NotifyRow{"callbackDrops", NoStages, "notify-drop", 0, 1, false},
                                           NotifyRow{"callbackFlips", NoStages, "notify-flip", 1, 1, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// The observer is told the state at once, then each change with its code, until it is taken away.
TEST_F(ClientChildTest, TheObserverIsToldEachChangeWithItsCode)
{
    const QList<QByteArray> expected{
        // Told at once: context, user, grouping discriminator, metadata (no flags yet).
        "observed 2 -",
        "observed 4 -",
        "observed 5 -",
        "observed 3 -",
        // Each change.
        "observed 0 beta=on",
        "observed 2 Servers",
        R"(observed 3 {"region":"eu"})",
        "observed 4 ann@example.com",
        "observed 5 tray",
        "observed 1 beta",
        "observed 0 gamma=-",
        // A new observer hears the current state, flags last.
        "observed 2 Servers",
        "observed 4 ann@example.com",
        "observed 5 tray",
        R"(observed 3 {"region":"eu"})",
        "observed 0 gamma=-",
        "observed 1 -",
        "observed 5 -",
        // None after the observer is taken away.
        "observed end",
    };
    QProcess &child = run("observe", NoStages);
    ASSERT_TRUE(says(child, "observed end"));
    QList<QByteArray> observed = output[&child].split('\n');
    observed.removeIf([](const QByteArray &line) { return !line.startsWith("observed "); });
    EXPECT_EQ(observed, expected) << observed.join('|').toStdString();
}

struct GroupingRow
{
    const char *name;
    const char *action;
    bool crashes; // the event comes from the next start
};

void PrintTo(const GroupingRow &row, std::ostream *out)
{
    *out << row.name;
}

class GroupingPayloadTest : public ClientChildTest, public ::testing::WithParamInterface<GroupingRow>
{
};

// The grouping discriminator and code bundle id set after start reach the event, whether a handled
// error's or a crash's told at the next start, and the app of sessions started after.
TEST_P(GroupingPayloadTest, TheEventCarriesTheDiscriminatorAndCodeBundleId)
{
    const GroupingRow &row = GetParam();
    QJsonObject settings = NoStages;
    settings.insert("groupingDiscriminator", "tray");
    settings.insert("codeBundleId", "bundle-7");
    settings.insert("startSession", true);
    QProcess &child = run(QString::fromLatin1(row.action), settings);
    if (row.crashes) {
        ASSERT_TRUE(ends(child));
        ASSERT_TRUE(says(run("run", NoStages), "delivered"));
    } else {
        ASSERT_TRUE(says(child, "delivered"));
    }

    ASSERT_EQ(intake.userEvents().size(), 1);
    const QJsonObject event = intake.userEvents().constFirst();
    EXPECT_EQ(event.value("unhandled").toBool(), row.crashes);
    EXPECT_EQ(event.value("groupingDiscriminator").toString(), "tray");
    EXPECT_EQ(event.value("app").toObject().value("codeBundleId").toString(), "bundle-7");
    if (row.crashes) {
        return; // the crash may come before the second session is sent
    }
    // The session of the launch was made before the id was set; the one started after carries it.
    QStringList sessionBundles;
    for (const RecordedRequest &request : intake.sessionRequests().mid(0, 2)) {
        sessionBundles << QJsonDocument::fromJson(request.body)
                              .object()
                              .value("app")
                              .toObject()
                              .value("codeBundleId")
                              .toString("-");
    }
    EXPECT_EQ(sessionBundles, QStringList({"-", "bundle-7"}));
}

INSTANTIATE_TEST_SUITE_P(Rows,
                         GroupingPayloadTest,
                         ::testing::Values(GroupingRow{"handled", "notify", false},
                                           GroupingRow{"crash", "crash", true}),
                         [](const auto &info) { return std::string(info.param.name); });

// The kernel keeps 15 bytes of a thread's name and may cut a character in two: the report of a crash on
// that thread still reads at the next start and is delivered, the broken character as U+FFFD.
TEST_F(ClientChildTest, ACrashOnAThreadWhoseNameIsCutMidCharacterIsDeliveredAtTheNextStart)
{
    QJsonObject settings = NoStages;
    settings.insert("threadName", QString::fromUtf8("plimsy-überprüfung"));
    QProcess &crashed = run("crash", settings);
    ASSERT_TRUE(ends(crashed));
    ASSERT_EQ(crashed.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(says(run("run", NoStages), "delivered"));

    ASSERT_EQ(intake.userEvents().size(), 1);
    const QJsonObject event = intake.userEvents().constFirst();
    EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("errorClass").toString(), "SIGSEGV");
    QStringList names;
    for (const QJsonValue &thread : event.value("threads").toArray()) {
        if (thread.toObject().value("errorReportingThread").toBool()) {
            names << thread.toObject().value("name").toString();
        }
    }
    EXPECT_EQ(names, QStringList{QString::fromUtf8("plimsy-überpr\uFFFD")});
    EXPECT_TRUE(std::ranges::none_of(files(), [](const QString &path) { return path.contains("/CrashReport-"); }));
}

// Without a key there is no intake, though the environment names one: a handled error stays on disk,
// nothing is sent and one line says so. Settings that cannot be read leave the client off after one line.
TEST_F(ClientChildTest, WithoutAnIntakeReportsStayOnDiskAndOneLineSaysSo)
{
    for (const auto &[action, options, started, line] :
         {std::tuple{"notify", QJsonObject{}, "started 1", "[Kestrix] [INFO] No crash intake is configured"},
          std::tuple{"run", QJsonObject{{"apiKey", 42}}, "started 0", "[Kestrix] [ERROR] "}}) {
        QProcess &child = run(QString::fromLatin1(action), {{"kestrix", options}});
        ASSERT_TRUE(says(child, started));
        ASSERT_TRUE(says(child, "delivered"));
        EXPECT_EQ(child.state(), QProcess::Running);
        const QList<QByteArray> lines = child.readAllStandardError().trimmed().split('\n');
        EXPECT_EQ(lines.size(), 1) << lines.join('|').toStdString();
        EXPECT_TRUE(lines.value(0).startsWith(line)) << lines.value(0).toStdString();
    }
    EXPECT_EQ(std::ranges::count_if(files(), [](const QString &path) { return path.contains("/events/"); }), 1);
    EXPECT_EQ(intake.server().requestCount(), 0);
}

struct PassRow
{
    const char *name;
    int milliseconds;
    int sendEvery; // events sent from inside the pass, 0 for none
};

class ClientChildHangTest : public ClientChildTest, public ::testing::WithParamInterface<PassRow>
{
};

// A pass that begins just after a heartbeat was answered and outlasts the threshold is one hang,
// dated from its start, however many events it sends meanwhile; its event says how long the run
// had lasted by then.
TEST_P(ClientChildHangTest, APassJustAfterAHeartbeatIsOneHangWithItsStartAndTheRunsLength)
{
    const int threshold = 600;
    const QJsonObject settings{{"kestrix", withKey({{"appHangThresholdMillis", threshold}})}};
    QElapsedTimer elapsed;
    elapsed.start();
    QProcess &child = run("hang-after-heartbeat",
                          settings,
                          {QString::number(GetParam().milliseconds), QString::number(GetParam().sendEvery)},
                          true);
    ASSERT_TRUE(says(child, "delivered"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return intake.events().size() == 1; }, 20'000));
    const qint64 lifetime = elapsed.elapsed();
    qint64 blockedAt = 0;
    for (const QByteArray &line : output[&child].split('\n')) {
        if (line.startsWith("blocked at ")) {
            blockedAt = line.mid(11).toLongLong();
        }
    }
    ASSERT_GT(blockedAt, 0);

    const QJsonObject event = intake.events().constFirst();
    EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("errorClass").toString(), "App Hang");
    const qint64 hangTime =
        QDateTime::fromString(event.value("device").toObject().value("time").toString(), Qt::ISODateWithMs)
            .toMSecsSinceEpoch();
    EXPECT_GE(hangTime, blockedAt - 100);
    // Dated when noticed, it would lie a threshold after the pass began, at most 100 ms before "blocked at".
    EXPECT_LT(hangTime, blockedAt + threshold - 100);
    // Noticed a threshold into a pass that began after the child's first second.
    const QJsonObject app = event.value("app").toObject();
    EXPECT_GE(app.value("duration").toInteger(), 1000 + threshold);
    EXPECT_LE(app.value("duration").toInteger(), lifetime);
    EXPECT_TRUE(app.value("inForeground").toBool());
}

INSTANTIATE_TEST_SUITE_P(Passes,
                         ClientChildHangTest,
                         ::testing::Values(PassRow{"Blocked", 900, 0}, PassRow{"SendingEvery50ms", 3000, 50}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(ClientChildTest, AHangThatEndsTheRunIsReportedAtTheNextStartEvenIfThatOneIsKilled)
{
    const QJsonObject settings{{"kestrix", withKey({{"appHangThresholdMillis", 250}})}};
    QProcess &hung = run("hang", settings, {"600000"}, true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::ranges::any_of(files(), [](const QString &path) { return path.endsWith("/app_hang.json"); });
        },
        30'000));
    hung.kill();
    ASSERT_TRUE(hung.waitForFinished(20'000));

    // The next start is killed before it can send.
    QProcess &unsent = start({"run", QJsonDocument(settings).toJson()}, false, QUrl("http://127.0.0.1:9/"));
    ASSERT_TRUE(says(unsent, "started 1"));
    unsent.kill();
    ASSERT_TRUE(unsent.waitForFinished(20'000));
    EXPECT_EQ(intake.events().size(), 0);

    QProcess &next = run("run", settings);
    ASSERT_TRUE(says(next, "delivered"));
    ASSERT_EQ(intake.events().size(), 1);
    const QJsonObject event = intake.events().constFirst();
    EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("message").toString(),
              "The app was terminated while unresponsive");
    EXPECT_TRUE(event.value("unhandled").toBool());
}

TEST_F(ClientChildTest, AStorageFolderThatCannotBeMadeIsReportedOnce)
{
    QFile blocker(QDir(data.path()).filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    dataHome = QDir(blocker.fileName()).filePath("data");

    QProcess &child = run("run", NoStages);
    ASSERT_TRUE(says(child, "started 1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !intake.internalEvents().isEmpty(); }, 30'000));
    ASSERT_TRUE(says(child, "delivered"));
    ASSERT_EQ(intake.internalEvents().size(), 1);
    const QJsonObject error = intake.internalEvents().constFirst().value("exceptions").toArray().first().toObject();
    EXPECT_EQ(error.value("errorClass").toString(), "Could not create directory");
    EXPECT_EQ(intake.internalEvents().constFirst().value("context").toString(), "v1");
}

// The raised count is on disk when start returns: a launch that crashes again before the client's file
// queue writes anything still counts.
TEST_F(ClientChildTest, ALaunchCrashIsCountedEvenWhenTheNextCrashComesBeforeAnyQueuedWrite)
{
    const QUrl unreachable("http://127.0.0.1:9/");
    QJsonObject held = NoStages;
    held.insert("holdFileQueue", true);
    const QStringList crash{"crash", QJsonDocument(held).toJson(QJsonDocument::Compact)};
    for (const char *line : {"lastRun 0 0 0", "lastRun 1 1 1"}) {
        QProcess &child = start(crash, false, unreachable);
        ASSERT_TRUE(says(child, line));
        ASSERT_TRUE(ends(child));
        EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);
    }
    QProcess &third = start(crash, false, unreachable);
    EXPECT_TRUE(says(third, "lastRun 2 1 1"));
    EXPECT_TRUE(ends(third));
}

// Crashes while launching count up across runs and a run that ends otherwise resets the count. A
// crash whose standard report was lost is told with the app that ran then.
TEST_F(ClientChildTest, ALaunchCrashCountsUpAndACleanRunResetsTheCount)
{
    const QUrl unreachable("http://127.0.0.1:9/");
    const QStringList crash{"crash", QJsonDocument(NoStages).toJson(QJsonDocument::Compact)};
    QProcess &first = start(crash, false, unreachable);
    ASSERT_TRUE(says(first, "lastRun 0 0 0"));
    ASSERT_TRUE(ends(first));
    EXPECT_EQ(first.exitStatus(), QProcess::CrashExit);
    QProcess &second = start(crash, false, unreachable);
    ASSERT_TRUE(says(second, "lastRun 1 1 1"));
    ASSERT_TRUE(ends(second));

    // Only the minimal reports survive; the launch state says which system ran.
    const auto rewrite =
        [](const QString &from, const QString &to, const QString &section, const char *key, const char *value) {
            QFile file(from);
            EXPECT_TRUE(file.open(QIODevice::ReadOnly));
            QJsonObject document = QJsonDocument::fromJson(file.readAll()).object();
            file.close();
            QJsonObject values = document.value(section).toObject();
            values.insert(key, value);
            document.insert(section, values);
            EXPECT_TRUE(file.remove());
            QFile rewritten(to);
            EXPECT_TRUE(rewritten.open(QIODevice::WriteOnly));
            rewritten.write(QJsonDocument(document).toJson());
        };
    int lost = 0;
    for (const QString &path : files()) {
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith("CrashReport-")) {
            rewrite(path, QString(path).replace("/CrashReport-", "/RecrashReport-"), "report", "type", "minimal");
            ++lost;
        } else if (name == "system_state.json") {
            rewrite(path, path, "device", "osVersion", "0.9");
        }
    }
    ASSERT_EQ(lost, 2);

    QProcess &third = run("run", NoStages);
    ASSERT_TRUE(says(third, "lastRun 2 1 1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return intake.userEvents().size() == 2; }, 30'000));
    for (const QJsonObject &event : intake.userEvents()) {
        EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("errorClass").toString(), "SIGSEGV");
        EXPECT_TRUE(event.value("unhandled").toBool());
        EXPECT_EQ(event.value("device").toObject().value("osVersion").toString(), "0.9");
    }
    ASSERT_TRUE(says(third, "delivered"));
    third.kill();
    ASSERT_TRUE(third.waitForFinished(20'000));

    QProcess &fourth = run("run", NoStages);
    EXPECT_TRUE(says(fourth, "lastRun 0 0 0"));
}

} // namespace
