// Delivery over real HTTP against a local intake: what is sent, and what is kept or deleted for
// every kind of answer.
#include "FakeCrashIntake.h"
#include "crashreporter/client/KXConnectivity.h"
#include "crashreporter/client/KXDeliveryQueue.h"
#include "crashreporter/client/KXEventUploader.h"
#include "crashreporter/client/KXInternalErrorReporter.h"
#include "crashreporter/client/KXSessionUploader.h"
#include "crashreporter/client/KXStoredReports.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kestrix;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

const QString ApiKey = QStringLiteral("0123456789abcdef0123456789abcdef");

QByteArray fixture(const char *name)
{
    QFile file(QStringLiteral(PLIMSY_CRASH_FIXTURES "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

class DeliveryTest : public ::testing::Test
{
protected:
    DeliveryTest()
        : configuration(ApiKey)
    {
        configuration.setEndpoints({intake.notifyURL().toString(), intake.sessionsURL().toString()});
        for (const QString &dir : {events, reports, sessions}) {
            QDir().mkpath(dir);
        }
        KXInternalErrorReporter::setSharedInstance(
            std::make_shared<KXInternalErrorReporter>(ApiKey, intake.notifyURL(), queue));
    }

    ~DeliveryTest() override
    {
        // As in the client: the queue's jobs end before the uploader they use goes.
        queue.shutDown(60s);
        KXInternalErrorReporter::setSharedInstance(nullptr);
        KXDeliveryQueue::setRequestTimeout(15s);
    }

    // Runs the delivery queue dry while this thread serves the intake.
    void settle()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return queue.waitUntilIdle(0ms); }, 60'000));
    }

    QStringList filesIn(const QString &dir) const { return QDir(dir).entryList(QDir::Files); }

    FakeCrashIntake intake;
    QTemporaryDir root;
    QString events = QDir(root.path()).filePath(QStringLiteral("events"));
    QString reports = QDir(root.path()).filePath(QStringLiteral("reports"));
    QString sessions = QDir(root.path()).filePath(QStringLiteral("sessions"));
    KestrixConfiguration configuration;
    KXDeliveryQueue queue{QStringLiteral("test-delivery")};
    KXEventUploader uploader{configuration, KestrixNotifier(), events, reports, queue};
};

struct AnswerRow
{
    const char *name;
    std::function<FakeResponse()> answer;
    bool kept;
};

void PrintTo(const AnswerRow &row, std::ostream *out)
{
    *out << row.name;
}

class DeliveryAnswerTest : public DeliveryTest, public ::testing::WithParamInterface<AnswerRow>
{
};

// One stored event and one crash report meet the same answer: kept to retry or deleted.
TEST_P(DeliveryAnswerTest, KeepsOrDeletesByTheAnswer)
{
    KXDeliveryQueue::setRequestTimeout(1500ms);
    intake.answerEvents(GetParam().answer());
    write(QDir(events).filePath(QStringLiteral("stored.json")), fixture("runtime_error.event.json"));
    write(QDir(reports).filePath(QStringLiteral("CrashReport-A.json")), fixture("null_write.report.json"));

    uploader.uploadStoredEvents();
    settle();

    // The network layer may resend once over a dropped connection.
    ASSERT_GE(intake.eventRequests().size(), 2);
    const QStringList left = filesIn(events) + filesIn(reports);
    EXPECT_EQ(left.size(), GetParam().kept ? 2 : 0) << left.join(' ').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Answers,
                         DeliveryAnswerTest,
                         ::testing::Values(AnswerRow{"ok", [] { return FakeResponse::json("{}", 200); }, false},
                                           AnswerRow{"badRequest", [] { return FakeResponse::empty(400); }, false},
                                           AnswerRow{"notFound", [] { return FakeResponse::empty(404); }, false},
                                           AnswerRow{"paymentRequired", [] { return FakeResponse::empty(402); }, true},
                                           AnswerRow{
                                               "proxyAuthentication", [] { return FakeResponse::empty(407); }, true},
                                           AnswerRow{"requestTimeout", [] { return FakeResponse::empty(408); }, true},
                                           AnswerRow{"tooManyRequests", [] { return FakeResponse::empty(429); }, true},
                                           AnswerRow{"serverError", [] { return FakeResponse::empty(500); }, true},
                                           AnswerRow{"unavailable", [] { return FakeResponse::empty(503); }, true},
                                           AnswerRow{"dropped", [] { return FakeResponse::drop(); }, true},
                                           AnswerRow{"stalled", [] { return FakeResponse::stall(); }, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(DeliveryTest, TheRequestCarriesThePayloadItsDigestAndHeaders)
{
    write(QDir(reports).filePath(QStringLiteral("CrashReport-B.json")), fixture("null_write.report.json"));
    uploader.uploadStoredEvents();
    settle();

    ASSERT_EQ(intake.eventRequests().size(), 1);
    const RecordedRequest request = intake.eventRequests().constFirst();
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    EXPECT_EQ(body.keys(), (QStringList{"apiKey", "events", "notifier", "payloadVersion"}));
    EXPECT_EQ(body.value("apiKey").toString(), ApiKey);
    EXPECT_EQ(body.value("payloadVersion").toString(), "4.0");
    EXPECT_EQ(body.value("events").toArray().size(), 1);
    EXPECT_FALSE(body.value("notifier").toObject().value("name").toString().isEmpty());
    const QJsonObject exception =
        body.value("events").toArray().first().toObject().value("exceptions").toArray().first().toObject();
    EXPECT_EQ(exception.value("errorClass").toString(), "SIGSEGV");

    EXPECT_EQ(request.header("kestrix-integrity"),
              "sha1 " + QCryptographicHash::hash(request.body, QCryptographicHash::Sha1).toHex());
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(request.header("kestrix-api-key"), ApiKey.toUtf8());
    EXPECT_EQ(request.header("kestrix-payload-version"), "4.0");
    EXPECT_FALSE(request.header("kestrix-stacktrace-types").isEmpty());
    EXPECT_TRUE(request.header("kestrix-sent-at").endsWith('Z'));
}

// No descriptors left: the report cannot be opened now, so it stays and goes once it can.
TEST_F(DeliveryTest, AnUnreadableReportIsKeptAndDeliveredOnceReadable)
{
    const QString report = QDir(reports).filePath(QStringLiteral("CrashReport-C.json"));
    write(report, fixture("null_write.report.json"));
    queue.async([] {}); // the worker exists before the limit drops
    settle();

    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    const int lowestFree = dup(0);
    close(lowestFree);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree);
    setrlimit(RLIMIT_NOFILE, &tight);
    uploader.uploadStoredEvents();
    ASSERT_TRUE(queue.waitUntilIdle(30s));
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_TRUE(QFile::exists(report));
    EXPECT_EQ(intake.eventRequests().size(), 0);

    uploader.uploadStoredEvents();
    settle();
    EXPECT_FALSE(QFile::exists(report));
    EXPECT_EQ(intake.userEvents().size(), 1);
}

// Set aside, not deleted: the fault may be the reader's.
TEST_F(DeliveryTest, ATruncatedReportGivesOneInternalEventAndIsSetAside)
{
    const QByteArray whole = fixture("null_write.report.json");
    const QString report = QDir(reports).filePath(QStringLiteral("CrashReport-D.json"));
    write(report, whole.left(whole.indexOf("\"binary_images\"") + 40));
    uploader.uploadStoredEvents();
    settle();

    EXPECT_FALSE(QFile::exists(report));
    EXPECT_TRUE(QFile::exists(QDir(reports).filePath(QStringLiteral("unreadable/CrashReport-D.json"))));
    ASSERT_EQ(intake.events().size(), 1);
    const QJsonObject event = intake.internalEvents().value(0);
    EXPECT_EQ(event.value("exceptions").toArray().first().toObject().value("errorClass").toString(),
              "Invalid crash report");
    EXPECT_EQ(event.value("context").toString(), "Does not end with \"}\"");
    const QJsonObject diagnostics = event.value("metaData").toObject().value("KestrixDiagnostics").toObject();
    // Every section name met before the break, nested ones too, in order.
    const QJsonArray keys = diagnostics.value("keys").toArray();
    EXPECT_EQ(keys.first().toString(), "report");
    EXPECT_EQ(keys.last().toString(), "binary_images");
    EXPECT_TRUE(keys.contains("crash"));
    EXPECT_FALSE(keys.contains("user_atcrash"));
    EXPECT_EQ(diagnostics.value("fileName").toString(), "CrashReport-D.json");
}

// A crash in the crash handler leaves a minimal report beside the standard one.
TEST_F(DeliveryTest, ARecrashPairGivesOneUserAndOneInternalEvent)
{
    write(QDir(reports).filePath(QStringLiteral("CrashReport-E.json")), fixture("null_write.report.json"));
    QJsonObject minimal = QJsonDocument::fromJson(fixture("null_write.report.json")).object();
    QJsonObject header = minimal.value("report").toObject();
    header.insert("type", "minimal");
    minimal.insert("report", header);
    write(QDir(reports).filePath(QStringLiteral("RecrashReport-E.json")), QJsonDocument(minimal).toJson());

    uploader.uploadStoredEvents();
    settle();

    ASSERT_EQ(intake.userEvents().size(), 1);
    ASSERT_EQ(intake.internalEvents().size(), 1);
    const QJsonObject internal = intake.internalEvents().constFirst().value("exceptions").toArray().first().toObject();
    EXPECT_EQ(internal.value("errorClass").toString(), "Crash handler crashed");
    EXPECT_EQ(internal.value("message").toString(), "SIGSEGV");
    EXPECT_TRUE(filesIn(reports).isEmpty());
}

TEST_F(DeliveryTest, ABodyOverTheLimitIsTrimmedByItsBreadcrumbs)
{
    QJsonObject event = QJsonDocument::fromJson(fixture("runtime_error.event.json")).object();
    QJsonArray breadcrumbs;
    for (int i = 0; i < 600; i++) {
        breadcrumbs.append(QJsonObject{{"name", QString(2000, QChar('a' + i % 26))},
                                       {"timestamp", "2026-01-01T00:00:00.000Z"},
                                       {"type", "manual"},
                                       {"metaData", QJsonObject()}});
    }
    event.insert("breadcrumbs", breadcrumbs);
    write(QDir(events).filePath(QStringLiteral("large.json")), QJsonDocument(event).toJson(QJsonDocument::Compact));

    uploader.uploadStoredEvents();
    settle();

    ASSERT_EQ(intake.eventRequests().size(), 1);
    const QByteArray body = intake.eventRequests().constFirst().body;
    EXPECT_LE(body.size(), KXEventUploader::MaxBodyBytes);
    EXPECT_GT(body.size(), KXEventUploader::MaxBodyBytes - 10'000);
}

// A handled event lies in events/ before its own request, even while an earlier one stalls the
// queue; a scan meanwhile leaves it to its own delivery, which sends it once and deletes it.
TEST_F(DeliveryTest, AHandledEventIsStoredAheadOfItsDeliveryAndSentOnce)
{
    KXDeliveryQueue::setRequestTimeout(1500ms);
    intake.answerEvents(FakeResponse::stall());
    write(QDir(events).filePath(QStringLiteral("stored.json")), fixture("runtime_error.event.json"));
    uploader.uploadStoredEvents();
    ASSERT_TRUE(QTest::qWaitFor([&] { return intake.eventRequests().size() == 1; }, 20'000));

    std::optional<KestrixEvent> handled = kxReadStoredEvent(fixture("runtime_error.event.json"));
    ASSERT_TRUE(handled);
    handled->errors.front().errorClass = QStringLiteral("HandledInMemory");
    uploader.uploadStoredEvents();
    uploader.uploadEvent(*handled);
    ASSERT_TRUE(QTest::qWaitFor([&] { return filesIn(events).size() == 2; }, 20'000));
    EXPECT_EQ(intake.eventRequests().size(), 1); // still waiting on the stalled one

    intake.answerEvents(FakeResponse::json("{}", 200));
    settle();
    EXPECT_TRUE(filesIn(events).isEmpty()) << filesIn(events).join(' ').toStdString();
    const QList<QJsonObject> sent = intake.events();
    EXPECT_EQ(std::count_if(sent.begin(),
                            sent.end(),
                            [](const QJsonObject &event) {
                                return event.value("exceptions").toArray().first().toObject().value("errorClass")
                                       == QStringLiteral("HandledInMemory");
                            }),
              1);
}

struct SessionRow
{
    const char *name;
    int firstStatus;
    bool storedAfterFirst;
};

void PrintTo(const SessionRow &row, std::ostream *out)
{
    *out << row.name;
}

class SessionDeliveryTest : public DeliveryTest, public ::testing::WithParamInterface<SessionRow>
{
};

// 200 stores nothing; a retriable failure stores the session until the next success sends it; 400
// drops it.
TEST_P(SessionDeliveryTest, StoresOnlyWhatMaySucceedLater)
{
    KXSessionUploader sessionUploader(configuration, KestrixNotifier(), sessions, queue);
    intake.answerSessions(FakeResponse::empty(GetParam().firstStatus));
    KestrixSession first(QStringLiteral("first"),
                         QDateTime::currentDateTimeUtc(),
                         KestrixUser{QStringLiteral("u1"), std::nullopt, std::nullopt},
                         {},
                         {});
    sessionUploader.uploadSession(first);
    settle();
    ASSERT_EQ(intake.sessions().size(), 1);
    EXPECT_EQ(intake.sessions().constFirst().value("id").toString(), "first");
    EXPECT_EQ(filesIn(sessions).size(), GetParam().storedAfterFirst ? 1 : 0);

    intake.answerSessions(FakeResponse::empty(200));
    sessionUploader.uploadSession(
        KestrixSession(QStringLiteral("second"), QDateTime::currentDateTimeUtc(), {}, {}, {}));
    settle();
    QStringList ids;
    for (const QJsonObject &session : intake.sessions()) {
        ids << session.value("id").toString();
    }
    EXPECT_EQ(ids,
              GetParam().storedAfterFirst ? QStringList({"first", "second", "first"})
                                          : QStringList({"first", "second"}));
    EXPECT_TRUE(filesIn(sessions).isEmpty());
    EXPECT_EQ(intake.sessionRequests().constFirst().header("kestrix-payload-version"), "1.0");
}

INSTANTIATE_TEST_SUITE_P(Answers,
                         SessionDeliveryTest,
                         ::testing::Values(SessionRow{"ok", 200, false},
                                           SessionRow{"serverError", 500, true},
                                           SessionRow{"badRequest", 400, false}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

// The first report only records the state; later changes of reachability call back, others do not;
// the local machine is never watched.
TEST(ConnectivityTest, ReportsChangesOfReachabilityAfterTheFirst)
{
    QStringList calls;
    const auto record = [&calls](bool connected, const QString &type) {
        calls << QStringLiteral("%1 %2").arg(connected).arg(type);
    };
    KXConnectivity::monitorURL(QUrl("http://127.0.0.1:9/"), record);
    for (const char *host : {"", "localhost", "::1", "127.0.0.1"}) {
        EXPECT_FALSE(KXConnectivity::isValidHostname(QString::fromLatin1(host))) << host;
    }
    EXPECT_TRUE(KXConnectivity::isValidHostname("notify.example.com"));

    const quint32 reachable = plimsy::ReachabilityFlag::Reachable;
    for (const quint32 flags : {0U, reachable, reachable | plimsy::ReachabilityFlag::IsDirect, 0U, 0U, reachable}) {
        KXConnectivity::reachabilityChanged(flags);
    }
    EXPECT_EQ(calls, (QStringList{"1 wifi", "0 none", "1 wifi"}));
    KXConnectivity::stopMonitoring();
    KXConnectivity::reachabilityChanged(0);
    EXPECT_EQ(calls.size(), 3);
}

} // namespace
