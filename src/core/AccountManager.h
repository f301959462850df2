#pragma once

#include "core/Account.h"
#include "platform/UserDefaults.h"

#include <QList>
#include <QString>

#include <optional>

namespace plimsy {

class APIKeyManager;
class KeychainProtocol;

// The ordered account list, stored as a JSON array under the user default "plimsyAccounts".
class AccountManager
{
public:
    static constexpr const char *AccountsKey = "plimsyAccounts";
    static constexpr const char *MigratedKey = "migratedKeysToMultiAccount";
    static constexpr const char *LegacyKeyAccount = "apikey";

    // The stored accounts in display order; empty when nothing (readable) is stored. Unreadable data is
    // logged and left in place.
    static QList<Account> loadAccounts(UserDefaults &defaults = UserDefaults::standard());
    // The same, but none when something is stored that cannot be read: an unreadable list is not "no
    // accounts" to what removes what belongs to no account.
    static std::optional<QList<Account>> readAccounts(UserDefaults &defaults);
    // The stored list's JSON text as accounts; unparsable text is logged and reads as none.
    static QList<Account> decodeAccounts(const QByteArray &stored);
    static void saveAccounts(const QList<Account> &accounts, UserDefaults &defaults = UserDefaults::standard());

    // The first stored account with this uuid, read afresh, so a caller changes the latest copy.
    static std::optional<Account> findAccount(const QString &uuid, UserDefaults &defaults = UserDefaults::standard());
    // Puts the account in the place of the stored one with the same uuid and saves the list; stores
    // nothing when no stored account has that uuid.
    static void updateAccount(const Account &account, UserDefaults &defaults = UserDefaults::standard());

    // Moves one account when both indices are valid and differ; otherwise changes and saves nothing.
    static void moveAccount(qsizetype from, qsizetype to, UserDefaults &defaults = UserDefaults::standard());

    // The single API key of the oldest versions, when it still has to become an account; none when the
    // migration is done or there is nothing to migrate. A store that cannot be read answers none without
    // marking the migration done, so the next start tries again.
    static std::optional<QString> migrateToMultiAccountIfNeeded(KeychainProtocol &keychain,
                                                                UserDefaults &defaults = UserDefaults::standard());

    // Turns the key into an account "Main" (or finds the account an interrupted earlier run made), then
    // removes the old item and marks the migration done. False, with the old item kept, when the key
    // could not be stored.
    static bool migrateLegacyAPIKey(const QString &key,
                                    KeychainProtocol &keychain,
                                    APIKeyManager &keys,
                                    UserDefaults &defaults = UserDefaults::standard());

    AccountManager() = delete;
};

} // namespace plimsy
