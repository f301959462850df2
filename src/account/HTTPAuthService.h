#pragma once

#include "account/AuthService.h"

#include <memory>

namespace plimsy {

class APIClient;
class TokenStore;
class UserDefaults;

// The auth service over the account backend. The signed-in user is kept in the defaults under
// CurrentUserKey. GUI thread; the client, store and defaults must outlive it.
class HTTPAuthService final : public AuthService
{
public:
    static constexpr auto CurrentUserKey = "com.tindrel.plimsy.currentUser";

    // Reads the store at once and, when a token is present, restores the stored user.
    HTTPAuthService(APIClient &apiClient, std::shared_ptr<TokenStore> tokenStore, UserDefaults &defaults);

    QCoro::Task<bool> logout() override;
    QCoro::Task<QUrl> webSessionURL(std::optional<QString> redirect) override;
    bool isAuthenticated() override;
    bool isSignInUnavailable() const override;
    std::optional<User> currentUser() const override;
    void setCurrentUser(const User &user) override;

private:
    void restoreCurrentUser() const;
    void persistCurrentUser();
    bool clearLocalState();

    APIClient &m_apiClient;
    std::shared_ptr<TokenStore> m_tokenStore;
    UserDefaults &m_defaults;
    // Restored from the defaults on the first look with a token present, which may come after
    // construction when the secret store answered late.
    mutable std::optional<User> m_currentUser;
    mutable bool m_userLookedUp = false;
};

} // namespace plimsy
