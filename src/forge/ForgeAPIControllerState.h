#pragma once

#include "forge/ForgeAPIController.h"

#include <functional>
#include <memory>

namespace plimsy {

// The controller's data, kept alive by its running requests; its operations are split over files by concern.
struct ForgeAPIController::State
{
    Account account;
    std::optional<QString> apiKey;
    bool isKeyStoreUnavailable = false;
    QString keyUsername = QStringLiteral("forge");
    QString baseURL;
    HttpSession *session = nullptr;
    ForgeAPIRequestTracker *tracker = nullptr;
    WebhookOperationsActor *webhookOperations = nullptr;
    const Clock *clock = nullptr;
    Sleeper *sleeper = nullptr;
    std::function<QString()> computerName;
    std::shared_ptr<TimeOutBudget> timeOutBudget;
    std::optional<QList<Organization>> cachedOrganizations;

    QString rateLimitKey() const { return account.uuid.value_or(QStringLiteral("default")); }
};

} // namespace plimsy
