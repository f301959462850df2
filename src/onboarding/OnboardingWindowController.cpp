#include "onboarding/OnboardingWindowController.h"

#include "core/ErrorDescription.h"
#include "core/Logger.h"
#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "menu/StatusMenuController.h"
#include "notifications/PushNotificationManager.h"
#include "onboarding/OnboardingAPIKeyView.h"
#include "onboarding/OnboardingNotificationsView.h"
#include "onboarding/OnboardingWelcomeView.h"
#include "onboarding/OnboardingWidgets.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QEvent>
#include <QVBoxLayout>

#include <optional>

namespace plimsy {

namespace {

QString titleOf(OnboardingStep step)
{
    switch (step) {
    case OnboardingStep::ApiKey:
        return QStringLiteral("Add Your Forge API Key");
    case OnboardingStep::Notifications:
        return QStringLiteral("Stay Informed");
    case OnboardingStep::Welcome:
    case OnboardingStep::Complete:
        break;
    }
    return QStringLiteral("Welcome to Plimsy");
}

} // namespace

OnboardingWindowController::OnboardingWindowController(PreferencesServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_window(makeFixedWindow(QStringLiteral("onboardingWindow"), titleOf(OnboardingStep::Welcome), WindowSize))
{
    auto *layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_window->installEventFilter(this);
    showStep(OnboardingStep::Welcome);
}

OnboardingWindowController::~OnboardingWindowController()
{
    m_window->removeEventFilter(this);
    m_tracker.windowClosed();
}

void OnboardingWindowController::showWindow()
{
    m_tracker.windowShown();
    m_window->show();
    centreOnScreen(m_window.get());
    m_window->raise();
    m_window->activateWindow();
}

void OnboardingWindowController::showStep(OnboardingStep step)
{
    // A key check that outlives its screen may still move on; a finished walk stays closed.
    if (m_isFinished) {
        return;
    }
    m_currentStep = step;
    if (step == OnboardingStep::Complete) {
        finishOnboarding();
        return;
    }
    if (m_screen) {
        // Replaced from inside the old screen's own handlers: it goes once they have returned.
        m_screen->hide();
        m_screen->setParent(nullptr);
        m_screen->deleteLater();
    }
    m_screen = makeScreen(step);
    m_window->setWindowTitle(titleOf(step));
    m_window->layout()->addWidget(m_screen);
    m_screen->show();
    focusFirstField(m_screen);
}

QWidget *OnboardingWindowController::makeScreen(OnboardingStep step)
{
    switch (step) {
    case OnboardingStep::ApiKey:
        return new OnboardingAPIKeyView({goToStep(OnboardingStep::Notifications),
                                         goToStep(OnboardingStep::Notifications),
                                         goToStep(OnboardingStep::Welcome)},
                                        m_services);
    case OnboardingStep::Notifications: {
        QPointer self(this);
        const auto enable = [self] {
            if (self) {
                self->enableNotificationsAndFinish();
            }
        };
        return new OnboardingNotificationsView(
            {enable, goToStep(OnboardingStep::Complete), goToStep(OnboardingStep::ApiKey)}, m_services);
    }
    case OnboardingStep::Welcome:
    case OnboardingStep::Complete:
        break;
    }
    return new OnboardingWelcomeView(goToStep(OnboardingStep::ApiKey), m_services);
}

std::function<void()> OnboardingWindowController::goToStep(OnboardingStep step)
{
    return [self = QPointer(this), step] {
        if (self) {
            self->showStep(step);
        }
    };
}

void OnboardingWindowController::finishOnboarding()
{
    if (std::exchange(m_isFinished, true)) {
        return;
    }
    m_services.userDefaults().setValue(QLatin1String(CompletedOnboardingKey), true);
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    if (StatusMenuController *controller = StatusMenuControllerHolder::shared().controller) {
        controller->updateServers();
    }
    m_window->close();
}

void OnboardingWindowController::enableNotificationsAndFinish()
{
    runDetached(enableNotifications());
}

QCoro::Task<> OnboardingWindowController::enableNotifications()
{
    QPointer self(this);
    std::optional<QString> failure;
    try {
        co_await m_services.push().enableNotifications();
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    // Finished meanwhile (its window closed): neither a second finish nor an alert over nothing.
    if (!self || m_isFinished) {
        co_return;
    }
    if (failure) {
        log(QStringLiteral("[Onboarding] Enabling notifications failed: ") + *failure);
        const Alert alert{QStringLiteral("Could not enable notifications"),
                          *failure,
                          Alert::Style::Warning,
                          {QStringLiteral("Continue Anyway")},
                          m_window.get()};
        co_await m_services.alertPresenter().ask(alert);
        if (!self) {
            co_return;
        }
    }
    finishOnboarding();
}

bool OnboardingWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close) {
        m_tracker.windowClosed();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace plimsy
