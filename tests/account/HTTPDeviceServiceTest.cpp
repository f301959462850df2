#include "account/HTTPDeviceService.h"

#include "AccountTestSupport.h"
#include "Await.h"
#include "FakeAccountBackend.h"
#include "account/APIClient.h"
#include "account/DeviceError.h"
#include "account/DeviceInfo.h"
#include "platform/NetworkError.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace plimsy;
using namespace plimsy::test;

namespace {

const QString PushToken = QStringLiteral("a1b2c3d4e5f60718293a4b5c6d7e8f90a1b2c3d4e5f60718293a4b5c6d7e8f90");

class HTTPDeviceServiceTest : public ::testing::Test
{
protected:
    FakeAccountBackend backend;
    HttpSession session;
    APIClient client{session, [this] { return backend.apiBase(); }};
    std::shared_ptr<MemoryTokenStore> store = std::make_shared<MemoryTokenStore>();
    HTTPDeviceService service{client, store};

    void SetUp() override
    {
        client.setTokenStore(store);
        store->token = backend.issueToken();
    }

    QJsonObject lastBody() const
    {
        return QJsonDocument::fromJson(backend.server().requests().constLast().body).object();
    }

    template <typename F> DeviceError deviceErrorOf(F &&operation)
    {
        return errorOf(std::forward<F>(operation), DeviceError::serverError(-1));
    }
};

TEST_F(HTTPDeviceServiceTest, RegistersTheTokenWithOnlyTheKeysItHas)
{
    await(service.registerPushToken(PushToken, std::nullopt));
    EXPECT_EQ(backend.server().requests().constLast().path, "/v1/devices/register-push");
    EXPECT_EQ(lastBody(), QJsonObject({{"apns_token", PushToken}, {"device_identifier", hardwareUUID()}}));

    await(service.registerPushToken(PushToken, true));
    EXPECT_EQ(lastBody(),
              QJsonObject({{"apns_token", PushToken}, {"device_identifier", hardwareUUID()}, {"push_enabled", true}}));
    ASSERT_TRUE(backend.pushRegistration(hardwareUUID()).has_value());
    EXPECT_EQ(backend.pushRegistration(hardwareUUID())->token, PushToken);
}

TEST_F(HTTPDeviceServiceTest, PrintsProgressWithoutTheTokenOrTheDeviceIdentifier)
{
    ::testing::internal::CaptureStdout();
    await(service.registerPushToken(PushToken, std::nullopt));
    await(service.registerPushToken("short", false));
    await(service.unregisterPushToken());
    const QString printed = QString::fromStdString(::testing::internal::GetCapturedStdout());

    EXPECT_TRUE(printed.contains("[HTTPDeviceService] registerPushToken:\n")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("  - pushEnabled: nil (preserve)\n")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("  - pushEnabled: false\n")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("[HTTPDeviceService] registerPushToken: Success ✓\n")) << printed.toStdString();
    EXPECT_TRUE(printed.contains("[HTTPDeviceService] unregisterPushToken: DELETE " + backend.apiBase()
                                 + "/devices/push-token\n"))
        << printed.toStdString();
    EXPECT_TRUE(printed.contains("[HTTPDeviceService] unregisterPushToken: Success ✓\n")) << printed.toStdString();
    EXPECT_FALSE(printed.contains(PushToken.left(8))) << printed.toStdString();
    EXPECT_FALSE(printed.contains("short")) << printed.toStdString();
    EXPECT_FALSE(printed.contains(hardwareUUID().left(8))) << printed.toStdString();
}

TEST_F(HTTPDeviceServiceTest, UnregisteringAnUnknownDeviceSaysSo)
{
    await(service.registerPushToken(PushToken, true));
    await(service.unregisterPushToken());
    EXPECT_EQ(backend.server().requests().constLast().method, "DELETE");
    EXPECT_EQ(lastBody(), QJsonObject({{"device_identifier", hardwareUUID()}}));
    EXPECT_FALSE(backend.pushRegistration(hardwareUUID()).has_value());

    const DeviceError error = deviceErrorOf([this] { await(service.unregisterPushToken()); });
    EXPECT_EQ(error.errorCase(), DeviceError::Case::DeviceNotFound);
    EXPECT_EQ(error.userMessage(), "Device not found");
}

struct MappingRow
{
    const char *name;
    int status;
    DeviceError::Case expected;
    int code;
};

void PrintTo(const MappingRow &row, std::ostream *out)
{
    *out << row.name;
}

class HTTPDeviceServiceMappingTest : public HTTPDeviceServiceTest, public ::testing::WithParamInterface<MappingRow>
{
};

TEST_P(HTTPDeviceServiceMappingTest, MapsTheBackendsAnswerForEveryCall)
{
    const MappingRow row = GetParam();
    const FakeResponse answer = FakeResponse::json(R"({"message":"no"})", row.status);
    backend.server().route("*", "/v1/devices/register-push", answer);
    backend.server().route("*", "/v1/devices/push-token", answer);
    backend.server().route("*", "/v1/forge/connect", answer);

    const std::function<void()> calls[] = {[this] { await(service.registerPushToken(PushToken, true)); },
                                           [this] { await(service.unregisterPushToken()); },
                                           [this] { await(service.connectForge()); }};
    for (const auto &call : calls) {
        const DeviceError error = deviceErrorOf(call);
        EXPECT_EQ(error.errorCase(), row.expected);
        EXPECT_EQ(error.code(), row.code);
    }
}

INSTANTIATE_TEST_SUITE_P(Statuses,
                         HTTPDeviceServiceMappingTest,
                         ::testing::Values(MappingRow{"Unauthorized", 401, DeviceError::Case::NotAuthenticated, 0},
                                           MappingRow{"Forbidden", 403, DeviceError::Case::ServerError, 403},
                                           MappingRow{"NotFound", 404, DeviceError::Case::DeviceNotFound, 0},
                                           MappingRow{"Conflict", 409, DeviceError::Case::ServerError, 409},
                                           MappingRow{"Validation", 422, DeviceError::Case::ServerError, 422},
                                           MappingRow{"Teapot", 418, DeviceError::Case::ServerError, 418},
                                           MappingRow{"Server", 500, DeviceError::Case::ServerError, 500}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(HTTPDeviceServiceTest, TransferFailuresKeepTheirShapePerCall)
{
    backend.server().route("*", "/v1/devices/register-push", FakeResponse::drop());
    backend.server().route("*", "/v1/devices/push-token", FakeResponse::drop());
    backend.server().route("*", "/v1/forge/connect", FakeResponse::drop());

    EXPECT_THROW(await(service.registerPushToken(PushToken, true)), NetworkError);
    for (const std::function<void()> &call : {std::function<void()>([this] { await(service.unregisterPushToken()); }),
                                              std::function<void()>([this] { await(service.connectForge()); })}) {
        const DeviceError error = deviceErrorOf(call);
        EXPECT_EQ(error.errorCase(), DeviceError::Case::NetworkError);
        EXPECT_NE(error.cause().as<NetworkError>(), nullptr);
        EXPECT_TRUE(error.userMessage().startsWith("Network error: ")) << error.userMessage().toStdString();
    }
}

TEST_F(HTTPDeviceServiceTest, TheWebhookAddressIsFetchedOncePerSession)
{
    EXPECT_EQ(await(service.connectForge()), backend.webhookUrl());
    EXPECT_EQ(await(service.connectForge()), backend.webhookUrl());
    EXPECT_EQ(backend.server().requestCount("POST", "/v1/forge/connect"), 1);
    EXPECT_TRUE(backend.server().requests().value(0).body.isEmpty());
}

TEST_F(HTTPDeviceServiceTest, SigningOutDropsTheWebhookAddress)
{
    await(service.connectForge());
    store->clear();
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    store->token = backend.issueToken();

    backend.setWebhookUrl(QStringLiteral("http://127.0.0.1/hooks/after"));
    EXPECT_EQ(await(service.connectForge()), "http://127.0.0.1/hooks/after");
    EXPECT_EQ(backend.server().requestCount("POST", "/v1/forge/connect"), 2);
}

TEST_F(HTTPDeviceServiceTest, AnotherAccountNeverGetsTheEarlierAddress)
{
    await(service.connectForge());
    store->token = backend.issueToken(); // a new sign-in, without a sign-out before it
    backend.setWebhookUrl(QStringLiteral("http://127.0.0.1/hooks/other-account"));
    EXPECT_EQ(await(service.connectForge()), "http://127.0.0.1/hooks/other-account");

    store->token.reset();
    const DeviceError error = deviceErrorOf([this] { await(service.connectForge()); });
    EXPECT_EQ(error.errorCase(), DeviceError::Case::NotAuthenticated);
    EXPECT_EQ(error.userMessage(), "Please sign in to continue");
}

// An answer that arrives after a sign-out belongs to the user who left: dropped, never cached for the
// next user's sites.
TEST_F(HTTPDeviceServiceTest, AnAnswerFetchedWithATokenNoLongerCurrentIsDropped)
{
    using namespace std::chrono_literals;
    backend.server().routeSequence(
        "POST",
        "/v1/forge/connect",
        {FakeResponse::json(R"({"webhook_url":"http://127.0.0.1/hooks/earlier-user"})").withDelay(200ms),
         FakeResponse::json(R"({"webhook_url":"http://127.0.0.1/hooks/next-user"})")});
    QCoro::Task<QString> pending = service.connectForge();
    store->clear();
    store->token = backend.issueToken();

    const DeviceError error = deviceErrorOf([&pending] { await(std::move(pending)); });
    EXPECT_EQ(error.errorCase(), DeviceError::Case::NotAuthenticated);
    EXPECT_EQ(await(service.connectForge()), "http://127.0.0.1/hooks/next-user");
}

TEST_F(HTTPDeviceServiceTest, AFailedFetchIsNotCached)
{
    backend.server().routeSequence(
        "POST",
        "/v1/forge/connect",
        {FakeResponse::json(R"({"url":"x"})"), FakeResponse::json(R"({"webhook_url":"http://127.0.0.1/hooks/ok"})")});
    const DeviceError error = deviceErrorOf([this] { await(service.connectForge()); });
    EXPECT_EQ(error.errorCase(), DeviceError::Case::ServerError);
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(await(service.connectForge()), "http://127.0.0.1/hooks/ok");
}

} // namespace
