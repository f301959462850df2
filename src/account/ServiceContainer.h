#pragma once

#include <memory>

namespace plimsy {

class APIClient;
class AuthService;
class DeviceService;
class HTTPAuthService;
class HTTPDeviceService;
class TokenStore;
class UserDefaults;

// Owns the account services for the life of the process and wires the backend client to the token
// store and to "authStateChanged". GUI thread: create it there and use it there.
class ServiceContainer
{
public:
    // Built on first use with the secret store's token item, APIClient::shared() and the standard
    // defaults; never destroyed.
    static ServiceContainer &shared();

    // Sets the client's token store and its 401 handler (posting "authStateChanged"), then builds the
    // services, which read the store at once. `apiClient` and `defaults` must outlive the container.
    ServiceContainer(APIClient &apiClient, std::shared_ptr<TokenStore> tokenStore, UserDefaults &defaults);
    ~ServiceContainer();

    TokenStore &tokenStore() const { return *m_tokenStore; }
    AuthService &authService() const;
    DeviceService &deviceService() const;

private:
    std::shared_ptr<TokenStore> m_tokenStore;
    std::unique_ptr<HTTPAuthService> m_authService;
    std::unique_ptr<HTTPDeviceService> m_deviceService;

    ServiceContainer(const ServiceContainer &) = delete;
    ServiceContainer &operator=(const ServiceContainer &) = delete;
};

} // namespace plimsy
