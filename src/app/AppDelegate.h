#pragma once

#include "menu/AppState.h"
#include "menu/StatusMenuServices.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

class QMenuBar;

namespace plimsy {

class ActionBarWindowController;
class AlertPresenter;
class AnnouncementWindow;
class AuthService;
class KeychainProtocol;
class PushNotificationManager;
class PushTransport;
class SingleInstanceManager;
class Sleeper;
class StartupCoordinator;
class StatusMenuController;
class TrayNoticeWindow;
class UrlOpener;
class UserDefaults;
struct Notification;

// The root object of the process: owns the loaded servers and sites, the status menu and the windows it
// opens; runs the launch sequence in its fixed order and the termination steps; routes URLs, the push
// registration's outcome and deployment results. GUI thread.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    // Empty members take the process-wide services.
    struct Services
    {
        UserDefaults *defaults = nullptr;
        AlertPresenter *alerts = nullptr;
        UrlOpener *urlOpener = nullptr;
        Sleeper *sleeper = nullptr;
        AuthService *authService = nullptr;
        PushTransport *pushTransport = nullptr;
        PushNotificationManager *push = nullptr;
        // The legacy push relay's key items; its own service when empty.
        KeychainProtocol *relayKeychain = nullptr;
        SingleInstanceManager *singleInstance = nullptr;
        StartupCoordinator *startupCoordinator = nullptr;
        // Plays the system sounds of deployment results.
        std::function<void(const QString &name)> playSound;
        // The status menu's own; the shell fills in the About window, the log folder and the early menu.
        StatusMenuServices statusMenu;
    };

    // The application's delegate. GUI thread only, and only once it exists: anything else stops the
    // process (a programming error).
    static AppDelegate &shared();

    AppDelegate();
    explicit AppDelegate(Services services, QObject *parent = nullptr);
    ~AppDelegate() override;

    AppState &state() { return m_state; }
    StatusMenuController &statusMenuController() { return *m_statusMenuController; }
    AnnouncementWindow *announcementWindow() const { return m_announcementWindow.get(); }

    // The status menu's set-up, before launching finishes; it installs the early application menu.
    void loadInterface();
    // Step W: the single-instance guard listens for the URLs of later starts.
    void applicationWillFinishLaunching();
    // The launch sequence, steps 1 to 13.
    void applicationDidFinishLaunching();
    // The termination steps.
    void applicationWillTerminate();

    // Routes URLs of the "plimsy" scheme: "auth" to the browser sign-in's callback; others are ignored.
    void handleURLs(const QStringList &urls);

    // The push registration's outcome and a deployment result ("success": true or false).
    void didRegisterForRemoteNotifications(const QByteArray &deviceToken);
    void didFailToRegisterForRemoteNotifications(const QString &reason);
    void didReceiveRemoteNotification(const QVariantMap &payload);

    // Targets of the one-second timer and of the observers.
    void closeExpiredNotifications();
    void authStateDidChange();
    void presentAnnouncement(const plimsy::Notification &notification);

    // Opens the folder of the log files in the file manager.
    void showLogsFolder();
    void buildMainMenu();
    // Removes the legacy login item on a worker thread; returns at once.
    void cleanUpLegacyLoginItem();
    QCoro::Task<> offerPushMigrationIfNeeded();

    // Opens the Action Bar; nothing before launch has finished.
    void showActionBar();

private:
    QCoro::Task<> runStartupTask(quint64 generation);
    QCoro::Task<> registerSilentPushToken();
    QCoro::Task<> registerWithLegacyRelay(QString token);
    QCoro::Task<> playFailureSound();
    void setUpAnnouncements();
    void sendLaunchEvent();
    void setUpActionBar();
    void toggleActionBar();
    // The Action Bar's controller, made on first use.
    ActionBarWindowController &actionBar();
    // Work that would hold up the first refresh runs, in order, once that refresh's requests have been
    // started, or at once after that.
    void afterFirstRefreshRequests(std::function<void()> work);
    void runDeferredWork();
    QCoro::Task<> stopWaitingForFirstRefresh();
    void setUpTrayNotice();
    // Opening Plimsy again: the first run's window when it is open, else, without a tray host, the Action
    // Bar as the way to the menu's commands.
    void handleReopen();

    Services m_services;
    AppState m_state;
    std::unique_ptr<StatusMenuController> m_statusMenuController;
    std::unique_ptr<QMenuBar> m_mainMenu;
    std::unique_ptr<AnnouncementWindow> m_announcementWindow;
    QTimer m_timer;
    // Moving it on cancels the start-up task.
    quint64 m_startupGeneration = 0;
    std::unique_ptr<ActionBarWindowController> m_actionBarController;
    // Set when the launch sequence reaches the Action Bar: before that, there is none to open.
    bool m_isLaunched = false;
    bool m_isPastFirstRefresh = false;
    std::vector<std::function<void()>> m_deferredWork;
    std::unique_ptr<TrayNoticeWindow> m_trayNotice;

    Q_DISABLE_COPY_MOVE(AppDelegate)
};

} // namespace plimsy
