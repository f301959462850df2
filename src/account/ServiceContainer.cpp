#include "account/ServiceContainer.h"

#include "account/APIClient.h"
#include "account/HTTPAuthService.h"
#include "account/HTTPDeviceService.h"
#include "account/KeychainTokenStore.h"
#include "core/NotificationNames.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

namespace plimsy {

ServiceContainer &ServiceContainer::shared()
{
    static ServiceContainer *s_shared =
        new ServiceContainer(APIClient::shared(), std::make_shared<KeychainTokenStore>(), UserDefaults::standard());
    return *s_shared;
}

ServiceContainer::ServiceContainer(APIClient &apiClient, std::shared_ptr<TokenStore> tokenStore, UserDefaults &defaults)
    : m_tokenStore(std::move(tokenStore))
{
    apiClient.setTokenStore(m_tokenStore);
    apiClient.setOnUnauthorized([] { NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged); });
    m_authService = std::make_unique<HTTPAuthService>(apiClient, m_tokenStore, defaults);
    m_deviceService = std::make_unique<HTTPDeviceService>(apiClient, m_tokenStore);
}

ServiceContainer::~ServiceContainer() = default;

AuthService &ServiceContainer::authService() const
{
    return *m_authService;
}

DeviceService &ServiceContainer::deviceService() const
{
    return *m_deviceService;
}

} // namespace plimsy
