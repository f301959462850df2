#pragma once

#include "core/Server.h"
#include "core/Site.h"
#include "forge/ForgeAPIController.h"

#include <functional>

namespace plimsy {

class APIKeyManager;
class AlertPresenter;
class AuthManager;
class AuthService;
class GlobalHotkeyManager;
class KeychainProtocol;
class LoadedRecords;
class PushNotificationManager;
class Sleeper;
class UpdaterControl;
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
    GlobalHotkeyManager *hotkeyManager = nullptr;
    // The application's updater; none in a build without one.
    UpdaterControl *updater = nullptr;
    // Shows the log folder in the file manager; empty does nothing.
    std::function<void()> showLogsFolder;
    // The servers and sites of the last refresh; the default is the one the application registered.
    const LoadedRecords *records = nullptr;

    UserDefaults &userDefaults() const;
    AlertPresenter &alertPresenter() const;
    UrlOpener &opener() const;
    Sleeper &pauses() const;
    APIKeyManager &apiKeys() const;
    AuthService &auth() const;
    AuthManager &signIn() const;
    PushNotificationManager &push() const;
    KeychainProtocol &legacyRelayKeys() const;
    GlobalHotkeyManager &hotkeys() const;
    // Empty lists before the first refresh.
    QList<Server> loadedServers() const;
    QList<Site> loadedSites() const;
};

} // namespace plimsy
