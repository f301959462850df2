#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace plimsy {

class AlertPresenter;
class AuthService;
class KeychainProtocol;
class PushNotificationManager;
class UserDefaults;

// The one-time offer to users of the legacy push relay to move to the built-in push notifications.
// GUI thread.
class PushRelayMigration
{
public:
    static constexpr auto KeychainService = "com.tindrel.plimsy.tollixapikey";
    static constexpr auto KeyAccount = "PlimsyTollixAPIKey";
    static constexpr auto PromptedKey = "com.tindrel.plimsy.tollixMigrationPrompted";
    static constexpr auto DeviceIdKey = "deviceID";

    // Every member must outlive the migration; the application passes its process-wide services.
    struct Services
    {
        KeychainProtocol *keychain = nullptr;
        UserDefaults *defaults = nullptr;
        AuthService *authService = nullptr;
        AlertPresenter *alerts = nullptr;
        PushNotificationManager *push = nullptr;
    };

    explicit PushRelayMigration(Services services);

    // The relay's key: from the current store, else from the legacy one, whose item is moved over and
    // deleted only once the copy reads back. None when neither holds one or the store cannot be read.
    static std::optional<QString> relayKey(KeychainProtocol &keychain);

    // Once per installation, and only while a relay key exists: marks the offer as made and, for a
    // signed-in user, shows it.
    QCoro::Task<> offerIfNeeded();
    // The offer itself; "Migrate Now" starts the migration without waiting for it.
    QCoro::Task<> offer();

private:
    static QCoro::Task<> migrate(Services services);

    Services m_services;
};

} // namespace plimsy
