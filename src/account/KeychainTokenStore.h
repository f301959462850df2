#pragma once

#include "account/TokenStore.h"
#include "core/KeychainProtocol.h"

#include <QString>

#include <memory>
#include <optional>

namespace plimsy {

// The access token and device id as one JSON item ("auth_data") of the secret store. The item is read
// once, on first use; later changes by other processes are not seen until the next launch. A read that
// fails (a locked or unreachable store) is tried again at the next use, one look at the store each time;
// until one succeeds nothing is written over the stored item. GUI thread only.
class KeychainTokenStore final : public TokenStore
{
public:
    static constexpr auto Service = "com.tindrel.plimsy.auth";
    static constexpr auto Account = "auth_data";

    // The store's items under Service.
    KeychainTokenStore();
    explicit KeychainTokenStore(std::unique_ptr<KeychainProtocol> keychain);

    // Starts reading the stored item on a worker thread; the first store made then finds it read.
    static void readAhead();

    std::optional<QString> accessToken() override;
    bool setAccessToken(std::optional<QString> token) override;
    std::optional<QString> deviceId() override;
    bool setDeviceId(std::optional<QString> deviceId) override;
    bool clear() override;
    bool isUnavailable() const override { return m_isUnavailable; }

private:
    struct AuthData
    {
        std::optional<QString> accessToken;
        std::optional<QString> deviceId;
    };

    enum class Read
    {
        Found,
        Absent,
        Failed,
    };

    bool write(std::optional<QString> AuthData::*field, std::optional<QString> value);
    void loadIfNeeded();
    Read readItem(KeychainProtocol::Kind kind, QString &text) const;
    bool moveLegacyItem(const QString &text);
    bool save();

    std::unique_ptr<KeychainProtocol> m_keychain;
    std::optional<AuthData> m_cache;
    bool m_hasLoadedFromKeychain = false;
    bool m_canWrite = false;      // false until the stored item was read (or found absent) or cleared
    bool m_isUnavailable = false; // the last read failed
    bool m_reportedUnavailable = false;

    KeychainTokenStore(const KeychainTokenStore &) = delete;
    KeychainTokenStore &operator=(const KeychainTokenStore &) = delete;
};

} // namespace plimsy
