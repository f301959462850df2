#include "crashreporter/model/KestrixEvent.h"

#include "crashreporter/model/KXCrashReportFixup.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTimeZone>

#include <functional>

using namespace kestrix;

namespace {

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

KestrixBreadcrumb breadcrumb(const QString &message, const QJsonObject &metadata = {})
{
    KestrixBreadcrumb result;
    result.setTimestamp(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5, 678), QTimeZone::utc()));
    result.message = message;
    result.metadata = metadata;
    return result;
}

KestrixEvent storedEvent()
{
    KestrixAppWithState app;
    app.id = QStringLiteral("com.tindrel.Plimsy");
    app.version = QStringLiteral("2.4");
    app.dsymUuid = QStringLiteral("8A1B6E6C-1111-2222-3333-444455556666");
    app.duration = 2'160'000'000; // 25 days: past 32 bits
    app.durationInForeground = 2'150'000'000;
    app.inForeground = true;
    KestrixDeviceWithState device;
    device.id = QStringLiteral("device-1");
    device.osName = QStringLiteral("Debian GNU/Linux");
    device.totalMemory = 17'179'869'184;
    device.time = QDateTime(QDate(2024, 1, 2), QTime(3, 4, 6, 7), QTimeZone::utc());
    device.runtimeVersions = QJsonObject{{QStringLiteral("osBuild"), QStringLiteral("6.1.0")}};
    KestrixStackframe frame;
    frame.method = QStringLiteral("refresh()");
    frame.frameAddress = 0x7f00deadbeef;
    frame.isPc = true;
    frame.lineNumber = 42;
    KestrixError error;
    error.errorClass = QStringLiteral("std::runtime_error");
    error.errorMessage = QStringLiteral("bad reply");
    error.stacktrace = {frame};
    KestrixThread thread;
    thread.id = QStringLiteral("0");
    thread.name = QStringLiteral("plimsy");
    thread.errorReportingThread = true;
    thread.stacktrace = {frame};
    KestrixSession session(QStringLiteral("S-1"), *device.time, std::nullopt, app, device);
    session.handledCount = 3;
    KestrixEvent event(app,
                       device,
                       KestrixHandledState::withReason(
                           KestrixSeverityReason::LogMessage, KestrixSeverity::Info, QStringLiteral("warning")),
                       KestrixUser{QStringLiteral("u-1"), QStringLiteral("Ann"), std::nullopt},
                       KestrixMetadata(parse(R"({"custom": {"count": 3, "list": [1, "two"]}})")),
                       {breadcrumb(QStringLiteral("Refresh"), {{QStringLiteral("servers"), 4}})},
                       {error},
                       {thread},
                       session);
    event.context = QStringLiteral("Menu");
    event.groupingHash = QStringLiteral("group-1");
    event.setApiKey(QStringLiteral("0123456789abcdef0123456789abcdef"));
    event.addFeatureFlag(QStringLiteral("dark-mode"), QStringLiteral("on"));
    event.correlation = KestrixCorrelation{QStringLiteral("trace"), QStringLiteral("span")};
    event.usage = parse(R"({"config": {"maxBreadcrumbs": 20}})");
    return event;
}

TEST(KestrixEventTest, aStoredEventSurvivesItsJson)
{
    const std::vector<KestrixStringOrPattern> keys{QStringLiteral("password")};
    const QJsonObject json = storedEvent().toJsonWithRedactedKeys(keys);
    EXPECT_EQ(json[QStringLiteral("app")][QStringLiteral("duration")].toInteger(), 2'160'000'000);
    EXPECT_EQ(json[QStringLiteral("severityReason")].toObject(),
              parse(R"({"type": "log", "attributes": {"level": "warning"}})"));
    EXPECT_EQ(KestrixEvent::fromJson(json).toJsonWithRedactedKeys(keys), json);
}

struct PayloadRow
{
    const char *name;
    std::function<void(KestrixEvent &, std::vector<KestrixStringOrPattern> &)> change;
    std::function<void(const QJsonObject &)> check;
};

std::ostream &operator<<(std::ostream &out, const PayloadRow &row)
{
    return out << row.name;
}

qsizetype jsonSize(const KestrixBreadcrumb &breadcrumb)
{
    return QJsonDocument(*breadcrumb.objectValue()).toJson(QJsonDocument::Compact).size();
}

void setThreeBreadcrumbs(KestrixEvent &event)
{
    event.breadcrumbs = {breadcrumb(QStringLiteral("first"), {{QStringLiteral("n"), 1}}),
                         breadcrumb(QStringLiteral("second")),
                         breadcrumb(QStringLiteral("third"))};
    event.usage = QJsonObject();
}

QStringList names(const QJsonObject &json)
{
    QStringList result;
    for (const QJsonValue &entry : json[QStringLiteral("breadcrumbs")].toArray()) {
        result << entry[QStringLiteral("name")].toString();
    }
    return result;
}

const PayloadRow PayloadRows[] = {
    {"keyInAnyCase",
     [](KestrixEvent &event, auto &) {
         event.metadata.addMetadata(QStringLiteral("x"), QStringLiteral("Password"), QStringLiteral("custom"));
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("metaData")][QStringLiteral("custom")][QStringLiteral("Password")].toString(),
                   QStringLiteral("[REDACTED]"));
     }},
    {"nestedObject",
     [](KestrixEvent &event, auto &) {
         event.metadata.addMetadata(parse(R"({"login": {"password": "x", "user": "ann"}})"), QStringLiteral("custom"));
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("metaData")][QStringLiteral("custom")][QStringLiteral("login")].toObject(),
                   parse(R"({"password": "[REDACTED]", "user": "ann"})"));
     }},
    {"objectsInsideLists",
     [](KestrixEvent &event, auto &) {
         event.metadata.addMetadata(parse(R"({"logins": [{"password": "a"}, [{"password": "b"}], "plain"]})"),
                                    QStringLiteral("custom"));
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(
             json[QStringLiteral("metaData")][QStringLiteral("custom")][QStringLiteral("logins")].toArray(),
             parse(R"({"l": [{"password": "[REDACTED]"}, [{"password": "[REDACTED]"}], "plain"]})")[QStringLiteral("l")]
                 .toArray());
     }},
    {"expressionKey",
     [](KestrixEvent &event, auto &keys) {
         keys = {QRegularExpression(QStringLiteral("token$"))};
         event.metadata.addMetadata(parse(R"({"authtoken": "t", "password": "p"})"), QStringLiteral("custom"));
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("metaData")][QStringLiteral("custom")].toObject(),
                   parse(R"({"authtoken": "[REDACTED]", "password": "p"})"));
     }},
    {"sectionThatIsNoObject",
     [](KestrixEvent &event, auto &) {
         event.metadata = KestrixMetadata(parse(R"({"custom": "text", "context": {"a": 1}})"));
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("metaData")].toObject(),
                   parse(R"({"custom": {"kestrix.error": "Expected an NSDictionary but got string text"}})"));
     }},
    {"breadcrumbMetadata",
     [](KestrixEvent &event, auto &) {
         event.breadcrumbs = {
             breadcrumb(QStringLiteral("Sign in"), parse(R"({"password": "p", "form": {"Password": "q"}})"))};
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("breadcrumbs")][0][QStringLiteral("metaData")].toObject(),
                   parse(R"({"password": "[REDACTED]", "form": {"Password": "[REDACTED]"}})"));
     }},
    {"trimByTheFirst",
     [](KestrixEvent &event, auto &) {
         setThreeBreadcrumbs(event);
         event.trimBreadcrumbs(1);
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(names(json),
                   (QStringList{QStringLiteral("Removed to reduce payload size"),
                                QStringLiteral("second"),
                                QStringLiteral("third")}));
         EXPECT_EQ(json[QStringLiteral("breadcrumbs")][0][QStringLiteral("metaData")].toObject(), QJsonObject());
         EXPECT_EQ(
             json[QStringLiteral("usage")][QStringLiteral("system")][QStringLiteral("breadcrumbsRemoved")].toInt(), 1);
     }},
    {"trimByTwo",
     [](KestrixEvent &event, auto &) {
         setThreeBreadcrumbs(event);
         event.trimBreadcrumbs(jsonSize(event.breadcrumbs[0]) + 1);
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(names(json),
                   (QStringList{QStringLiteral("Removed, along with 1 older breadcrumb, to reduce payload size"),
                                QStringLiteral("third")}));
     }},
    {"trimByAll",
     [](KestrixEvent &event, auto &) {
         setThreeBreadcrumbs(event);
         event.trimBreadcrumbs(1'000'000);
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(names(json),
                   QStringList{QStringLiteral("Removed, along with 2 older breadcrumbs, to reduce payload size")});
     }},
    {"truncateStrings",
     [](KestrixEvent &event, auto &) {
         event.errors.front().errorClass = QStringLiteral("ABCDEFGHIJKL");
         event.breadcrumbs = {breadcrumb(QStringLiteral("short"), parse(R"({"list": ["0123456789abc"]})"))};
         event.usage = QJsonObject();
         event.truncateStrings(10);
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("exceptions")][0][QStringLiteral("errorClass")].toString(),
                   QStringLiteral("ABCDEFGHIJ\n***2 CHARS TRUNCATED***"));
         EXPECT_EQ(
             json[QStringLiteral("breadcrumbs")][0][QStringLiteral("metaData")][QStringLiteral("list")][0].toString(),
             QStringLiteral("0123456789\n***3 CHARS TRUNCATED***"));
         EXPECT_EQ(json[QStringLiteral("usage")][QStringLiteral("system")].toObject(),
                   parse(R"({"stringCharsTruncated": 5, "stringsTruncated": 2})"));
     }},
    {"severityChangedByACallback",
     [](KestrixEvent &event, auto &) {
         event.handledState = KestrixHandledState::withReason(KestrixSeverityReason::HandledError);
         event.setSeverity(KestrixSeverity::Error);
     },
     [](const QJsonObject &json) {
         EXPECT_EQ(json[QStringLiteral("severityReason")][QStringLiteral("type")].toString(),
                   QStringLiteral("userCallbackSetSeverity"));
         EXPECT_EQ(json[QStringLiteral("severity")].toString(), QStringLiteral("error"));
     }},
};

class KestrixEventPayloadTest : public ::testing::TestWithParam<PayloadRow>
{
};

TEST_P(KestrixEventPayloadTest, redactsTrimsAndTruncates)
{
    KestrixEvent event = storedEvent();
    event.metadata = KestrixMetadata();
    std::vector<KestrixStringOrPattern> keys{QStringLiteral("password")};
    GetParam().change(event, keys);
    GetParam().check(event.toJsonWithRedactedKeys(keys));
}

INSTANTIATE_TEST_SUITE_P(Payload, KestrixEventPayloadTest, ::testing::ValuesIn(PayloadRows), [](const auto &info) {
    return std::string(info.param.name);
});

// A crash report of one thread whose crash-time callback marked the crash handled.
const char *HandledReport = R"({
  "report": {"id": "R-1", "timestamp": 1700000000, "timestamp_millis": 1700000000123},
  "system": {"CFBundleIdentifier": "com.tindrel.Plimsy", "CFBundleShortVersionString": "2.4",
             "application_stats": {"active_time_since_launch": 1.5, "background_time_since_launch": 2.25}},
  "crash": {"error": {"type": "cpp_exception", "reason": "boom", "cpp_exception": {"name": "St12out_of_range"}},
            "threads": [{"index": 0, "crashed": true, "crash_info_message": "Fatal error: list is empty\n",
                         "registers": {"basic": {"rip": 4096}},
                         "backtrace": {"contents": [{"instruction_addr": 4096, "object_addr": 0},
                                                    {"instruction_addr": 1}]}}]},
  "binary_images": [{"image_addr": 0, "image_vmaddr": 0, "name": "/usr/bin/plimsy", "uuid": "U-1"}],
  "user_atcrash": {"unhandled": false, "id": "S-9", "startedAt": 700000000, "handledCount": 1,
                   "unhandledCount": 1, "config": {"releaseStage": "beta", "enabledReleaseStages": ["beta"]},
                   "extra": {"note": "kept"}, "_private": {"a": 1}}
})";

TEST(KestrixEventTest, aHandledCrashReportMovesItsCountAndKeepsOneThreadOut)
{
    const auto event = KestrixEvent::fromCoreReport(kxFixupCrashReport(parse(HandledReport)));
    ASSERT_TRUE(event.has_value());
    const QJsonObject json = event->toJsonWithRedactedKeys({});
    EXPECT_FALSE(json[QStringLiteral("unhandled")].toBool());
    EXPECT_TRUE(json[QStringLiteral("severityReason")][QStringLiteral("unhandledOverridden")].toBool());
    EXPECT_EQ(json[QStringLiteral("session")][QStringLiteral("events")].toObject(),
              parse(R"({"handled": 2, "unhandled": 0})"));
    EXPECT_EQ(json[QStringLiteral("threads")].toArray(), QJsonArray());
    const QJsonObject exception = json[QStringLiteral("exceptions")][0].toObject();
    // The crash-info message names class and message; without it the class is the demangled type.
    EXPECT_EQ(exception[QStringLiteral("errorClass")].toString(), QStringLiteral("Fatal error"));
    EXPECT_EQ(exception[QStringLiteral("message")].toString(), QStringLiteral("list is empty"));
    EXPECT_EQ(exception[QStringLiteral("stacktrace")].toArray(),
              parse(R"({"s": [{"frameAddress": "0x1000", "machoLoadAddress": "0x0", "machoVMAddress": "0x0",
                               "machoFile": "/usr/bin/plimsy", "machoUUID": "U-1", "isPC": true}]})")[QStringLiteral(
                                                                                                          "s")]
                  .toArray());
    EXPECT_EQ(json[QStringLiteral("metaData")][QStringLiteral("error")][QStringLiteral("crashInfo")].toString(),
              QStringLiteral("Fatal error: list is empty\n"));
    EXPECT_EQ(json[QStringLiteral("metaData")][QStringLiteral("extra")].toObject(), parse(R"({"note": "kept"})"));
    EXPECT_FALSE(json[QStringLiteral("metaData")].toObject().contains(QStringLiteral("_private")));
    EXPECT_EQ(json[QStringLiteral("app")][QStringLiteral("durationInForeground")].toInt(), 1500);
    EXPECT_EQ(json[QStringLiteral("app")][QStringLiteral("duration")].toInt(), 3750);
    EXPECT_EQ(json[QStringLiteral("app")][QStringLiteral("releaseStage")].toString(), QStringLiteral("beta"));
    EXPECT_EQ(json[QStringLiteral("device")][QStringLiteral("time")].toString(),
              QStringLiteral("2023-11-14T22:13:20.123Z"));
    EXPECT_TRUE(event->shouldBeSent());

    QJsonObject plain = parse(HandledReport);
    QJsonObject crash = plain[QStringLiteral("crash")].toObject();
    QJsonArray threads = crash[QStringLiteral("threads")].toArray();
    QJsonObject thread = threads[0].toObject();
    thread.remove(QStringLiteral("crash_info_message"));
    crash.insert(QStringLiteral("threads"), QJsonArray{thread});
    plain.insert(QStringLiteral("crash"), crash);
    const auto uncaught = KestrixEvent::fromCoreReport(kxFixupCrashReport(plain));
    ASSERT_TRUE(uncaught.has_value());
    EXPECT_EQ(uncaught->errors.front().errorClass, QStringLiteral("std::out_of_range"));
    EXPECT_EQ(uncaught->errors.front().errorMessage, QStringLiteral("boom"));

    EXPECT_FALSE(KestrixEvent::fromCoreReport({}).has_value());
    EXPECT_FALSE(KestrixEvent::fromCoreReport(parse(R"({"user": {"state": {"didOOM": true}}})")).has_value());
}

} // namespace
