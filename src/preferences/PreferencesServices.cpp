#include "preferences/PreferencesServices.h"

#include "account/AuthManager.h"
#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "core/APIKeyManager.h"
#include "core/LoadedRecords.h"
#include "core/SimpleKeychain.h"
#include "notifications/PushNotificationManager.h"
#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

namespace plimsy {

namespace {

const QString LegacyRelayService = QStringLiteral("com.tindrel.plimsy.tollixapikey");

} // namespace

UserDefaults &PreferencesServices::userDefaults() const
{
    return defaults ? *defaults : UserDefaults::standard();
}

AlertPresenter &PreferencesServices::alertPresenter() const
{
    return alerts ? *alerts : AlertPresenter::system();
}

UrlOpener &PreferencesServices::opener() const
{
    return urlOpener ? *urlOpener : UrlOpener::system();
}

Sleeper &PreferencesServices::pauses() const
{
    return sleeper ? *sleeper : Sleeper::system();
}

APIKeyManager &PreferencesServices::apiKeys() const
{
    return forge.apiKeys ? *forge.apiKeys : APIKeyManager::shared();
}

AuthService &PreferencesServices::auth() const
{
    return authService ? *authService : ServiceContainer::shared().authService();
}

AuthManager &PreferencesServices::signIn() const
{
    return authManager ? *authManager : AuthManager::shared();
}

PushNotificationManager &PreferencesServices::push() const
{
    return pushManager ? *pushManager : PushNotificationManager::shared();
}

KeychainProtocol &PreferencesServices::legacyRelayKeys() const
{
    static auto *s_keychain = new SimpleKeychain(LegacyRelayService);
    return legacyRelayKeychain ? *legacyRelayKeychain : *s_keychain;
}

GlobalHotkeyManager &PreferencesServices::hotkeys() const
{
    return hotkeyManager ? *hotkeyManager : GlobalHotkeyManager::shared();
}

QList<Server> PreferencesServices::loadedServers() const
{
    const LoadedRecords *loaded = records ? records : LoadedRecords::current();
    return loaded ? loaded->servers() : QList<Server>();
}

QList<Site> PreferencesServices::loadedSites() const
{
    const LoadedRecords *loaded = records ? records : LoadedRecords::current();
    return loaded ? loaded->sites() : QList<Site>();
}

} // namespace plimsy
