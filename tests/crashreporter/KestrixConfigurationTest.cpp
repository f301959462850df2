#include "crashreporter/model/KestrixConfiguration.h"

#include "LogCapture.h"
#include "crashreporter/model/KestrixEvent.h"

#include <QJsonDocument>

#include <functional>

using namespace kestrix;

namespace {

const QString ValidKey = QStringLiteral("0123456789abcdef0123456789ABCDEF");

QJsonObject settings(const char *json)
{
    return QJsonDocument::fromJson(QByteArray(json)).object();
}

// Sets (or, with empty values, removes) the intake addresses the test main gives every test, and
// puts them back afterwards.
class IntakeEnvironment
{
public:
    IntakeEnvironment(const QByteArray &notify, const QByteArray &sessions)
        : m_notify(qgetenv("PLIMSY_CRASH_NOTIFY_URL"))
        , m_sessions(qgetenv("PLIMSY_CRASH_SESSIONS_URL"))
    {
        set("PLIMSY_CRASH_NOTIFY_URL", notify);
        set("PLIMSY_CRASH_SESSIONS_URL", sessions);
    }
    ~IntakeEnvironment()
    {
        set("PLIMSY_CRASH_NOTIFY_URL", m_notify);
        set("PLIMSY_CRASH_SESSIONS_URL", m_sessions);
    }

private:
    static void set(const char *name, const QByteArray &value)
    {
        if (value.isEmpty()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }

    QByteArray m_notify;
    QByteArray m_sessions;
};

struct SettingsRow
{
    const char *name;
    const char *settings;
    std::function<void(const KestrixConfiguration &)> check;
    const char *log = nullptr; // the one line logged, if any
};

std::ostream &operator<<(std::ostream &out, const SettingsRow &row)
{
    return out << row.name;
}

const SettingsRow SettingsRows[] = {
    {"booleans",
     R"({"attemptDeliveryOnCrash": true, "autoDetectErrors": false, "autoTrackSessions": false,
         "persistUser": false, "sendLaunchCrashesSynchronously": false, "reportBackgroundAppHangs": true})",
     [](const KestrixConfiguration &config) {
         EXPECT_TRUE(config.attemptDeliveryOnCrash);
         EXPECT_FALSE(config.autoDetectErrors);
         EXPECT_FALSE(config.autoTrackSessions);
         EXPECT_FALSE(config.persistUser());
         EXPECT_FALSE(config.sendLaunchCrashesSynchronously);
         EXPECT_TRUE(config.reportBackgroundAppHangs);
     }},
    {"numbersAreNotBooleans",
     R"({"autoDetectErrors": 0, "attemptDeliveryOnCrash": 1})",
     [](const KestrixConfiguration &config) {
         EXPECT_TRUE(config.autoDetectErrors);
         EXPECT_FALSE(config.attemptDeliveryOnCrash);
     }},
    {"numbers",
     R"({"launchDurationMillis": 0, "maxStringValueLength": 20, "maxPersistedEvents": 5,
         "maxPersistedSessions": 7, "maxBreadcrumbs": 0})",
     [](const KestrixConfiguration &config) {
         EXPECT_EQ(config.launchDurationMillis, 0u);
         EXPECT_EQ(config.maxStringValueLength, 20u);
         EXPECT_EQ(config.maxPersistedEvents(), 5u);
         EXPECT_EQ(config.maxPersistedSessions(), 7u);
         EXPECT_EQ(config.maxBreadcrumbs(), 0u);
     }},
    {"wrongTypesAreDroppedQuietly",
     R"({"maxBreadcrumbs": "50", "launchDurationMillis": -3, "appType": 4, "sendThreads": 1,
         "redactedKeys": "secret", "endpoints": "https://example.com"})",
     [](const KestrixConfiguration &config) {
         EXPECT_EQ(config.maxBreadcrumbs(), 100u);
         EXPECT_EQ(config.launchDurationMillis, 5000u);
         EXPECT_EQ(config.appType, QStringLiteral("linux"));
         EXPECT_EQ(config.sendThreads, KestrixThreadSendPolicy::Always);
         EXPECT_TRUE(kxMatchesAny(config.redactedKeys, QStringLiteral("password"), true));
     }},
    {"maxBreadcrumbs500",
     R"({"maxBreadcrumbs": 500})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.maxBreadcrumbs(), 500u); }},
    {"maxBreadcrumbs501",
     R"({"maxBreadcrumbs": 501})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.maxBreadcrumbs(), 100u); },
     "[Kestrix] [ERROR] Invalid configuration value detected. Option maxBreadcrumbs should be an integer between "
     "0-500. Supplied value is 501"},
    {"appHangThreshold250",
     R"({"appHangThresholdMillis": 250})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.appHangThresholdMillis(), 250u); }},
    {"appHangThreshold249",
     R"({"appHangThresholdMillis": 249})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.appHangThresholdMillis(), 0x7FFFFFFFu); },
     "[Kestrix] [ERROR] Invalid configuration value detected. Option appHangThresholdMillis should be greater than or "
     "equal to 250. Supplied value is 249"},
    {"maxPersistedEventsZero",
     R"({"maxPersistedEvents": 0})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.maxPersistedEvents(), 32u); },
     "[Kestrix] [ERROR] Invalid configuration value detected. Option maxPersistedEvents should be a non-zero integer. "
     "Supplied value is 0"},
    {"maxPersistedSessionsZero",
     R"({"maxPersistedSessions": 0})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.maxPersistedSessions(), 128u); },
     "[Kestrix] [ERROR] Invalid configuration value detected. Option maxPersistedSessions should be a non-zero "
     "integer. Supplied value is 0"},
    {"sendThreadsInMixedCase",
     R"({"sendThreads": "UnhandledOnly"})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.sendThreads, KestrixThreadSendPolicy::UnhandledOnly); }},
    {"sendThreadsNever",
     R"({"sendThreads": "NEVER"})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.sendThreads, KestrixThreadSendPolicy::Never); }},
    {"sendThreadsOtherWord",
     R"({"sendThreads": "sometimes"})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.sendThreads, KestrixThreadSendPolicy::Always); }},
    {"strings",
     R"({"appType": "tray", "appVersion": "9.1", "bundleVersion": "901", "releaseStage": "beta"})",
     [](const KestrixConfiguration &config) {
         EXPECT_EQ(config.appType, QStringLiteral("tray"));
         EXPECT_EQ(config.appVersion, QStringLiteral("9.1"));
         EXPECT_EQ(config.bundleVersion, QStringLiteral("901"));
         EXPECT_EQ(config.releaseStage, QStringLiteral("beta"));
     }},
    {"lists",
     R"({"redactedKeys": ["secret", "token"], "discardClasses": ["SIGPIPE"], "enabledReleaseStages": []})",
     [](const KestrixConfiguration &config) {
         EXPECT_TRUE(kxMatchesAny(config.redactedKeys, QStringLiteral("TOKEN"), true));
         EXPECT_FALSE(kxMatchesAny(config.redactedKeys, QStringLiteral("password"), true));
         EXPECT_TRUE(config.shouldDiscardErrorClass(QStringLiteral("SIGPIPE")));
         EXPECT_EQ(config.enabledReleaseStages, QStringList());
     }},
    {"listWithANumber",
     R"({"redactedKeys": ["secret", 5]})",
     [](const KestrixConfiguration &config) {
         EXPECT_TRUE(kxMatchesAny(config.redactedKeys, QStringLiteral("password"), true));
         EXPECT_FALSE(kxMatchesAny(config.redactedKeys, QStringLiteral("secret"), true));
     }},
    {"endpointsAreTakenAsGiven",
     R"({"endpoints": {"notify": "http://127.0.0.1:9/events", "sessions": "not a url"}})",
     [](const KestrixConfiguration &config) {
         EXPECT_EQ(config.endpoints().notify, QStringLiteral("http://127.0.0.1:9/events"));
         EXPECT_EQ(config.endpoints().sessions, QStringLiteral("not a url"));
         EXPECT_TRUE(config.endpoints().isCustom());
     }},
    {"unknownKeys",
     R"({"colour": "blue", "retries": 3, "maxBreadcrumbs": 20})",
     [](const KestrixConfiguration &config) { EXPECT_EQ(config.maxBreadcrumbs(), 20u); },
     R"([Kestrix] [WARN] Ignoring unexpected Info.plist values: {"colour":"blue","retries":3})"},
};

class KestrixConfigurationSettingsTest : public ::testing::TestWithParam<SettingsRow>
{
};

TEST_P(KestrixConfigurationSettingsTest, readsEachKeyOrLeavesTheDefault)
{
    const SettingsRow &row = GetParam();
    const IntakeEnvironment none({}, {});
    LogCapture log;
    QJsonObject object = settings(row.settings);
    object.insert(QStringLiteral("apiKey"), ValidKey);
    const auto config = KestrixConfiguration::loadConfig(object);
    ASSERT_TRUE(config.has_value());
    row.check(*config);
    const QStringList lines = log.lines();
    if (row.log == nullptr) {
        EXPECT_TRUE(lines.isEmpty()) << lines.join(QLatin1Char('\n')).toStdString();
    } else {
        EXPECT_EQ(lines, QStringList{QString::fromUtf8(row.log)});
    }
}

INSTANTIATE_TEST_SUITE_P(Keys,
                         KestrixConfigurationSettingsTest,
                         ::testing::ValuesIn(SettingsRows),
                         [](const auto &info) { return std::string(info.param.name); });

struct ApiKeyRow
{
    const char *name;
    QJsonValue key;
    bool loads;
    bool validates;
    const char *log;
};

std::ostream &operator<<(std::ostream &out, const ApiKeyRow &row)
{
    return out << row.name;
}

const ApiKeyRow ApiKeyRows[] = {
    {"missing", QJsonValue::Undefined, true, false, "[Kestrix] [ERROR] No Kestrix API key has been provided"},
    {"empty", QString(), true, false, "[Kestrix] [ERROR] No Kestrix API key has been provided"},
    {"notAString", 12345, false, false, "[Kestrix] [ERROR] Kestrix apiKey must be a string"},
    {"lowerCase32", QStringLiteral("0123456789abcdef0123456789abcdef"), true, true, nullptr},
    {"digits31",
     QStringLiteral("0123456789abcdef0123456789abcde"),
     true,
     true,
     "[Kestrix] [WARN] Invalid apiKey: expected a 32-character hexademical string, got \"<HIDDEN, 31 characters>\""},
    {"digits33",
     QStringLiteral("0123456789abcdef0123456789abcdef0"),
     true,
     true,
     "[Kestrix] [WARN] Invalid apiKey: expected a 32-character hexademical string, got \"<HIDDEN, 33 characters>\""},
    {"letterOutsideHex",
     QStringLiteral("0123456789abcdef0123456789abcdeg"),
     true,
     true,
     "[Kestrix] [WARN] Invalid apiKey: expected a 32-character hexademical string, got \"<HIDDEN, 32 characters>\""},
};

class KestrixConfigurationApiKeyTest : public ::testing::TestWithParam<ApiKeyRow>
{
};

TEST_P(KestrixConfigurationApiKeyTest, neverThrowsAndKeepsTheKeyOutOfTheLog)
{
    const ApiKeyRow &row = GetParam();
    LogCapture log;
    QJsonObject object;
    if (!row.key.isUndefined()) {
        object.insert(QStringLiteral("apiKey"), row.key);
    }
    const auto config = KestrixConfiguration::loadConfig(object);
    ASSERT_EQ(config.has_value(), row.loads);
    if (config) {
        EXPECT_EQ(config->validate(), row.validates);
    }
    const QStringList lines = log.lines();
    EXPECT_EQ(lines, row.log == nullptr ? QStringList() : QStringList{QString::fromUtf8(row.log)});
    if (row.key.isString() && row.key.toString().size() > 4) {
        EXPECT_FALSE(lines.join(QString()).contains(row.key.toString()));
    }
}

INSTANTIATE_TEST_SUITE_P(Keys, KestrixConfigurationApiKeyTest, ::testing::ValuesIn(ApiKeyRows), [](const auto &info) {
    return std::string(info.param.name);
});

// No address of the service's own: a key alone is no intake, and given addresses stay when the key changes.
TEST(KestrixConfigurationTest, anIntakeNeedsAKeyAndGivenAddresses)
{
    KestrixConfiguration config(QStringLiteral("00000abcdef0123456789abcdef01234"));
    EXPECT_EQ(config.notifyURL(), std::nullopt);
    EXPECT_FALSE(config.hasIntake());
    config.setApiKey(ValidKey);
    EXPECT_EQ(config.notifyURL(), std::nullopt);
    EXPECT_FALSE(config.hasIntake());

    LogCapture log;
    config.setEndpoints({QStringLiteral("http://127.0.0.1:8080/notify"), QStringLiteral("no scheme")});
    EXPECT_EQ(config.notifyURL(), QUrl(QStringLiteral("http://127.0.0.1:8080/notify")));
    EXPECT_EQ(config.sessionURL(), std::nullopt);
    EXPECT_EQ(log.lines(), QStringList{QStringLiteral("[Kestrix] [ERROR] Invalid URL supplied for session endpoint")});
    EXPECT_TRUE(config.hasIntake());
    config.setApiKey(QStringLiteral("00000abcdef0123456789abcdef01234"));
    EXPECT_EQ(config.endpoints().notify, QStringLiteral("http://127.0.0.1:8080/notify"));
    config.setApiKey(QString());
    EXPECT_FALSE(config.hasIntake());
}

TEST(KestrixConfigurationTest, theEnvironmentReplacesTheEndpointsAfterLoading)
{
    const auto config = [] {
        const IntakeEnvironment intake("http://127.0.0.1:4001/notify", "http://127.0.0.1:4001/sessions");
        return KestrixConfiguration::loadConfig(settings(
            R"({"apiKey": "0123456789abcdef0123456789abcdef", "endpoints": {"notify": "https://a.example", "sessions": "https://b.example"}})"));
    }();
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->endpoints().notify, QStringLiteral("http://127.0.0.1:4001/notify"));
    EXPECT_EQ(config->endpoints().sessions, QStringLiteral("http://127.0.0.1:4001/sessions"));
}

struct StageRow
{
    const char *name;
    std::optional<QStringList> enabled;
    std::optional<QString> stage;
    bool sent;
};

std::ostream &operator<<(std::ostream &out, const StageRow &row)
{
    return out << row.name;
}

const StageRow StageRows[] = {
    {"noStages", std::nullopt, QStringLiteral("production"), true},
    {"emptyList", QStringList(), QStringLiteral("production"), true},
    {"matching", QStringList{QStringLiteral("beta"), QStringLiteral("production")}, QStringLiteral("production"), true},
    {"other", QStringList{QStringLiteral("beta")}, QStringLiteral("production"), false},
    {"noStageNamed", QStringList{QStringLiteral("beta")}, std::nullopt, false},
};

class KestrixReleaseStageTest : public ::testing::TestWithParam<StageRow>
{
};

// Reports and events follow one rule; an empty list once disabled sessions but not events.
TEST_P(KestrixReleaseStageTest, configurationAndEventAgree)
{
    const StageRow &row = GetParam();
    KestrixConfiguration config(ValidKey);
    config.enabledReleaseStages = row.enabled;
    config.releaseStage = row.stage;
    EXPECT_EQ(config.shouldSendReports(), row.sent);

    KestrixEvent event = KestrixEvent::fromJson({});
    event.enabledReleaseStages = row.enabled;
    event.releaseStage = row.stage;
    EXPECT_EQ(event.shouldBeSent(), row.sent);
}

INSTANTIATE_TEST_SUITE_P(Stages, KestrixReleaseStageTest, ::testing::ValuesIn(StageRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST(KestrixConfigurationTest, theUserPersistsAcrossConfigurationsAndCopies)
{
    KestrixConfiguration first(ValidKey);
    first.setUser(QStringLiteral("u-1"), QStringLiteral("ann@example.com"), std::nullopt);
    EXPECT_EQ(KestrixConfiguration(std::nullopt).user(),
              (KestrixUser{QStringLiteral("u-1"), std::nullopt, QStringLiteral("ann@example.com")}));

    first.context = QStringLiteral("Menu");
    first.setMaxBreadcrumbs(12);
    const KestrixConfiguration copy = first.copy();
    EXPECT_EQ(copy.context, QStringLiteral("Menu"));
    EXPECT_EQ(copy.maxBreadcrumbs(), 12u);
    EXPECT_EQ(copy.metadata, first.metadata);
    EXPECT_EQ(copy.onSendBlocks, first.onSendBlocks);

    first.setPersistUser(false);
    EXPECT_EQ(KestrixConfiguration(std::nullopt).user(), KestrixUser());
}

TEST(KestrixConfigurationTest, breadcrumbTypesAndDiscardPatterns)
{
    KestrixConfiguration config(ValidKey);
    config.enabledBreadcrumbTypes = 0x20 | 0x04; // request and user
    EXPECT_TRUE(config.shouldRecordBreadcrumbType(KestrixBreadcrumbType::Request));
    EXPECT_TRUE(config.shouldRecordBreadcrumbType(KestrixBreadcrumbType::User));
    EXPECT_FALSE(config.shouldRecordBreadcrumbType(KestrixBreadcrumbType::State));
    EXPECT_TRUE(config.shouldRecordBreadcrumbType(KestrixBreadcrumbType::Manual));
    EXPECT_FALSE(config.shouldRecordBreadcrumbType(static_cast<KestrixBreadcrumbType>(9)));
    config.enabledBreadcrumbTypes = 0;
    EXPECT_FALSE(config.shouldRecordBreadcrumbType(KestrixBreadcrumbType::Request));

    config.discardClasses = {QStringLiteral("SIGPIPE"), QRegularExpression(QStringLiteral("^std::"))};
    EXPECT_TRUE(config.shouldDiscardErrorClass(QStringLiteral("std::bad_alloc")));
    EXPECT_FALSE(config.shouldDiscardErrorClass(QStringLiteral("sigpipe")));
}

} // namespace
