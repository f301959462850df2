#include "menu/ForgeAction.h"

#include "core/DecodingError.h"
#include "forge/ForgeAPIError.h"
#include "menu/StatusMenuController.h"
#include "platform/NetworkError.h"

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
    } catch (const ForgeAPIError &error) {
        failure = error.errorDescription();
    } catch (const NetworkError &error) {
        failure = error.userMessage();
    } catch (const DecodingError &error) {
        failure = error.userMessage();
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
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
