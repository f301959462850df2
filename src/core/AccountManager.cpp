#include "core/AccountManager.h"

#include "core/APIKeyManager.h"
#include "core/KeychainProtocol.h"
#include "core/Logger.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>

#include <algorithm>

namespace plimsy {

namespace {

using Kind = KeychainProtocol::Kind;
using Status = KeychainProtocol::Status;

const QString LogCategory = QStringLiteral("AccountManager");

QList<Account> accountsIn(const QJsonArray &array)
{
    QList<Account> accounts;
    for (const QJsonValue &element : array) {
        if (element.isObject()) {
            accounts.append(Account::fromJson(element.toObject()));
        }
    }
    return accounts;
}

// None unless the text is a JSON array; text that is no JSON at all is logged.
std::optional<QList<Account>> parsedAccounts(const QByteArray &stored)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(stored, &error);
    if (error.error != QJsonParseError::NoError) {
        Logger::shared().log(QStringLiteral("Failed to unarchive accounts: ") + error.errorString(), LogCategory);
        return std::nullopt;
    }
    if (!document.isArray()) {
        return std::nullopt;
    }
    return accountsIn(document.array());
}

} // namespace

QList<Account> AccountManager::loadAccounts(UserDefaults &defaults)
{
    return readAccounts(defaults).value_or(QList<Account>());
}

QList<Account> AccountManager::decodeAccounts(const QByteArray &stored)
{
    return parsedAccounts(stored).value_or(QList<Account>());
}

std::optional<QList<Account>> AccountManager::readAccounts(UserDefaults &defaults)
{
    const QVariant stored = defaults.object(QLatin1String(AccountsKey));
    if (!stored.isValid()) {
        return QList<Account>();
    }
    return parsedAccounts(stored.toString().toUtf8());
}

void AccountManager::saveAccounts(const QList<Account> &accounts, UserDefaults &defaults)
{
    QJsonArray array;
    for (const Account &account : accounts) {
        array.append(account.toJson());
    }
    defaults.setJson(QLatin1String(AccountsKey), array);
}

std::optional<Account> AccountManager::findAccount(const QString &uuid, UserDefaults &defaults)
{
    const QList<Account> accounts = loadAccounts(defaults);
    const auto found = std::find_if(
        accounts.cbegin(), accounts.cend(), [&uuid](const Account &account) { return account.uuid == uuid; });
    return found == accounts.cend() ? std::nullopt : std::optional<Account>(*found);
}

void AccountManager::updateAccount(const Account &account, UserDefaults &defaults)
{
    QList<Account> accounts = loadAccounts(defaults);
    const auto found = std::find_if(
        accounts.begin(), accounts.end(), [&account](const Account &stored) { return stored.isSameAccount(account); });
    if (found == accounts.end()) {
        return;
    }
    *found = account;
    saveAccounts(accounts, defaults);
}

void AccountManager::moveAccount(qsizetype from, qsizetype to, UserDefaults &defaults)
{
    QList<Account> accounts = loadAccounts(defaults);
    const qsizetype count = accounts.size();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count) {
        return;
    }
    accounts.move(from, to);
    saveAccounts(accounts, defaults);
}

std::optional<QString> AccountManager::migrateToMultiAccountIfNeeded(KeychainProtocol &keychain, UserDefaults &defaults)
{
    if (defaults.boolValue(QLatin1String(MigratedKey))) {
        return std::nullopt;
    }
    const QString item = QLatin1String(LegacyKeyAccount);
    const SecretStore::Lookup current = keychain.lookup(item, Kind::Default);
    if (current.status == Status::Ok) {
        return current.value;
    }
    const SecretStore::Lookup legacy =
        current.status == Status::NotFound ? keychain.lookup(item, Kind::Legacy) : current;
    if (legacy.status == Status::Unavailable) {
        return std::nullopt;
    }
    if (legacy.status == Status::NotFound) {
        defaults.setValue(QLatin1String(MigratedKey), true);
        return std::nullopt;
    }
    if (keychain.store(legacy.value, item) == Status::Ok) {
        keychain.remove(item, Kind::Legacy);
    }
    return legacy.value;
}

bool AccountManager::migrateLegacyAPIKey(const QString &key,
                                         KeychainProtocol &keychain,
                                         APIKeyManager &keys,
                                         UserDefaults &defaults)
{
    if (!keys.loadKeysIfNeeded()) {
        return false;
    }
    QList<Account> accounts = loadAccounts(defaults);
    const QMap<QString, QString> stored = keys.apiKeys();
    // A run interrupted after saving the account must not add a second "Main" when it runs again.
    const bool alreadyMigrated = std::any_of(accounts.cbegin(), accounts.cend(), [&](const Account &account) {
        return account.uuid && stored.contains(*account.uuid) && stored.value(*account.uuid) == key;
    });
    if (!alreadyMigrated) {
        Account account;
        account.name = QStringLiteral("Main");
        account.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        if (!keys.setAPIKey(*account.uuid, key)) {
            return false;
        }
        accounts.append(account);
        saveAccounts(accounts, defaults);
    }
    const QString item = QLatin1String(LegacyKeyAccount);
    keychain.remove(item, Kind::Default);
    keychain.remove(item, Kind::Legacy);
    defaults.setValue(QLatin1String(MigratedKey), true);
    return true;
}

} // namespace plimsy
