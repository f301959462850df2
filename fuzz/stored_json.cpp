// A stored defaults value read as each record list the application keeps as JSON text: the accounts,
// custom servers, favourite sites, webhook registrations and the Action Bar's recents.
#include "FuzzTarget.h"
#include "actionbar/RecentCommandsManager.h"
#include "core/AccountManager.h"
#include "core/Logger.h"
#include "menu/CustomServer.h"
#include "menu/FavoriteSite.h"
#include "notifications/WebhookRegistration.h"
#include "platform/JsonFields.h"
#include "platform/UserDefaults.h"

using namespace plimsy;

void fuzzOne(const QByteArray &input)
{
    AccountManager::decodeAccounts(input);
    // The line about unreadable accounts is freed on the logger's thread: let it go before the input
    // ends, or every input would look like a leak to libFuzzer's per-input check.
    Logger::shared().flush();
    const QJsonValue stored = UserDefaults::parseJson(input);
    JsonFields::decodeEach<CustomServer>(stored, &CustomServer::fromJson);
    JsonFields::decodeEach<FavoriteSite>(stored, &FavoriteSite::fromJson);
    JsonFields::decodeEach<WebhookRegistration>(stored, &WebhookRegistration::fromJson);
    JsonFields::decodeEach<RecentCommand>(stored, &RecentCommand::fromJson);
    JsonFields::decodeEach<RecentEntity>(stored, &RecentEntity::fromJson);
}
