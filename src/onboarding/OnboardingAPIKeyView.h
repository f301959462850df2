#pragma once

#include "core/Account.h"
#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QWidget>

#include <functional>

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace plimsy {

// The onboarding's second screen: the first Forge account, a name and an API key. "Continue" stores
// the key, checks it against Forge and keeps the account; a failed check removes the key and asks
// whether to keep the account anyway. A check outlives its screen ("Back", "Skip for Now") and still
// keeps a working account and moves on.
class OnboardingAPIKeyView : public QWidget
{
    Q_OBJECT

public:
    struct Actions
    {
        std::function<void()> onContinue;
        std::function<void()> onSkip;
        std::function<void()> onBack;
    };

    OnboardingAPIKeyView(Actions actions, PreferencesServices services, QWidget *parent = nullptr);

    bool isValidating() const { return m_isValidating; }

    void validateAndContinue();
    void openForgeTokenPage();

private:
    QCoro::Task<> checkKey(Account account);
    QCoro::Task<> confirmUnverifiedKey();
    // "Save Anyway": a new account under another uuid, its key unchecked; false when the key store refused it.
    bool saveAnyway();
    void setValidating(bool validating);
    void updateControls();

    Actions m_actions;
    PreferencesServices m_services;
    QLineEdit *m_accountName;
    QLineEdit *m_apiKey;
    QPushButton *m_continue = nullptr;
    QProgressBar *m_progress = nullptr;
    bool m_isValidating = false;

    Q_DISABLE_COPY_MOVE(OnboardingAPIKeyView)
};

} // namespace plimsy
