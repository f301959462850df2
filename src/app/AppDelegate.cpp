#include "app/AppDelegate.h"

#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "actionbar/ActionBarWindowController.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "core/AccountManager.h"
#include "core/Logger.h"
#include "menu/StatusMenuController.h"
#include "platform/UserDefaults.h"
#include "preferences/PreferencesWindowController.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace plimsy {

namespace {

StatusMenuServices statusMenuServices()
{
    StatusMenuServices services;
    services.makePreferencesWindow = [] { return std::make_unique<PreferencesWindowController>(); };
    return services;
}

} // namespace

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
    , m_statusMenuController(std::make_unique<StatusMenuController>(m_state, statusMenuServices()))
{
    LoadedRecords::setCurrent(&m_state);
}

AppDelegate::~AppDelegate()
{
    LoadedRecords::setCurrent(nullptr);
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_statusMenuController->setup();
    QTimer::singleShot(0, this, &AppDelegate::routeStartup);
    setUpActionBar();
}

// Launch step 12: the Action Bar and its hot key, released again when the application quits.
void AppDelegate::setUpActionBar()
{
    m_actionBarController = std::make_unique<ActionBarWindowController>();
    GlobalHotkeyManager &hotkeys = GlobalHotkeyManager::shared();
    hotkeys.onHotkeyPressed = [self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->toggleActionBar();
        }
    };
    hotkeys.registerHotkey(hotkeys.currentOption().keyCode, hotkeys.currentOption().modifiers);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [] { GlobalHotkeyManager::shared().unregisterHotkey(); });
}

void AppDelegate::toggleActionBar()
{
    if (m_actionBarController) {
        m_actionBarController->toggle();
    }
}

void AppDelegate::showActionBar()
{
    if (m_actionBarController) {
        m_actionBarController->show();
    }
}

void AppDelegate::routeStartup()
{
    UserDefaults &defaults = UserDefaults::standard();
    const bool hasAccounts = !AccountManager::loadAccounts(defaults).isEmpty();
    if (!defaults.boolValue(QStringLiteral("hasCompletedOnboarding"))) {
        if (!hasAccounts) {
            log(QStringLiteral("[Startup] Onboarding is needed, but this build has no onboarding window yet"));
            return;
        }
        defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    }
    if (!ServiceContainer::shared().authService().isAuthenticated()) {
        log(QStringLiteral("[Startup] Not signed in, but this build has no welcome window yet"));
        return;
    }
    m_statusMenuController->updateServers();
}

} // namespace plimsy
