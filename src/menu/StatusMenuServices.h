#pragma once

#include "forge/ForgeAPIController.h"
#include "menu/WindowController.h"
#include "notifications/SiteMonitor.h"

#include <functional>
#include <memory>

namespace plimsy {

class AlertPresenter;
class AuthManager;
class AuthService;
class Clock;
class DeviceService;
class NotificationManager;
class ProcessStarter;
class Reachability;
class SiteMonitoringStore;
class Sleeper;
class StatusMenuController;
class UrlOpener;
class UserDefaults;
class WebhookStorage;

// What the status menu uses of the rest of the application. Every member left empty takes the
// process-wide default; tests and the application shell hand in their own.
struct StatusMenuServices
{
    UserDefaults *defaults = nullptr;
    const Clock *clock = nullptr;
    Sleeper *sleeper = nullptr;
    AlertPresenter *alerts = nullptr;
    SiteMonitoringStore *monitoringStore = nullptr;
    // The program the site checks run.
    QString curlPath = QString::fromLatin1(SiteMonitor::DefaultCurlPath);
    // Local notices; the default is the process-wide manager.
    NotificationManager *notificationManager = nullptr;
    WebhookStorage *webhookStorage = nullptr;
    // What each refresh's Forge clients talk through.
    ForgeAPIController::Services forge;

    // The account backend's sign-in state and the browser sign-in.
    AuthService *authService = nullptr;
    AuthManager *authManager = nullptr;
    // This device at the account backend: the webhook address for deploy notifications.
    DeviceService *deviceService = nullptr;
    // The Preferences and About windows of their own subsystems.
    WindowFactory makePreferencesWindow;
    WindowFactory makeAboutWindow;
    // Installs the application's main menu with About, Preferences and Quit sent to the controller.
    std::function<void(StatusMenuController &)> buildApplicationMenu;
    // The network monitor; the default watches a well-known public host.
    std::function<std::unique_ptr<Reachability>()> makeReachability;
    // Shows the log folder in the file manager.
    std::function<void()> showLogsFolder;
    // Opens web pages in the browser.
    UrlOpener *urlOpener = nullptr;
    // Starts the terminal applications.
    ProcessStarter *processStarter = nullptr;
    // Server and site submenus are made when first opened; a tray host that shows a submenu without
    // announcing it first would need them made with the menu.
    bool buildSiteMenusEagerly = false;
};

} // namespace plimsy
