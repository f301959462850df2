#include "notifications/Tollix.h"

#include "core/SimpleKeychain.h"
#include "core/URLConstants.h"
#include "platform/DeviceIdentity.h"
#include "platform/HttpSession.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"

namespace plimsy {

namespace {

// The relay key, moved out of the legacy store when it is only there. The legacy item goes only once
// the copy reads back, so a failed write never loses the key.
std::optional<QString> relayKey(KeychainProtocol &keychain)
{
    const QString account = QString::fromLatin1(Tollix::APIKeyKey);
    if (auto key = keychain.get(account)) {
        return key;
    }
    const std::optional<QString> legacy = keychain.getLegacy(account);
    if (!legacy) {
        return std::nullopt;
    }
    if (keychain.set(*legacy, account) && keychain.get(account) == legacy) {
        keychain.deleteLegacy(account);
    }
    return legacy;
}

} // namespace

QString Tollix::deviceIdentifier(UserDefaults &defaults)
{
    const QString key = QString::fromLatin1(deviceUUIDKey);
    if (const QString stored = defaults.string(key); !stored.isEmpty()) {
        return stored;
    }
    const QString identifier = SystemInfo::loginName() + DeviceIdentity::system().serialNumber().toLower();
    defaults.setValue(key, identifier);
    return identifier;
}

QCoro::Task<std::optional<TollixAnswer>> Tollix::registerDeviceIfKeyPresent(QString token)
{
    return registerDeviceIfKeyPresent(std::move(token), Services{});
}

QCoro::Task<std::optional<TollixAnswer>> Tollix::registerDeviceIfKeyPresent(QString token, Services services)
{
    SimpleKeychain ownKeychain{QString::fromLatin1(keychainDomain)};
    KeychainProtocol &keychain = services.keychain ? *services.keychain : ownKeychain;
    const std::optional<QString> key = relayKey(keychain);
    if (!key) {
        co_return std::nullopt;
    }
    UserDefaults &defaults = services.defaults ? *services.defaults : UserDefaults::standard();
    defaults.setValue(QString::fromLatin1(deviceKey), token);
    const TollixAPIController controller(services.baseURL.value_or(URLConstants::relayBase()),
                                         *key,
                                         services.session ? *services.session : HttpSession::shared(),
                                         defaults);
    QCoro::Task<std::optional<TollixAnswer>> registering =
        controller.registerDevice(deviceIdentifier(defaults), token, SystemInfo::computerName());
    co_return co_await std::move(registering);
}

} // namespace plimsy
