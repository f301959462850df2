#include "preferences/AccountTabViewModel.h"

#include "account/AuthService.h"
#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "platform/NotificationCenter.h"

#include <QPointer>
#include <QTimer>

namespace plimsy {

AccountTabViewModel::AccountTabViewModel(AuthService &authService, AuthManager &authManager, QObject *parent)
    : QObject(parent)
    , m_authService(authService)
    , m_authManager(authManager)
{
}

void AccountTabViewModel::setLoading(bool loading)
{
    if (m_isLoading != loading) {
        m_isLoading = loading;
        Q_EMIT changed();
    }
}

void AccountTabViewModel::refresh()
{
    const std::optional<User> user = m_authService.currentUser();
    m_isAuthenticated = m_authService.isAuthenticated();
    m_userEmail = user ? user->email : QString();
    Q_EMIT changed();
}

void AccountTabViewModel::signIn()
{
    setLoading(true);
    m_authManager.startLogin(this, [this](const AuthManager::Result &result) { handleLoginResult(result); });
}

void AccountTabViewModel::handleLoginResult(const AuthManager::Result &result)
{
    // After the current event, as a sign-in may end inside the call that started it.
    QTimer::singleShot(0, this, [this, signedIn = std::holds_alternative<AuthResponse>(result)] {
        setLoading(false);
        if (signedIn) {
            refresh();
            NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
        }
    });
}

void AccountTabViewModel::signOut()
{
    runDetached(runSignOut());
}

QCoro::Task<> AccountTabViewModel::runSignOut()
{
    QPointer self(this);
    AuthService &authService = m_authService;
    co_await authService.logout();
    if (self) {
        refresh();
    }
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
}

} // namespace plimsy
