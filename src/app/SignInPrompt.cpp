#include "app/SignInPrompt.h"

#include "menu/StatusMenuController.h"

#include <utility>

namespace plimsy {

SignInPrompt::SignInPrompt(AlertPresenter &alerts, QObject *parent)
    : QObject(parent)
    , m_alerts(alerts)
{
    connect(&m_alerts, &AlertPresenter::answered, this, &SignInPrompt::handleAnswered);
}

SignInPrompt::~SignInPrompt()
{
    if (const auto open = std::exchange(m_alert, std::nullopt)) {
        m_alerts.close(*open);
    }
}

void SignInPrompt::showWindow()
{
    if (m_alert && m_alerts.isShowing(*m_alert)) {
        return;
    }
    m_alert = m_alerts.show({QStringLiteral("Sign in to Plimsy"),
                             QStringLiteral("Sign in to your Plimsy account to see your Forge servers and sites "
                                            "in the menu."),
                             Alert::Style::Informational,
                             {QStringLiteral("Sign In…"), QStringLiteral("Not Now")}});
}

void SignInPrompt::handleAnswered(AlertPresenter::AlertId id, int button)
{
    if (!m_alert || id != *m_alert) {
        return;
    }
    m_alert.reset();
    if (button != 0) {
        return;
    }
    if (StatusMenuController *controller = StatusMenuControllerHolder::shared().controller) {
        controller->signIn(nullptr);
    }
}

} // namespace plimsy
