#pragma once

#include "account/DeviceService.h"

#include <memory>
#include <optional>

namespace plimsy {

class APIClient;
class TokenStore;

// The device service over the account backend. Progress goes to standard output, with the push token
// and the device identifier left out. The webhook address is kept with the access token it was fetched
// with and only ever returned for that token: after a sign-out or another sign-in it is fetched anew.
// GUI thread; the client must outlive the service.
class HTTPDeviceService final : public DeviceService
{
public:
    HTTPDeviceService(APIClient &apiClient, std::shared_ptr<TokenStore> tokenStore);

    QCoro::Task<> registerPushToken(QString token, std::optional<bool> pushEnabled) override;
    QCoro::Task<> unregisterPushToken() override;
    QCoro::Task<QString> connectForge() override;

private:
    APIClient &m_apiClient;
    std::shared_ptr<TokenStore> m_tokenStore;
    std::optional<QString> m_cachedWebhookUrl;
    std::optional<QString> m_cachedForToken; // the access token the address was fetched with

    HTTPDeviceService(const HTTPDeviceService &) = delete;
    HTTPDeviceService &operator=(const HTTPDeviceService &) = delete;
};

} // namespace plimsy
