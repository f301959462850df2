#include "notifications/Tollix.h"

#include "Await.h"
#include "FakeHttpServer.h"
#include "core/Logger.h"
#include "core/SimpleKeychain.h"
#include "platform/HttpSession.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

using namespace plimsy;
using namespace plimsy::test;

namespace {

const QString Account = QString::fromLatin1(Tollix::APIKeyKey);

// The real store of one test service, whose writes can be made to fail.
class RefusingKeychain final : public KeychainProtocol
{
public:
    explicit RefusingKeychain(const QString &service)
        : m_real(service)
    {
    }

    bool refusesWrites = false;

    SecretStore::Lookup lookup(const QString &account, Kind kind) const override
    {
        return m_real.lookup(account, kind);
    }
    Status store(const QString &value, const QString &account) override
    {
        return refusesWrites ? Status::Unavailable : m_real.store(value, account);
    }
    Status remove(const QString &account, Kind kind) override { return m_real.remove(account, kind); }
    SecretStore::Listing listAccounts(Kind kind) const override { return m_real.listAccounts(kind); }
    Status removeAll(Kind kind) override { return m_real.removeAll(kind); }

private:
    SimpleKeychain m_real;
};

class TollixTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        keychain.removeAll(KeychainProtocol::Kind::Default);
        keychain.removeAll(KeychainProtocol::Kind::Legacy);
    }

    std::optional<TollixAnswer> registerToken(const QString &token = QStringLiteral("token-1"))
    {
        return await(Tollix::registerDeviceIfKeyPresent(
            token, {&keychain, &defaults, &session, relay.url(QStringLiteral("/api/v2/")).toString()}));
    }

    QString logText() const
    {
        Logger::shared().flush();
        QFile file(*Logger::shared().logDirectory() + QDir::separator()
                   + Logger::logFileName(QStringLiteral("Plimsy"), QDateTime::currentDateTime()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    FakeHttpServer relay;
    HttpSession session;
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    const QString service =
        QStringLiteral("com.tindrel.plimsy.test.relay.") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    RefusingKeychain keychain{service};
};

TEST_F(TollixTest, WithoutARelayKeyNothingIsStoredOrSent)
{
    EXPECT_EQ(registerToken(), std::nullopt);
    EXPECT_EQ(relay.requestCount(), 0);
    EXPECT_FALSE(defaults.contains(QString::fromLatin1(Tollix::deviceKey)));
}

TEST_F(TollixTest, AKeyOnlyInTheLegacyStoreIsMovedOnceItsCopyReadsBack)
{
    relay.route("POST", "/api/v2/device", FakeResponse::json(R"({"device_id":"dev-7"})"));
    ASSERT_EQ(SecretStore::set(service, Account, QStringLiteral("relay-key"), SecretStore::Kind::Legacy),
              SecretStore::Status::Ok);

    // A store that refuses the copy keeps the legacy item; the key is still used.
    keychain.refusesWrites = true;
    ASSERT_TRUE(registerToken().has_value());
    EXPECT_EQ(keychain.getLegacy(Account), QStringLiteral("relay-key"));
    EXPECT_EQ(relay.requests().last().header("authorization"), "Bearer relay-key");

    keychain.refusesWrites = false;
    const std::optional<TollixAnswer> answer = registerToken(QStringLiteral("token-2"));
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(keychain.get(Account), QStringLiteral("relay-key"));
    EXPECT_EQ(keychain.getLegacy(Account), std::nullopt);
    EXPECT_EQ(answer->statusCode, 200);
    EXPECT_EQ(answer->deviceId, QStringLiteral("dev-7"));
    EXPECT_EQ(defaults.string(QStringLiteral("deviceID")), QStringLiteral("dev-7"));
    EXPECT_EQ(defaults.string(QString::fromLatin1(Tollix::deviceKey)), QStringLiteral("token-2"));

    const RecordedRequest sent = relay.requests().last();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("content-type"), "application/json; charset=utf-8");
    EXPECT_EQ(sent.header("accept"), "application/json");
    EXPECT_EQ(sent.queryValue(QStringLiteral("token")), QStringLiteral("token-2"));
    // The device identifier is worked out once and kept.
    const QString identifier = defaults.string(QString::fromLatin1(Tollix::deviceUUIDKey));
    EXPECT_FALSE(identifier.isEmpty());
    EXPECT_EQ(sent.queryValue(QStringLiteral("uuid")), identifier);
    defaults.setValue(QString::fromLatin1(Tollix::deviceUUIDKey), QStringLiteral("kept-id"));
    registerToken();
    EXPECT_EQ(relay.requests().last().queryValue(QStringLiteral("uuid")), QStringLiteral("kept-id"));
}

TEST_F(TollixTest, TheQueryKeepsItsOrderAndEveryNameIntact)
{
    relay.route("POST", "/api/v2/device", FakeResponse::json(R"({"device_id":"dev-7"})"));
    const TollixAPIController controller(relay.url(QStringLiteral("/api/v2/")).toString(), "key", session, defaults);
    const QString name = QStringLiteral("Robin & Co+1=2 ü?#");
    ASSERT_TRUE(await(controller.registerDevice(QStringLiteral("robin abc"), QStringLiteral("t/1"), name)).has_value());
    const RecordedRequest sent = relay.requests().last();
    EXPECT_EQ(sent.queryValue(QStringLiteral("name")), name);
    EXPECT_EQ(sent.rawTarget,
              "/api/v2/device?uuid=robin%20abc&token=t%2F1&name=Robin%20%26%20Co%2B1%3D2%20%C3%BC%3F%23");
}

struct AnswerRow
{
    const char *name;
    FakeResponse response;
    std::optional<int> status;
    std::optional<QString> deviceId;
    bool hasError;
    const char *logLine; // empty when nothing is logged
};

class TollixAnswerTest : public TollixTest, public ::testing::WithParamInterface<AnswerRow>
{
};

TEST_P(TollixAnswerTest, EachAnswerReachesTheCallerAndOnlyADeviceIdIsStored)
{
    const AnswerRow &row = GetParam();
    relay.route("POST", "/api/v2/device", row.response);
    keychain.set(QStringLiteral("relay-key"), Account);
    const qsizetype logged = logText().size();
    const std::optional<TollixAnswer> answer = registerToken();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->statusCode, row.status);
    EXPECT_EQ(answer->deviceId, row.deviceId);
    EXPECT_EQ(answer->error.has_value(), row.hasError);
    EXPECT_EQ(defaults.contains(QStringLiteral("deviceID")), row.deviceId.has_value());
    const QString written = logText().mid(logged);
    if (*row.logLine) {
        EXPECT_TRUE(written.contains(QLatin1String(row.logLine))) << written.toStdString();
    }
    EXPECT_FALSE(written.contains(QStringLiteral("relay-key")));
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    TollixAnswerTest,
    ::testing::Values(
        AnswerRow{"DeviceId", FakeResponse::json(R"({"device_id":"dev-1"})"), 200, QStringLiteral("dev-1"), false, ""},
        AnswerRow{"OtherJson", FakeResponse::json(R"({"id":1})"), 200, std::nullopt, false, ""},
        AnswerRow{"NotJson", FakeResponse::text("ok"), 200, std::nullopt, true, "Cannot catch device ID from server"},
        AnswerRow{"ServerError", FakeResponse::json(R"({"message":"no"})", 500), 500, std::nullopt, false, ""},
        AnswerRow{"Dropped",
                  FakeResponse::drop(),
                  std::nullopt,
                  std::nullopt,
                  true,
                  "Cannot register for Pushes. Unknown status code"}),
    [](const ::testing::TestParamInfo<AnswerRow> &info) { return std::string(info.param.name); });

} // namespace
