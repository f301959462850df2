#pragma once

#include "notifications/TollixAPIController.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace plimsy {

class HttpSession;
class KeychainProtocol;
class UserDefaults;

// Where the legacy push relay's data is kept, and the registration of a new device token with the relay
// for users who still hold a relay key.
struct Tollix
{
    static constexpr char deviceKey[] = "DeviceToken";
    static constexpr char APIKeyKey[] = "PlimsyTollixAPIKey";
    static constexpr char deviceUUIDKey[] = "DeviceUUID_";
    static constexpr char keychainDomain[] = "com.tindrel.plimsy.tollixapikey";

    // Every member left empty takes the process-wide default.
    struct Services
    {
        // The relay key's service; the default is the keyring service `keychainDomain`.
        KeychainProtocol *keychain = nullptr;
        UserDefaults *defaults = nullptr;
        HttpSession *session = nullptr;
        std::optional<QString> baseURL;
    };

    // Registers the token with the relay when a relay key is stored (a key left in the legacy store is
    // moved first). None when nothing was sent: no key, or no request address.
    static QCoro::Task<std::optional<TollixAnswer>> registerDeviceIfKeyPresent(QString token, Services services);
    static QCoro::Task<std::optional<TollixAnswer>> registerDeviceIfKeyPresent(QString token);

    // The relay's name for this device: stored once, then always the stored text.
    static QString deviceIdentifier(UserDefaults &defaults);
};

} // namespace plimsy
