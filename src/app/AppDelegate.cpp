#include "app/AppDelegate.h"

#include "account/AuthManager.h"
#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "actionbar/ActionBarWindowController.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "app/AboutWindow.h"
#include "app/AnnouncementChecker.h"
#include "app/AnnouncementWindow.h"
#include "app/ApplicationMenu.h"
#include "app/LegacyLoginItemCleanup.h"
#include "app/PushRelayMigration.h"
#include "app/SimpleAnalytics.h"
#include "app/SingleInstanceManager.h"
#include "app/StartupCoordinator.h"
#include "app/TrayNoticeWindow.h"
#include "app/UpdateController.h"
#include "core/Logger.h"
#include "core/NotificationNames.h"
#include "core/RunDetached.h"
#include "core/SimpleKeychain.h"
#include "core/URLConstants.h"
#include "crashreporter/client/Kestrix.h"
#include "menu/MainMenu.h"
#include "menu/StatusMenuController.h"
#include "notifications/NotificationManager.h"
#include "notifications/PushNotificationManager.h"
#include "notifications/Tollix.h"
#include "platform/AlertPresenter.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/PushTransport.h"
#include "platform/StatusItem.h"
#include "platform/SystemInfo.h"
#include "platform/SystemSound.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "preferences/PreferencesWindowController.h"

#include <QCoreApplication>
#include <QMenuBar>
#include <QPointer>
#include <QThread>
#include <QThreadPool>
#include <QUrl>

#include <chrono>
#include <utility>

namespace plimsy {

namespace {

AppDelegate *s_shared = nullptr;

constexpr std::chrono::milliseconds ExpiredNotificationsInterval{1000};
constexpr std::chrono::milliseconds FailureSoundRepeat{450};
// Offline, the first refresh waits for the network: what waits for it does not wait longer than this.
constexpr std::chrono::milliseconds FirstRefreshPatience{5000};

} // namespace

AppDelegate &AppDelegate::shared()
{
    if (QCoreApplication::instance() && QThread::currentThread() != QCoreApplication::instance()->thread()) {
        qFatal("AppDelegate used off the GUI thread");
    }
    if (!s_shared) {
        qFatal("AppDelegate not available - must be called after app launch");
    }
    return *s_shared;
}

AppDelegate::AppDelegate()
    : AppDelegate(Services{})
{
}

AppDelegate::AppDelegate(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Services &s = m_services;
    s.defaults = s.defaults ? s.defaults : &UserDefaults::standard();
    s.alerts = s.alerts ? s.alerts : &AlertPresenter::system();
    s.urlOpener = s.urlOpener ? s.urlOpener : &UrlOpener::system();
    s.sleeper = s.sleeper ? s.sleeper : &Sleeper::system();
    s.authService = s.authService ? s.authService : &ServiceContainer::shared().authService();
    s.pushTransport = s.pushTransport ? s.pushTransport : &PushTransport::system();
    s.push = s.push ? s.push : &PushNotificationManager::shared();
    s.singleInstance = s.singleInstance ? s.singleInstance : &SingleInstanceManager::shared();
    s.startupCoordinator = s.startupCoordinator ? s.startupCoordinator : &StartupCoordinator::shared();
    if (!s.playSound) {
        s.playSound = [](const QString &name) { SystemSound::play(name); };
    }

    StatusMenuServices &menu = s.statusMenu;
    menu.defaults = menu.defaults ? menu.defaults : s.defaults;
    menu.alerts = menu.alerts ? menu.alerts : s.alerts;
    menu.urlOpener = menu.urlOpener ? menu.urlOpener : s.urlOpener;
    menu.authService = menu.authService ? menu.authService : s.authService;
    if (!menu.makeAboutWindow) {
        menu.makeAboutWindow = [this] {
            return std::make_unique<AboutWindow>(
                AboutWindowViewModel::current(),
                AboutWindow::Services{m_services.urlOpener, [this] { showLogsFolder(); }});
        };
    }
    if (!menu.makePreferencesWindow) {
        menu.makePreferencesWindow = [this] {
            PreferencesServices preferences;
            preferences.updater = &UpdateController::shared();
            preferences.showLogsFolder = [this] { showLogsFolder(); };
            return std::make_unique<PreferencesWindowController>(std::move(preferences));
        };
    }
    if (!menu.showLogsFolder) {
        menu.showLogsFolder = [this] { showLogsFolder(); };
    }
    menu.buildApplicationMenu = [this](StatusMenuController &controller) {
        afterFirstRefreshRequests([this, &controller] { m_mainMenu = ApplicationMenu(&controller).build(); });
    };
    m_statusMenuController = std::make_unique<StatusMenuController>(m_state, menu);
    connect(
        m_statusMenuController.get(),
        &StatusMenuController::refreshRequested,
        this,
        [this] { QMetaObject::invokeMethod(this, &AppDelegate::runDeferredWork, Qt::QueuedConnection); },
        Qt::SingleShotConnection);
    LoadedRecords::setCurrent(&m_state);
    s_shared = this;
}

AppDelegate::~AppDelegate()
{
    ++m_startupGeneration;
    if (s_shared == this) {
        s_shared = nullptr;
    }
    LoadedRecords::setCurrent(nullptr);
}

void AppDelegate::loadInterface()
{
    m_statusMenuController->setup();
}

void AppDelegate::applicationWillFinishLaunching()
{
    // W. Later starts hand their URLs over to this one.
    QPointer self(this);
    m_services.singleInstance->start([self](const QStringList &urls) {
        if (self) {
            self->handleURLs(urls);
        }
    });
    connect(m_services.singleInstance,
            &SingleInstanceManager::reopened,
            this,
            &AppDelegate::handleReopen,
            Qt::UniqueConnection);
}

void AppDelegate::applicationDidFinishLaunching()
{
    // 1. The crash reporter.
    kestrix::Kestrix::start();
    // 2. The legacy login item, off the GUI thread.
    cleanUpLegacyLoginItem();
    // 3. The main menu, in place of the early one.
    afterFirstRefreshRequests([this] { buildMainMenu(); });
    // Keys that an unfinished add left behind; the keyring has been read for the first refresh by then.
    afterFirstRefreshRequests([this] { m_statusMenuController->dropKeysWithoutAccount(); });
    // 4. Uncaught exceptions already end the process here: nothing to switch on.
    // 5. The site monitor sets itself up again.
    m_services.defaults->remove(QStringLiteral("siteMonitorInited"));
    // 6. The notification manager.
    NotificationManager::shared();
    // 7. The start-up task, once the launch sequence has returned.
    const quint64 generation = ++m_startupGeneration;
    QTimer::singleShot(0, this, [this, generation] { runDetached(runStartupTask(generation)); });
    runDetached(stopWaitingForFirstRefresh());
    // 8. Remote notifications; Linux answers with a failure at once.
    PushTransport &transport = *m_services.pushTransport;
    connect(&transport, &PushTransport::tokenReceived, this, &AppDelegate::didRegisterForRemoteNotifications);
    connect(
        &transport, &PushTransport::registrationFailed, this, &AppDelegate::didFailToRegisterForRemoteNotifications);
    transport.registerForRemoteNotifications();
    // 9. The one-second timer that closes expired notifications.
    m_timer.setInterval(ExpiredNotificationsInterval);
    connect(&m_timer, &QTimer::timeout, this, &AppDelegate::closeExpiredNotifications, Qt::UniqueConnection);
    m_timer.start();
    // 10. Sign-in and sign-out.
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::authStateChanged, this, [this](const Notification &) { authStateDidChange(); });
    // 11. Announcements.
    setUpAnnouncements();
    // 12. The Action Bar and its global hot key.
    m_isLaunched = true;
    setUpActionBar();
    // Without a tray host the status menu is out of reach: say so, once.
    setUpTrayNotice();
    // 13. The launch event, once the first refresh's request has been started: the start-up task runs at
    // the next turn and the network starts its request at the turn after, so this waits two turns.
    QTimer::singleShot(0, this, [this] { QTimer::singleShot(0, this, &AppDelegate::sendLaunchEvent); });
    // The updater's daily checks.
    UpdateController::shared();
}

void AppDelegate::setUpActionBar()
{
    // Its window is built once the first refresh's requests have been started, or when first needed.
    afterFirstRefreshRequests([this] { actionBar(); });
    GlobalHotkeyManager &hotkeys = GlobalHotkeyManager::shared();
    hotkeys.onHotkeyPressed = [self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->toggleActionBar();
        }
    };
    // On Wayland the first registration starts the desktop portal, and its start (the portal and its
    // backends) competes with the launch for the processor and the bus: it waits for the first refresh.
    afterFirstRefreshRequests(
        [&hotkeys] { hotkeys.registerHotkey(hotkeys.currentOption().keyCode, hotkeys.currentOption().modifiers); });
}

void AppDelegate::afterFirstRefreshRequests(std::function<void()> work)
{
    if (m_isPastFirstRefresh) {
        work();
        return;
    }
    m_deferredWork.push_back(std::move(work));
}

void AppDelegate::runDeferredWork()
{
    m_isPastFirstRefresh = true;
    for (const std::function<void()> &work : std::exchange(m_deferredWork, {})) {
        work();
    }
}

QCoro::Task<> AppDelegate::stopWaitingForFirstRefresh()
{
    QPointer self(this);
    co_await m_services.sleeper->sleep(FirstRefreshPatience);
    if (self) {
        runDeferredWork();
    }
}

ActionBarWindowController &AppDelegate::actionBar()
{
    if (!m_actionBarController) {
        m_actionBarController = std::make_unique<ActionBarWindowController>();
    }
    return *m_actionBarController;
}

void AppDelegate::toggleActionBar()
{
    if (m_isLaunched) {
        actionBar().toggle();
    }
}

void AppDelegate::showActionBar()
{
    if (m_isLaunched) {
        actionBar().show();
    }
}

void AppDelegate::setUpTrayNotice()
{
    TrayNoticeWindow::Services services;
    services.defaults = m_services.defaults;
    services.sleeper = m_services.sleeper;
    services.openActionBar = [this] { showActionBar(); };
    // A portal answers later than the launch: the notice names the hot key only if it works by then.
    services.hotkeyName = [] {
        const GlobalHotkeyManager &hotkeys = GlobalHotkeyManager::shared();
        return hotkeys.isRegistered() ? hotkeys.currentOption().displayName : QString();
    };
    services.isGnome = SystemInfo::isGnomeDesktop();
    StartupCoordinator *coordinator = m_services.startupCoordinator;
    services.firstRunWindow = [coordinator] { return coordinator->shownFirstRunWindow(); };
    m_trayNotice = std::make_unique<TrayNoticeWindow>(*m_statusMenuController->statusItem(), services);
    runDetached(m_trayNotice->showIfNoHost());
}

void AppDelegate::handleReopen()
{
    // The user is in the first run's window: that is what they are looking for, not the palette.
    if (m_services.startupCoordinator->bringFirstRunWindowForward()) {
        return;
    }
    // Without a tray or a hot key (GNOME has no shortcut portal), starting again is the way to the palette.
    if (!m_statusMenuController->statusItem()->hasHost() || !GlobalHotkeyManager::shared().isRegistered()) {
        showActionBar();
    }
}

void AppDelegate::setUpAnnouncements()
{
    if (m_services.defaults->boolValue(QLatin1String(AnnouncementWindow::DontShowKey))) {
        return;
    }
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::announcementAvailable, this, [this](const Notification &notification) {
            presentAnnouncement(notification);
        });
    // Its request would go out ahead of the first refresh's.
    afterFirstRefreshRequests([this] {
        AnnouncementChecker checker(announcementsURL(), nullptr, *m_services.defaults);
        if (checker.shouldCheck()) {
            runDetached(checker.check());
        }
    });
}

void AppDelegate::sendLaunchEvent()
{
    SimpleAnalytics analytics(URLConstants::statsURL(), {nullptr, m_services.defaults, {}});
    analytics.trackLaunch();
}

QCoro::Task<> AppDelegate::runStartupTask(quint64 generation)
{
    QPointer self(this);
    StartupCoordinator &coordinator = *m_services.startupCoordinator;
    const AppReadiness readiness = co_await coordinator.checkReadiness();
    if (!self || generation != m_startupGeneration) {
        co_return;
    }
    coordinator.handle(readiness);
    if (readiness != AppReadiness::Ready) {
        // No refresh to wait for: what waited for one is done behind the first run's window.
        QMetaObject::invokeMethod(this, &AppDelegate::runDeferredWork, Qt::QueuedConnection);
    }
    co_await registerSilentPushToken();
    if (!self || generation != m_startupGeneration) {
        co_return;
    }
    co_await offerPushMigrationIfNeeded();
}

QCoro::Task<> AppDelegate::registerSilentPushToken()
{
    const bool isSignedIn = m_services.authService->isAuthenticated();
    co_await m_services.push->registerSilentPushToken(isSignedIn, ServiceContainer::shared().deviceService());
}

QCoro::Task<> AppDelegate::offerPushMigrationIfNeeded()
{
    SimpleKeychain relayKeychain(QLatin1String(PushRelayMigration::KeychainService));
    KeychainProtocol *keychain = m_services.relayKeychain ? m_services.relayKeychain : &relayKeychain;
    PushRelayMigration migration(
        {keychain, m_services.defaults, m_services.authService, m_services.alerts, m_services.push});
    co_await migration.offerIfNeeded();
}

void AppDelegate::applicationWillTerminate()
{
    // 1-2. No more URLs from later starts.
    m_services.singleInstance->stop();
    // 3. The start-up task stops at its next step.
    ++m_startupGeneration;
    // 4.
    m_services.push->cancelTokenWait();
    // 5.
    NotificationManager::shared().removeAllDelivered();
    // 6.
    m_timer.stop();
    // 7. The Action Bar's hot key goes back to the desktop.
    GlobalHotkeyManager::shared().unregisterHotkey();
}

void AppDelegate::handleURLs(const QStringList &urls)
{
    for (const QString &text : urls) {
        if (!SingleInstanceManager::hasApplicationScheme(text)) {
            continue;
        }
        const QUrl url(text, QUrl::StrictMode);
        if (url.host() == u"auth") {
            AuthManager::shared().handleCallback(url);
        }
    }
}

void AppDelegate::didRegisterForRemoteNotifications(const QByteArray &deviceToken)
{
    const QString token = QString::fromLatin1(deviceToken.toHex());
    m_services.push->didReceiveAPNSToken(token);
    runDetached(registerSilentPushToken());
    m_services.defaults->setValue(QStringLiteral("DeviceToken"), token);
    runDetached(registerWithLegacyRelay(token));
}

QCoro::Task<> AppDelegate::registerWithLegacyRelay(QString token)
{
    // It reads the relay key (moving one left in the legacy store) and sends nothing without one; the
    // relay's answer changes nothing here.
    Tollix::Services relay;
    relay.keychain = m_services.relayKeychain;
    relay.defaults = m_services.defaults;
    co_await Tollix::registerDeviceIfKeyPresent(std::move(token), relay);
}

void AppDelegate::didFailToRegisterForRemoteNotifications(const QString &reason)
{
    Logger::shared().log(QStringLiteral("Cannot register for Pushes."), QStringLiteral("Plimsy"));
    Logger::shared().log(reason, QStringLiteral("Plimsy"));
}

void AppDelegate::didReceiveRemoteNotification(const QVariantMap &payload)
{
    const QVariant success = payload.value(QStringLiteral("success"));
    if (success.typeId() != QMetaType::Bool) {
        return;
    }
    if (success.toBool()) {
        m_services.playSound(QStringLiteral("Glass"));
        return;
    }
    m_services.playSound(QStringLiteral("Sosumi"));
    runDetached(playFailureSound());
}

QCoro::Task<> AppDelegate::playFailureSound()
{
    QPointer self(this);
    co_await m_services.sleeper->sleep(FailureSoundRepeat);
    if (self) {
        m_services.playSound(QStringLiteral("Sosumi"));
    }
}

void AppDelegate::closeExpiredNotifications()
{
    if (m_services.defaults->boolValue(QStringLiteral("autoDismissNotices"))) {
        NotificationManager::shared().removeExpiredNotifications();
    }
}

void AppDelegate::authStateDidChange()
{
    StatusMenuController *controller = StatusMenuControllerHolder::shared().controller;
    if (m_services.authService->isAuthenticated()) {
        // A callback that arrives with no sign-in waiting (one begun before a restart) has nobody else to
        // start the refresh.
        if (controller && !m_state.isLoadingData()) {
            controller->updateServers();
        }
        return;
    }
    QTimer::singleShot(0, this, [] {
        if (StatusMenuController *current = StatusMenuControllerHolder::shared().controller) {
            MainMenu(current, current->statusMenu()).build();
        }
    });
}

void AppDelegate::presentAnnouncement(const Notification &notification)
{
    const QVariant url = notification.userInfo.value(QStringLiteral("URL"));
    if (url.typeId() != QMetaType::QString) {
        return;
    }
    m_services.defaults->setValue(QLatin1String(AnnouncementWindow::URLKey), url.toString());
    QTimer::singleShot(0, this, [this] {
        // The window it replaces goes first, closed, so the open-window count lets it go too.
        m_announcementWindow.reset();
        m_announcementWindow = std::make_unique<AnnouncementWindow>(m_services.defaults, m_services.urlOpener);
        m_announcementWindow->showWindow();
    });
}

void AppDelegate::showLogsFolder()
{
    NotificationManager::shared().removeExpiredNotifications();
    if (const auto folder = Logger::shared().logDirectory()) {
        m_services.urlOpener->openUrl(QUrl::fromLocalFile(*folder));
    }
}

void AppDelegate::buildMainMenu()
{
    m_mainMenu = ApplicationMenu::buildMainMenu();
}

void AppDelegate::cleanUpLegacyLoginItem()
{
    UserDefaults *defaults = m_services.defaults;
    QThreadPool::globalInstance()->start([defaults] { LegacyLoginItemCleanup(*defaults).run(); });
}

} // namespace plimsy
