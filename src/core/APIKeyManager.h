#pragma once

#include "core/KeychainProtocol.h"

#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

namespace plimsy {

// The Forge API keys of all accounts, account uuid -> key, kept in one secret item ("all_api_keys" of
// service "com.tindrel.plimsy.apikey") as a JSON object. Loaded once and then served from memory; every
// operation takes the same lock, so tasks on any thread may use it.
//
// A read that fails because the store is unavailable or locked leaves the manager unloaded: it then
// refuses to save, so stored keys are never overwritten with a partial map. The next call tries again.
class APIKeyManager
{
public:
    static constexpr const char *Service = "com.tindrel.plimsy.apikey";
    static constexpr const char *ItemAccount = "all_api_keys";

    static APIKeyManager &shared();

    // Starts reading the stored keys on a worker thread; the first load then finds them read.
    static void readAhead();

    explicit APIKeyManager(std::unique_ptr<KeychainProtocol> keychain);
    ~APIKeyManager();

    // Fills the map from the store on the first successful call (merging older per-account and legacy
    // items into "all_api_keys"). False while the store cannot be read.
    bool loadKeysIfNeeded();

    // Writes the map back; an empty map removes the item. False when nothing has been loaded yet or the
    // store refused the write.
    bool saveKeys();

    // What a look-up found. A store that cannot be read (locked, or no Secret Service) is not "no key":
    // the user has to unlock it, not enter the key again.
    enum class KeyStatus
    {
        Found,
        NoKey,
        StoreUnavailable,
    };
    struct Lookup
    {
        KeyStatus status = KeyStatus::NoKey;
        QString key;
    };
    Lookup lookup(const QString &uuid);

    // The account's key, or none (also while the store cannot be read).
    std::optional<QString> apiKey(const QString &uuid);

    // Load, change one entry, save, under one lock. On failure the map and the store keep their old
    // contents and the call returns false.
    bool setAPIKey(const QString &uuid, const QString &key);
    bool removeAPIKey(const QString &uuid);
    // Removes, in one change, every key whose uuid is not in `kept`; the number removed, none when the
    // store could not be read or refused the write (then the map and the store keep their contents).
    // Keys set during this run are never removed here: an add stores its key before its account.
    std::optional<qsizetype> removeKeysExcept(const QSet<QString> &kept);

    // A copy of the loaded map (empty while unloaded).
    QMap<QString, QString> apiKeys();
    bool hasLoadedFromKeychain();

    // The items of the key store's service, where older versions also kept the single key.
    KeychainProtocol &keychain() { return *m_keychain; }

private:
    bool loadLocked();
    bool saveLocked();
    bool changeLocked(const QString &uuid, const std::optional<QString> &key);

    QMutex m_mutex;
    QMap<QString, QString> m_apiKeys;
    QSet<QString> m_setThisRun;
    std::unique_ptr<KeychainProtocol> m_keychain;
    bool m_hasLoadedFromKeychain = false;

    APIKeyManager(const APIKeyManager &) = delete;
    APIKeyManager &operator=(const APIKeyManager &) = delete;
};

} // namespace plimsy
