#pragma once

#include "menu/WindowController.h"
#include "platform/AlertPresenter.h"

#include <QObject>

#include <optional>

namespace plimsy {

// Stands in for the onboarding and welcome windows until they exist: one question, "Sign in to Plimsy",
// whose "Sign In…" runs the status menu's sign-in. Shown at most once at a time.
class SignInPrompt final : public QObject, public WindowController
{
    Q_OBJECT

public:
    explicit SignInPrompt(AlertPresenter &alerts, QObject *parent = nullptr);
    ~SignInPrompt() override;

    void showWindow() override;

private:
    void handleAnswered(AlertPresenter::AlertId id, int button);

    AlertPresenter &m_alerts;
    std::optional<AlertPresenter::AlertId> m_alert;

    Q_DISABLE_COPY_MOVE(SignInPrompt)
};

} // namespace plimsy
