#pragma once

#include "account/AuthManager.h"
#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QWidget>

#include <functional>

class QPushButton;

namespace plimsy {

// The onboarding's first screen: what Plimsy offers, and the sign-in by e-mail link. It waits ("Check
// your email...") until "authStateChanged" arrives while a sign-in is stored, whoever signed in, then
// hands over with `onSignedIn`, once.
class OnboardingWelcomeView : public QWidget
{
    Q_OBJECT

public:
    OnboardingWelcomeView(std::function<void()> onSignedIn, PreferencesServices services, QWidget *parent = nullptr);

    bool isWaitingForAuth() const { return m_isWaitingForAuth; }

    void signIn();
    void cancelSignIn();

private:
    void handleLoginResult(const AuthManager::Result &result);
    void handleAuthStateChanged();
    void setWaitingForAuth(bool waiting);
    QCoro::Task<> showSignInFailed(QString message);

    std::function<void()> m_onSignedIn;
    PreferencesServices m_services;
    QWidget *m_signInArea;
    QWidget *m_waitingArea;
    QPushButton *m_signInButton;
    bool m_isWaitingForAuth = false;
    bool m_hasHandedOver = false;

    Q_DISABLE_COPY_MOVE(OnboardingWelcomeView)
};

} // namespace plimsy
