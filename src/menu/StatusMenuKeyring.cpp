// A locked or unreachable secret store on the refresh road: what the user sees, and the one refresh
// once the store is unlocked.
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/Logger.h"
#include "forge/ForgeAPIError.h"
#include "menu/StatusMenuController.h"
#include "platform/SecretStoreMonitor.h"

namespace plimsy {

void StatusMenuController::reportKeyringUnavailable()
{
    m_isWaitingForKeyring = true;
    reportError(ForgeAPIError(ForgeAPIError::Case::KeychainUnavailable).errorDescription(), std::nullopt);
    // Retried like a lost connection; the retry reads the store without asking the user to unlock it.
    scheduleRetry();
}

void StatusMenuController::watchSecretStore()
{
    m_secretStoreMonitor = std::make_unique<SecretStoreMonitor>();
    connect(m_secretStoreMonitor.get(),
            &SecretStoreMonitor::unlocked,
            this,
            &StatusMenuController::handleSecretStoreUnlocked);
}

void StatusMenuController::handleSecretStoreUnlocked()
{
    if (!m_isWaitingForKeyring) {
        return;
    }
    m_isWaitingForKeyring = false;
    log(QStringLiteral("[StatusMenu] The keyring was unlocked; refreshing"));
    updateServers();
}

void StatusMenuController::dropKeysWithoutAccount()
{
    if (!m_defaults->boolValue(QLatin1String(AccountManager::MigratedKey))) {
        return;
    }
    const std::optional<QList<Account>> accounts = AccountManager::readAccounts(*m_defaults);
    if (!accounts) {
        return;
    }
    QSet<QString> kept;
    for (const Account &account : *accounts) {
        if (account.uuid) {
            kept.insert(*account.uuid);
        }
    }
    APIKeyManager &keys = m_services.forge.apiKeys ? *m_services.forge.apiKeys : APIKeyManager::shared();
    if (const std::optional<qsizetype> removed = keys.removeKeysExcept(kept); removed && *removed > 0) {
        log(QStringLiteral("[StatusMenu] Removed %1 Forge API key(s) of accounts that do not exist").arg(*removed));
    }
}

} // namespace plimsy
