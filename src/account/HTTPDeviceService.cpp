#include "account/HTTPDeviceService.h"

#include "account/APIClient.h"
#include "account/DeviceError.h"
#include "account/DeviceInfo.h"
#include "account/JsonDecoding.h"
#include "account/TokenStore.h"
#include "core/Logger.h"

#include <cstdio>

namespace plimsy {

namespace {

struct RegisterPushRequest
{
    QString apnsToken;
    QString deviceIdentifier;
    std::optional<bool> pushEnabled;

    QJsonObject toJson() const
    {
        QJsonObject json{{QStringLiteral("apns_token"), apnsToken},
                         {QStringLiteral("device_identifier"), deviceIdentifier}};
        if (pushEnabled) {
            json.insert(QStringLiteral("push_enabled"), *pushEnabled);
        }
        return json;
    }
};

struct UnregisterPushRequest
{
    QString deviceIdentifier;

    QJsonObject toJson() const { return {{QStringLiteral("device_identifier"), deviceIdentifier}}; }
};

struct ForgeConnectResponse
{
    QString webhookUrl;

    static ForgeConnectResponse fromJson(const QJsonObject &json, const QString &path)
    {
        return {requiredString(json, path, "webhook_url")};
    }
};

// Progress goes to standard output, not to the log files.
// Push tokens and device identifiers identify the machine to anyone reading a terminal or a journal.
QString hidden(const QString &value)
{
    return QStringLiteral("<HIDDEN> (%1 characters)").arg(value.size());
}

DeviceError deviceErrorFor(const APIError &error)
{
    switch (error.errorCase()) {
    case APIError::Case::NetworkError:
        return DeviceError::networkError(error.cause());
    case APIError::Case::Unauthorized:
        return DeviceError::notAuthenticated();
    case APIError::Case::NotFound:
        return DeviceError::deviceNotFound();
    case APIError::Case::ServerError:
    case APIError::Case::HttpError:
        return DeviceError::serverError(error.status());
    case APIError::Case::Forbidden:
        return DeviceError::serverError(403);
    case APIError::Case::Conflict:
        return DeviceError::serverError(409);
    case APIError::Case::ValidationError:
        return DeviceError::serverError(422);
    case APIError::Case::DecodingError:
    case APIError::Case::InvalidResponse:
        break;
    }
    return DeviceError::serverError(0);
}

} // namespace

HTTPDeviceService::HTTPDeviceService(APIClient &apiClient, std::shared_ptr<TokenStore> tokenStore)
    : m_apiClient(apiClient)
    , m_tokenStore(std::move(tokenStore))
{
}

QCoro::Task<> HTTPDeviceService::registerPushToken(QString token, std::optional<bool> pushEnabled)
{
    const QString deviceIdentifier = hardwareUUID();
    printLine(QStringLiteral("[HTTPDeviceService] registerPushToken:"));
    printLine(QStringLiteral("  - token: ") + hidden(token));
    printLine(QStringLiteral("  - deviceIdentifier: ") + hidden(deviceIdentifier));
    printLine(QStringLiteral("  - pushEnabled: ")
              + (pushEnabled ? (*pushEnabled ? QStringLiteral("true") : QStringLiteral("false"))
                             : QStringLiteral("nil (preserve)")));

    APIClient::Request request =
        m_apiClient.makeRequest(QStringLiteral("devices/register-push"), APIClient::Method::Post);
    // Bound to a local: g++ 12 destroys braced temporaries inside co_await expressions twice.
    RegisterPushRequest body{std::move(token), deviceIdentifier, pushEnabled};
    try {
        co_await m_apiClient.sendBody(std::move(request), std::move(body));
    } catch (const APIError &error) {
        printLine(QStringLiteral("[HTTPDeviceService] registerPushToken: Error - ") + error.describe());
        throw deviceErrorFor(error);
    }
    printLine(QStringLiteral("[HTTPDeviceService] registerPushToken: Success ✓"));
}

QCoro::Task<> HTTPDeviceService::unregisterPushToken()
{
    const QString deviceIdentifier = hardwareUUID();
    printLine(QStringLiteral("[HTTPDeviceService] unregisterPushToken: Starting..."));
    printLine(QStringLiteral("[HTTPDeviceService] unregisterPushToken: device_identifier = ")
              + hidden(deviceIdentifier));

    APIClient::Request request =
        m_apiClient.makeRequest(QStringLiteral("devices/push-token"), APIClient::Method::Delete);
    const QUrl url = request.url();
    printLine(QStringLiteral("[HTTPDeviceService] unregisterPushToken: DELETE ")
              + (url.isEmpty() ? QStringLiteral("nil") : url.toString(QUrl::FullyEncoded)));
    UnregisterPushRequest body{deviceIdentifier};
    try {
        co_await m_apiClient.sendBody(std::move(request), std::move(body));
    } catch (const APIError &error) {
        printLine(QStringLiteral("[HTTPDeviceService] unregisterPushToken: API error: ") + error.describe());
        throw deviceErrorFor(error);
    } catch (const std::exception &) {
        const ErrorCause cause = ErrorCause::current();
        printLine(QStringLiteral("[HTTPDeviceService] unregisterPushToken: Unexpected error: ") + cause.description);
        throw DeviceError::networkError(cause);
    }
    printLine(QStringLiteral("[HTTPDeviceService] unregisterPushToken: Success ✓"));
}

QCoro::Task<QString> HTTPDeviceService::connectForge()
{
    // The address belongs to the account that fetched it: another account's deploys must never go there.
    const std::optional<QString> token = m_tokenStore->accessToken();
    if (m_cachedWebhookUrl && m_cachedForToken == token) {
        // A copy: co_return of a member would move it out of the cache.
        co_return QString(*m_cachedWebhookUrl);
    }
    m_cachedWebhookUrl.reset();
    m_cachedForToken.reset();
    APIClient::Request request = m_apiClient.makeRequest(QStringLiteral("forge/connect"), APIClient::Method::Post);
    ForgeConnectResponse answer;
    try {
        answer = co_await m_apiClient.sendRequest<ForgeConnectResponse>(std::move(request));
    } catch (const APIError &error) {
        throw deviceErrorFor(error);
    } catch (const std::exception &) {
        throw DeviceError::networkError(ErrorCause::current());
    }
    // A sign-out or another sign-in while the answer was on its way: it belongs to a user who is gone.
    if (m_tokenStore->accessToken() != token) {
        throw DeviceError::notAuthenticated();
    }
    m_cachedWebhookUrl = answer.webhookUrl;
    m_cachedForToken = token;
    co_return answer.webhookUrl;
}

} // namespace plimsy
