#include "Await.h"
#include "FakeAccountBackend.h"
#include "FakeHttpServer.h"
#include "MemoryTokenStore.h"
#include "account/APIClient.h"
#include "account/HTTPAuthService.h"
#include "account/HTTPDeviceService.h"
#include "notifications/TollixAPIController.h"
#include "platform/HttpSession.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <exception>
#include <functional>

using namespace plimsy;
using namespace plimsy::test;

namespace {

const QString Token = QStringLiteral("secret-access-token");
const QString RelayKey = QStringLiteral("secret-relay-key");

// The callers that send the account token or the relay key, each on its origin; the origin answers 302 to
// another local host.
struct Callers
{
    FakeAccountBackend backend;
    FakeHttpServer elsewhere;
    HttpSession session;
    APIClient client{session, [this] { return backend.apiBase(); }};
    std::shared_ptr<MemoryTokenStore> tokens = std::make_shared<MemoryTokenStore>();
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
};

// The error the caller reports, empty when it reports none.
using Call = std::function<QString(Callers &)>;

template <typename T> QString errorOf(QCoro::Task<T> task)
{
    try {
        await(std::move(task));
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

struct RedirectRow
{
    const char *name;
    QByteArray method;
    QString originPath;
    Call call;
};

const RedirectRow RedirectRows[] = {
    {"ForgeConnect",
     "POST",
     QStringLiteral("/v1/forge/connect"),
     [](Callers &callers) {
         HTTPDeviceService devices(callers.client, callers.tokens);
         return errorOf(devices.connectForge());
     }},
    {"WebSession",
     "GET",
     QStringLiteral("/v1/auth/web-session"),
     [](Callers &callers) {
         HTTPAuthService auth(callers.client, callers.tokens, callers.defaults);
         return errorOf(auth.webSessionURL(QStringLiteral("/dashboard")));
     }},
    {"RelayRegistration",
     "POST",
     QStringLiteral("/api/v2/device"),
     [](Callers &callers) {
         const TollixAPIController relay(callers.backend.server().url(QStringLiteral("/api/v2/")).toString(),
                                         RelayKey,
                                         callers.session,
                                         callers.defaults);
         const std::optional<TollixAnswer> answer =
             await(relay.registerDevice(QStringLiteral("uuid"), QStringLiteral("push"), QStringLiteral("name")));
         return answer ? answer->error.value_or(QString()) : QStringLiteral("no request");
     }},
};

void PrintTo(const RedirectRow &row, std::ostream *os)
{
    *os << row.name;
}

class CredentialRedirect : public ::testing::TestWithParam<RedirectRow>
{
};

TEST_P(CredentialRedirect, StaysWithItsOriginAndFails)
{
    Callers callers;
    callers.tokens->token = Token;
    callers.client.setTokenStore(callers.tokens);
    callers.elsewhere.setFallback([](const RecordedRequest &) {
        return FakeResponse::json(R"({"url": "http://127.0.0.1/", "webhook_url": "http://127.0.0.1/",
                                      "device_id": "taken"})");
    });
    const RedirectRow &row = GetParam();
    callers.backend.server().route(row.method, row.originPath, [&](const RecordedRequest &) {
        return FakeResponse::empty(302).withHeader("Location", callers.elsewhere.url("/collect").toEncoded());
    });

    const QString error = row.call(callers);

    EXPECT_FALSE(error.isEmpty());
    ASSERT_EQ(callers.backend.server().requests(row.method, row.originPath).size(), 1);
    EXPECT_TRUE(callers.backend.server().requests().last().hasHeader("authorization"));
    for (const RecordedRequest &request : callers.elsewhere.requests()) {
        EXPECT_FALSE(request.hasHeader("authorization")) << request.path.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Callers, CredentialRedirect, ::testing::ValuesIn(RedirectRows), [](const auto &info) {
    return std::string(info.param.name);
});

} // namespace
