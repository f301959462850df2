#pragma once

#include "account/AuthManager.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

namespace plimsy {

class AuthService;

// Whether and as whom the user is signed in to the Plimsy account, with the browser sign-in and the
// sign-out. Each finished sign-in or sign-out started here posts "authStateChanged". GUI thread.
class AccountTabViewModel : public QObject
{
    Q_OBJECT

public:
    AccountTabViewModel(AuthService &authService, AuthManager &authManager, QObject *parent = nullptr);

    bool isAuthenticated() const { return m_isAuthenticated; }
    QString userEmail() const { return m_userEmail; }
    bool isLoading() const { return m_isLoading; }
    void setLoading(bool loading);

    // Reads the sign-in state and the user's address from the auth service.
    void refresh();
    // Opens the sign-in page in the browser; loading until the sign-in ends.
    void signIn();
    // Signs out at the backend (whatever it answers) and locally.
    void signOut();
    void handleLoginResult(const AuthManager::Result &result);

Q_SIGNALS:
    void changed();

private:
    QCoro::Task<> runSignOut();

    AuthService &m_authService;
    AuthManager &m_authManager;
    bool m_isAuthenticated = false;
    QString m_userEmail;
    bool m_isLoading = false;

    Q_DISABLE_COPY_MOVE(AccountTabViewModel)
};

} // namespace plimsy
