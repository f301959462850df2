#pragma once

#include "menu/WindowController.h"

#include <QCoro/QCoroTask>
#include <QObject>

#include <memory>

class QWidget;

namespace plimsy {

class AlertPresenter;
class AuthService;
class UserDefaults;

enum class AppReadiness
{
    // Signed in: the status menu may load.
    Ready,
    // Onboarding never finished, no Forge account and nobody signed in.
    NeedsOnboarding,
    // Nobody is signed in to the account backend.
    NeedsAuth,
};

// Decides at launch, from local state only, whether the onboarding window, the welcome window or the
// status menu's first refresh comes first, and answers every "showAPIKeySetup" with the Preferences
// window. GUI thread.
class StartupCoordinator : public QObject
{
    Q_OBJECT

public:
    static constexpr auto CompletedOnboardingKey = "hasCompletedOnboarding";
    static constexpr auto SeenWelcomeKey = "hasSeenWelcome";

    // Empty members take the process-wide services; the windows default to the onboarding and welcome
    // windows over the same defaults, sign-in state and alerts.
    struct Services
    {
        UserDefaults *defaults = nullptr;
        AuthService *authService = nullptr;
        AlertPresenter *alerts = nullptr;
        WindowFactory makeOnboardingWindow;
        WindowFactory makeWelcomeWindow;
    };

    static StartupCoordinator &shared();

    StartupCoordinator();
    explicit StartupCoordinator(Services services, QObject *parent = nullptr);
    ~StartupCoordinator() override;

    // Reads only local state and never leaves the GUI thread; a user with an account or a sign-in is
    // marked as past the onboarding.
    QCoro::Task<AppReadiness> checkReadiness();
    void handle(AppReadiness readiness);

    // The onboarding window is made once and brought forward after that; the welcome window is made anew.
    void showOnboarding();
    void showWelcome();
    // The status menu's Preferences window, brought to the front.
    void showAPIKeySetup();

    // The onboarding or welcome window while it is on screen; none otherwise.
    QWidget *shownFirstRunWindow() const;
    // Brings that window to the front with the focus; false when none is on screen.
    bool bringFirstRunWindowForward();

    WindowController *onboardingWindow() const { return m_onboardingWindow.get(); }
    WindowController *welcomeWindow() const { return m_welcomeWindow.get(); }

private:
    Services m_services;
    std::unique_ptr<WindowController> m_welcomeWindow;
    std::unique_ptr<WindowController> m_onboardingWindow;

    Q_DISABLE_COPY_MOVE(StartupCoordinator)
};

} // namespace plimsy
