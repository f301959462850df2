#include "preferences/NewForgeAccount.h"

#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/Logger.h"
#include "core/NotificationNames.h"
#include "platform/AlertPresenter.h"
#include "platform/NotificationCenter.h"

#include <QUuid>

namespace plimsy {

std::optional<Account> storeNewAccountKey(APIKeyManager &keys, const QString &name, const QString &key)
{
    Account account;
    account.name = name;
    account.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    if (!keys.setAPIKey(*account.uuid, key)) {
        log(QStringLiteral("[ForgeAccounts] The keyring did not store the key of a new account"));
        return std::nullopt;
    }
    return account;
}

QCoro::Task<> verifyAccountKey(Account account, ForgeAPIController::Services forge)
{
    ForgeAPIController controller(account, forge);
    co_await controller.fetchAllServers();
}

void appendAccount(const Account &account, UserDefaults &defaults)
{
    QList<Account> accounts = AccountManager::loadAccounts(defaults);
    accounts.append(account);
    AccountManager::saveAccounts(accounts, defaults);
    NotificationCenter::defaultCenter().post(NotificationNames::accountsChanged);
}

void removeAccountKey(APIKeyManager &keys, const Account &account)
{
    if (!keys.removeAPIKey(account.uuid.value_or(QString()))) {
        log(QStringLiteral("[ForgeAccounts] The key of an account that was not added could not be removed"));
    }
}

void showKeyNotStored(AlertPresenter &alerts, QWidget *window)
{
    alerts.show({QStringLiteral("Could Not Save the API Key"),
                 QStringLiteral("The keyring did not accept the key, so the account was not added. Make sure the "
                                "keyring is unlocked, then try again."),
                 Alert::Style::Warning,
                 {},
                 window});
}

} // namespace plimsy
