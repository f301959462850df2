#pragma once

#include "menu/WindowController.h"
#include "platform/DockVisibilityManager.h"
#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>

namespace plimsy {

enum class OnboardingStep
{
    Welcome,
    ApiKey,
    Notifications,
    Complete,
};

// The first run's window: sign-in, the first Forge account, notifications, each screen built afresh
// when its step is entered. Finishing records "hasCompletedOnboarding", announces the sign-in state,
// starts the status menu's refresh and closes the window, once. The window counts among the open
// windows while shown. It uses the Preferences window's services. GUI thread.
class OnboardingWindowController : public QObject, public WindowController
{
    Q_OBJECT

public:
    static constexpr QSize WindowSize{520, 480};
    static constexpr auto CompletedOnboardingKey = "hasCompletedOnboarding";

    explicit OnboardingWindowController(PreferencesServices services = {}, QObject *parent = nullptr);
    ~OnboardingWindowController() override;

    // Shows the window centred and brings it to the front.
    void showWindow() override;
    void showStep(OnboardingStep step);
    void finishOnboarding();
    // The notifications screen's "Enable Notifications": switches push on, then finishes whatever came of it.
    void enableNotificationsAndFinish();

    OnboardingStep currentStep() const { return m_currentStep; }
    QWidget *window() const { return m_window.get(); }
    // The screen of the current step.
    QWidget *screen() const { return m_screen; }
    bool isTrackedAsOpen() const { return m_tracker.isTrackedAsOpen(); }
    bool isFinished() const { return m_isFinished; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A screen's move to `step`; it does nothing once the controller is gone.
    std::function<void()> goToStep(OnboardingStep step);
    QWidget *makeScreen(OnboardingStep step);
    QCoro::Task<> enableNotifications();

    PreferencesServices m_services;
    std::unique_ptr<QWidget> m_window;
    QPointer<QWidget> m_screen;
    OnboardingStep m_currentStep = OnboardingStep::Welcome;
    WindowVisibilityTracker m_tracker;
    bool m_isFinished = false;

    Q_DISABLE_COPY_MOVE(OnboardingWindowController)
};

} // namespace plimsy
