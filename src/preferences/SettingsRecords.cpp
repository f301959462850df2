#include "preferences/SettingsRecords.h"

#include "core/AccountManager.h"

namespace plimsy {

FindAccount storedAccountLookup(UserDefaults &defaults)
{
    return [&defaults](const QString &uuid) { return AccountManager::findAccount(uuid, defaults); };
}

UpdateAccount storedAccountUpdate(UserDefaults &defaults)
{
    return [&defaults](const Account &account) { AccountManager::updateAccount(account, defaults); };
}

} // namespace plimsy
