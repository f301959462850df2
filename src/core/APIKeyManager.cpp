#include "core/APIKeyManager.h"

#include "core/SimpleKeychain.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace plimsy {

namespace {

using Kind = KeychainProtocol::Kind;
using Status = KeychainProtocol::Status;

// The single key of the oldest versions; the account migration owns it, so the merge leaves it alone.
const QString LegacySingleKeyAccount = QStringLiteral("apikey");

std::optional<QMap<QString, QString>> decodeKeys(const QString &text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    QMap<QString, QString> keys;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString()) {
            return std::nullopt;
        }
        keys.insert(it.key(), it.value().toString());
    }
    return keys;
}

QString encodeKeys(const QMap<QString, QString> &keys)
{
    QJsonObject object;
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        object.insert(it.key(), it.value());
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// Reads an item from the default store, else from the legacy one, moving a legacy value over. The
// legacy copy is removed only once the default store holds it.
SecretStore::Lookup readMovingLegacy(KeychainProtocol &keychain, const QString &account)
{
    const SecretStore::Lookup current = keychain.lookup(account, Kind::Default);
    if (current.status != Status::NotFound) {
        return current;
    }
    const SecretStore::Lookup legacy = keychain.lookup(account, Kind::Legacy);
    if (legacy.status == Status::Ok && keychain.store(legacy.value, account) == Status::Ok) {
        keychain.remove(account, Kind::Legacy);
    }
    return legacy;
}

} // namespace

void APIKeyManager::readAhead()
{
    SecretStore::readAhead(QString::fromLatin1(Service), QString::fromLatin1(ItemAccount));
}

APIKeyManager &APIKeyManager::shared()
{
    static APIKeyManager *s_shared = new APIKeyManager(std::make_unique<SimpleKeychain>(QString::fromLatin1(Service)));
    return *s_shared;
}

APIKeyManager::APIKeyManager(std::unique_ptr<KeychainProtocol> keychain)
    : m_keychain(std::move(keychain))
{
}

APIKeyManager::~APIKeyManager() = default;

bool APIKeyManager::loadKeysIfNeeded()
{
    QMutexLocker lock(&m_mutex);
    return loadLocked();
}

bool APIKeyManager::saveKeys()
{
    QMutexLocker lock(&m_mutex);
    return saveLocked();
}

APIKeyManager::Lookup APIKeyManager::lookup(const QString &uuid)
{
    QMutexLocker lock(&m_mutex);
    if (!loadLocked()) {
        return {KeyStatus::StoreUnavailable, {}};
    }
    const auto found = m_apiKeys.constFind(uuid);
    return found == m_apiKeys.constEnd() ? Lookup{KeyStatus::NoKey, {}} : Lookup{KeyStatus::Found, *found};
}

std::optional<QString> APIKeyManager::apiKey(const QString &uuid)
{
    const Lookup found = lookup(uuid);
    return found.status == KeyStatus::Found ? std::optional<QString>(found.key) : std::nullopt;
}

bool APIKeyManager::setAPIKey(const QString &uuid, const QString &key)
{
    QMutexLocker lock(&m_mutex);
    m_setThisRun.insert(uuid);
    return changeLocked(uuid, key);
}

bool APIKeyManager::removeAPIKey(const QString &uuid)
{
    QMutexLocker lock(&m_mutex);
    return changeLocked(uuid, std::nullopt);
}

std::optional<qsizetype> APIKeyManager::removeKeysExcept(const QSet<QString> &kept)
{
    QMutexLocker lock(&m_mutex);
    if (!loadLocked()) {
        return std::nullopt;
    }
    const QMap<QString, QString> before = m_apiKeys;
    m_apiKeys.removeIf(
        [&](const auto &entry) { return !kept.contains(entry.key()) && !m_setThisRun.contains(entry.key()); });
    const qsizetype removed = before.size() - m_apiKeys.size();
    if (removed > 0 && !saveLocked()) {
        m_apiKeys = before;
        return std::nullopt;
    }
    return removed;
}

QMap<QString, QString> APIKeyManager::apiKeys()
{
    QMutexLocker lock(&m_mutex);
    return m_apiKeys;
}

bool APIKeyManager::hasLoadedFromKeychain()
{
    QMutexLocker lock(&m_mutex);
    return m_hasLoadedFromKeychain;
}

bool APIKeyManager::loadLocked()
{
    if (m_hasLoadedFromKeychain) {
        return true;
    }
    const QString item = QString::fromLatin1(ItemAccount);
    const SecretStore::Lookup stored = readMovingLegacy(*m_keychain, item);
    if (stored.status == Status::Unavailable) {
        return false;
    }
    if (stored.status == Status::Ok) {
        if (const auto keys = decodeKeys(stored.value)) {
            m_apiKeys = *keys;
            m_hasLoadedFromKeychain = true;
            return true;
        }
        // An unreadable item falls through to the per-account merge, which may replace it.
    }

    // Older versions kept one item per account uuid, in either store.
    const SecretStore::Listing current = m_keychain->listAccounts(Kind::Default);
    const SecretStore::Listing legacy = m_keychain->listAccounts(Kind::Legacy);
    if (current.status != Status::Ok || legacy.status != Status::Ok) {
        return false;
    }
    QSet<QString> names(current.accounts.begin(), current.accounts.end());
    names.unite(QSet<QString>(legacy.accounts.begin(), legacy.accounts.end()));
    names.remove(item);
    names.remove(LegacySingleKeyAccount);
    if (names.isEmpty()) {
        m_hasLoadedFromKeychain = true;
        return true;
    }

    QMap<QString, QString> merged = m_apiKeys;
    for (const QString &name : std::as_const(names)) {
        const SecretStore::Lookup found = readMovingLegacy(*m_keychain, name);
        if (found.status == Status::Unavailable) {
            return false;
        }
        if (found.status == Status::Ok) {
            merged.insert(name, found.value);
        }
    }
    const QMap<QString, QString> before = m_apiKeys;
    m_apiKeys = merged;
    m_hasLoadedFromKeychain = true;
    if (!saveLocked()) {
        // The per-account items stay until the merged map is stored; try again on the next load.
        m_apiKeys = before;
        m_hasLoadedFromKeychain = false;
        return false;
    }
    for (const QString &name : std::as_const(names)) {
        m_keychain->remove(name, Kind::Default);
        m_keychain->remove(name, Kind::Legacy);
    }
    return true;
}

bool APIKeyManager::saveLocked()
{
    if (!m_hasLoadedFromKeychain) {
        return false;
    }
    const QString item = QString::fromLatin1(ItemAccount);
    if (m_apiKeys.isEmpty()) {
        const Status current = m_keychain->remove(item, Kind::Default);
        const Status legacy = m_keychain->remove(item, Kind::Legacy);
        return current == Status::Ok && legacy == Status::Ok;
    }
    return m_keychain->store(encodeKeys(m_apiKeys), item) == Status::Ok;
}

bool APIKeyManager::changeLocked(const QString &uuid, const std::optional<QString> &key)
{
    if (!loadLocked()) {
        return false;
    }
    const QMap<QString, QString> before = m_apiKeys;
    if (key) {
        m_apiKeys.insert(uuid, *key);
    } else {
        m_apiKeys.remove(uuid);
    }
    if (!saveLocked()) {
        m_apiKeys = before;
        return false;
    }
    return true;
}

} // namespace plimsy
