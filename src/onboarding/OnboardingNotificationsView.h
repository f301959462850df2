#pragma once

#include "account/AuthManager.h"
#include "preferences/PreferencesServices.h"

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace plimsy {

// The onboarding's last screen: an invitation to push notifications of deployments. Signed out, its
// main button signs in first; signed in, it marks itself busy and hands the enabling to `onEnable`.
// Where the platform has no push service it says so and its main button only finishes.
class OnboardingNotificationsView : public QWidget
{
    Q_OBJECT

public:
    struct Actions
    {
        std::function<void()> onEnable;
        std::function<void()> onSkip;
        std::function<void()> onBack;
    };

    OnboardingNotificationsView(Actions actions, PreferencesServices services, QWidget *parent = nullptr);

    bool isEnabling() const { return m_isEnabling; }
    bool isAuthenticated() const { return m_isAuthenticated; }

    void checkAuthentication();
    void primaryAction();
    void signIn();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void handleLoginResult(const AuthManager::Result &result);
    void updateControls();

    Actions m_actions;
    PreferencesServices m_services;
    bool m_isSupported;
    bool m_isEnabling = false;
    bool m_isAuthenticated = false;
    QWidget *m_signInPrompt = nullptr;
    QPushButton *m_back = nullptr;
    QPushButton *m_skip = nullptr;
    QPushButton *m_primary = nullptr;
    QWidget *m_progress = nullptr;

    Q_DISABLE_COPY_MOVE(OnboardingNotificationsView)
};

} // namespace plimsy
