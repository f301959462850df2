#include "onboarding/WelcomeWindowController.h"

#include "core/AccountManager.h"
#include "onboarding/OnboardingWidgets.h"
#include "onboarding/WelcomeView.h"

#include <QEvent>
#include <QPointer>
#include <QVBoxLayout>

#include <variant>

namespace plimsy {

WelcomeWindowController::WelcomeWindowController(PreferencesServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_isUpgradeFromV5(!AccountManager::loadAccounts(m_services.userDefaults()).isEmpty())
    , m_window(makeFixedWindow(QStringLiteral("welcomeWindow"), QStringLiteral("Welcome to Plimsy"), WindowSize))
{
    auto *layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    const auto onSignIn = [self = QPointer(this)] {
        if (self) {
            self->signIn();
        }
    };
    auto *view = new WelcomeView(onSignIn, m_isUpgradeFromV5, m_window.get());
    layout->addWidget(view);
    focusFirstField(view);
    m_window->installEventFilter(this);
}

WelcomeWindowController::~WelcomeWindowController()
{
    m_window->removeEventFilter(this);
    m_tracker.windowClosed();
}

void WelcomeWindowController::showWindow()
{
    m_tracker.windowShown();
    m_window->show();
    centreOnScreen(m_window.get());
    m_window->raise();
    m_window->activateWindow();
}

void WelcomeWindowController::signIn()
{
    startSignIn(m_services.signIn(), this, [this](const AuthManager::Result &result) { handleLoginResult(result); });
}

void WelcomeWindowController::handleLoginResult(const AuthManager::Result &result)
{
    // The sign-in manager stored the sign-in and announced it; a failure leaves the window as it is.
    if (std::holds_alternative<AuthResponse>(result)) {
        m_window->close();
    }
}

bool WelcomeWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close) {
        m_tracker.windowClosed();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace plimsy
