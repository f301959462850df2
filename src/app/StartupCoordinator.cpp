#include "app/StartupCoordinator.h"

#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "core/AccountManager.h"
#include "core/NotificationNames.h"
#include "menu/StatusMenuController.h"
#include "onboarding/OnboardingWindowController.h"
#include "onboarding/WelcomeWindowController.h"
#include "platform/AlertPresenter.h"
#include "platform/ApplicationActivation.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QWidget>

namespace plimsy {

namespace {

QWidget *windowOf(WindowController *controller)
{
    if (auto *onboarding = dynamic_cast<OnboardingWindowController *>(controller)) {
        return onboarding->window();
    }
    if (auto *welcome = dynamic_cast<WelcomeWindowController *>(controller)) {
        return welcome->window();
    }
    return nullptr;
}

} // namespace

StartupCoordinator &StartupCoordinator::shared()
{
    static auto *s_shared = new StartupCoordinator;
    return *s_shared;
}

StartupCoordinator::StartupCoordinator()
    : StartupCoordinator(Services{})
{
}

StartupCoordinator::StartupCoordinator(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    if (!m_services.defaults) {
        m_services.defaults = &UserDefaults::standard();
    }
    if (!m_services.authService) {
        m_services.authService = &ServiceContainer::shared().authService();
    }
    if (!m_services.alerts) {
        m_services.alerts = &AlertPresenter::system();
    }
    PreferencesServices windows;
    windows.defaults = m_services.defaults;
    windows.alerts = m_services.alerts;
    windows.authService = m_services.authService;
    if (!m_services.makeOnboardingWindow) {
        m_services.makeOnboardingWindow = [windows] { return std::make_unique<OnboardingWindowController>(windows); };
    }
    if (!m_services.makeWelcomeWindow) {
        m_services.makeWelcomeWindow = [windows] { return std::make_unique<WelcomeWindowController>(windows); };
    }
    // Observed once, from the start: a request for the API-key set-up is answered whether or not a
    // welcome window was shown, and once however often one was.
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::showAPIKeySetup, this, [this](const Notification &) { showAPIKeySetup(); });
}

StartupCoordinator::~StartupCoordinator() = default;

QCoro::Task<AppReadiness> StartupCoordinator::checkReadiness()
{
    UserDefaults &defaults = *m_services.defaults;
    const QString completedKey = QLatin1String(CompletedOnboardingKey);
    if (!defaults.boolValue(completedKey)) {
        const bool hasAccounts = !AccountManager::loadAccounts(defaults).isEmpty();
        if (!hasAccounts && !m_services.authService->isAuthenticated()) {
            co_return AppReadiness::NeedsOnboarding;
        }
        defaults.setValue(completedKey, true);
    }
    co_return m_services.authService->isAuthenticated() ? AppReadiness::Ready : AppReadiness::NeedsAuth;
}

void StartupCoordinator::handle(AppReadiness readiness)
{
    switch (readiness) {
    case AppReadiness::NeedsOnboarding:
        showOnboarding();
        return;
    case AppReadiness::NeedsAuth:
        showWelcome();
        return;
    case AppReadiness::Ready:
        if (StatusMenuController *controller = StatusMenuControllerHolder::shared().controller) {
            controller->updateServers();
        }
        return;
    }
}

void StartupCoordinator::showOnboarding()
{
    if (!m_onboardingWindow) {
        m_onboardingWindow = m_services.makeOnboardingWindow();
    }
    m_onboardingWindow->showWindow();
}

void StartupCoordinator::showWelcome()
{
    UserDefaults &defaults = *m_services.defaults;
    const QString seenKey = QLatin1String(SeenWelcomeKey);
    if (!defaults.boolValue(seenKey) || !m_services.authService->isAuthenticated()) {
        m_welcomeWindow = m_services.makeWelcomeWindow();
        m_welcomeWindow->showWindow();
    }
    defaults.setValue(seenKey, true);
}

QWidget *StartupCoordinator::shownFirstRunWindow() const
{
    for (WindowController *controller : {m_onboardingWindow.get(), m_welcomeWindow.get()}) {
        if (QWidget *window = windowOf(controller); window && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

bool StartupCoordinator::bringFirstRunWindowForward()
{
    QWidget *window = shownFirstRunWindow();
    if (!window) {
        return false;
    }
    if (window->isMinimized()) {
        window->showNormal();
    }
    window->raise();
    window->activateWindow();
    return true;
}

void StartupCoordinator::showAPIKeySetup()
{
    if (StatusMenuController *controller = StatusMenuControllerHolder::shared().controller) {
        controller->preferencesWindow().showWindow();
        ApplicationActivation::activate();
    }
}

} // namespace plimsy
