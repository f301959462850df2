#pragma once

#include "core/Account.h"
#include "forge/ForgeAPIController.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

namespace plimsy {

class StatusMenuController;

// One write to Forge started from a menu action: what to send, and what the user sees afterwards.
struct ForgeAction
{
    // Sends the request through the controller made for the action's account.
    std::function<QCoro::Task<>(ForgeAPIController &forge)> send;
    QString failureTitle;
    // Shown as an informational alert when set; most actions stay quiet on success.
    std::optional<QString> successTitle;
    std::optional<QString> successDetail;
};

// Sends the action for the account and shows its failure (with the error's own text) or its success in
// the controller's alert. Quiet once the controller is gone. Hand it to runDetached.
QCoro::Task<> runForgeAction(QPointer<StatusMenuController> controller, Account account, ForgeAction action);

} // namespace plimsy
