#pragma once

#include "account/User.h"

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <optional>

namespace plimsy {

// Whether and as whom the user is signed in to the account backend. GUI thread.
class AuthService
{
public:
    virtual ~AuthService() = default;

    // Ends the session at the backend (best effort) and always signs out locally; never throws. False
    // when the secret store kept the sign-in: the user is signed out for this run only.
    virtual QCoro::Task<bool> logout() = 0;

    // A link that opens the backend's web pages already signed in; `redirect` is a web path such as
    // "/dashboard". Throws AuthError, or NetworkError when the backend cannot be reached.
    virtual QCoro::Task<QUrl> webSessionURL(std::optional<QString> redirect) = 0;

    // True exactly while the token store holds an access token.
    virtual bool isAuthenticated() = 0;
    // True while the token store could not be read (a locked or unreachable secret store): the user may
    // well be signed in. Reads nothing itself; ask after isAuthenticated.
    virtual bool isSignInUnavailable() const = 0;
    virtual std::optional<User> currentUser() const = 0;
    // Keeps and persists the user; touches neither the token nor any notification.
    virtual void setCurrentUser(const User &user) = 0;
};

} // namespace plimsy
