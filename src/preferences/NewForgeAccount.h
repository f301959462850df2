#pragma once

#include "core/Account.h"
#include "forge/ForgeAPIController.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

class QWidget;

namespace plimsy {

class APIKeyManager;
class AlertPresenter;
class UserDefaults;

// The steps of adding a Forge account that the add sheet and the onboarding share: the key is stored
// first (the Forge client reads it from the key store), checked, and the account kept or its key
// removed again.

// A new account named `name` with a fresh uuid, its key stored under that uuid; none when the key
// store refused the key.
std::optional<Account> storeNewAccountKey(APIKeyManager &keys, const QString &name, const QString &key);

// Lists the account's servers with its stored key; throws what the Forge client throws.
QCoro::Task<> verifyAccountKey(Account account, ForgeAPIController::Services forge);

// Appends the account to the stored list and posts "accountsChanged".
void appendAccount(const Account &account, UserDefaults &defaults);

// Removes the key of an account that was not kept.
void removeAccountKey(APIKeyManager &keys, const Account &account);

// Says that the key store refused the key, window-modal over `window`.
void showKeyNotStored(AlertPresenter &alerts, QWidget *window);

} // namespace plimsy
