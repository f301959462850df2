#pragma once

#include "forge/ForgeAPIController.h"

namespace plimsy {

class APIKeyManager;
class AlertPresenter;
class AuthManager;
class AuthService;
class KeychainProtocol;
class PushNotificationManager;
class Sleeper;
class UrlOpener;
class UserDefaults;

// What the Preferences window uses of the rest of the application. Every member left empty takes the
// process-wide default; tests and the gallery hand in their own.
struct PreferencesServices
{
    UserDefaults *defaults = nullptr;
    AlertPresenter *alerts = nullptr;
    UrlOpener *urlOpener = nullptr;
    Sleeper *sleeper = nullptr;
    // What the key check's Forge client talks through; its key store is where the tabs keep keys.
    ForgeAPIController::Services forge;
    AuthService *authService = nullptr;
    AuthManager *authManager = nullptr;
    PushNotificationManager *pushManager = nullptr;
    // The legacy push relay's key item ("com.tindrel.plimsy.tollixapikey").
    KeychainProtocol *legacyRelayKeychain = nullptr;

    UserDefaults &userDefaults() const;
    AlertPresenter &alertPresenter() const;
    UrlOpener &opener() const;
    Sleeper &pauses() const;
    APIKeyManager &apiKeys() const;
    AuthService &auth() const;
    AuthManager &signIn() const;
    PushNotificationManager &push() const;
    KeychainProtocol &legacyRelayKeys() const;
};

} // namespace plimsy
