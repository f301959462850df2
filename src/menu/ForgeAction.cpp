#include "menu/ForgeAction.h"

#include "core/ErrorDescription.h"
#include "menu/StatusMenuController.h"

#include <exception>

namespace plimsy {

QCoro::Task<> runForgeAction(QPointer<StatusMenuController> controller, Account account, ForgeAction action)
{
    if (!controller) {
        co_return;
    }
    ForgeAPIController forge(account, controller->forgeServices());
    std::optional<QString> failure;
    try {
        co_await action.send(forge);
    } catch (const std::exception &error) {
        failure = errorDescription(error);
    }
    if (!controller) {
        co_return;
    }
    if (failure) {
        controller->showErrorAlert(account, action.failureTitle, failure);
    } else if (action.successTitle) {
        controller->showInformationalAlert(account, *action.successTitle, action.successDetail);
    }
}

} // namespace plimsy
