#pragma once

#include "core/Account.h"
#include "editor/ConfigurationType.h"
#include "editor/LogWindowProtocol.h"
#include "menu/AppState.h"
#include "menu/PerformDeployment.h"
#include "menu/StatusMenuServices.h"
#include "notifications/SiteMonitorManager.h"
#include "platform/AlertPresenter.h"
#include "platform/MenuItems.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QMenu;

namespace plimsy {

class ForgeAPIError;
class LoadServers;
class MenuBarIconManager;
class NotificationManager;
class Reachability;
class SecretStoreMonitor;
class StatusItem;
struct SiteNotificationsToggle;
struct Notification;

// The centre of the tray menu: owns the tray item and its menu, runs the refresh road with its gate,
// failures and retry, the idle auto-refresh, the reactions to site checks and to the network, the
// menu-bar icon and the error alert, and is the target of every menu action. GUI thread only.
class StatusMenuController : public QObject, public SiteMonitorDelegate
{
    Q_OBJECT

public:
    enum class UpdateBlockReason
    {
        NoNetwork,
        OnboardingNotCompleted,
        AlreadyLoading,
        NotAuthenticated,
        // The sign-in could not be read: the secret store is locked or unreachable.
        KeyringUnavailable,
    };

    static constexpr std::chrono::seconds RetryInterval{30};
    static constexpr std::chrono::seconds AlertDisplayInterval{300};
    static constexpr std::chrono::seconds MonitorKickoffDelay{3};
    static constexpr double AutoRefreshIdleThreshold = 300.0;
    static constexpr double ReachabilityDebounceInterval = 5.0;
    // A menu host may never report that the menu closed: past this, an open menu counts as closed.
    static constexpr std::chrono::minutes MenuOpenLimit{10};

    explicit StatusMenuController(AppState &appState, StatusMenuServices services = {}, QObject *parent = nullptr);
    ~StatusMenuController() override;

    // Runs once: defaults, legacy key, observers, the menu, the timers and the network monitor.
    void setup();

    QMenu *statusMenu() const;
    StatusItem *statusItem() const;
    WindowController &preferencesWindow();
    MenuBarIconManager &iconManager();

    AppState &appState() const { return m_appState; }
    UserDefaults &defaults() const { return *m_defaults; }
    WebhookStorage &webhookStorage() const { return *m_webhookStorage; }
    SiteMonitoringStore &monitoringStore() const { return *m_monitoringStore; }
    const Clock &clock() const { return *m_clock; }
    AlertPresenter &alerts() const { return *m_alerts; }
    const ForgeAPIController::Services &forgeServices() const { return m_services.forge; }
    bool buildsSiteMenusEagerly() const { return m_services.buildSiteMenusEagerly; }

    // The refresh road.
    static QString text(UpdateBlockReason reason);
    std::optional<UpdateBlockReason> updateBlockReason() const;
    void updateServers();
    void didFinishLoading(const plimsy::Account &account);
    void handleAPIError(const plimsy::Account &account, const plimsy::ForgeAPIError &error);
    // A load that failed neither at Forge nor in transport (an answer that does not decode, say).
    void handleLoadFailure(const plimsy::Account &account, const QString &description);
    // Each refresh has its own number; loaders of an older one stop touching the menu.
    quint64 refreshGeneration() const { return m_refreshGeneration; }
    // The one time-out the current refresh's Forge requests share.
    std::shared_ptr<TimeOutBudget> refreshTimeOut() const { return m_refreshTimeOut; }
    // Whether a loader of any refresh, current or superseded, is still at work.
    bool hasRunningLoaders() const;
    void scheduleRetry();
    void scheduleRetryConnection();
    bool isRetryPending() const { return m_retryPending; }
    void accountsReordered();
    QAction *serverMenuItem(MenuTag tag, QMenu *menu) const;

    // Timers and the network.
    void scheduleAutoRefreshTimer();
    void autoRefreshIfIdle();
    void initMonitoringIfNeeded();
    void monitorSites();
    void allSitesDidLoad();
    void siteMonitorDidFinish() override;
    void startReachability();
    void networkBecameReachable(plimsy::Reachability *reachability);
    void networkBecameUnreachable();
    bool hasNetwork() const { return m_hasNetwork; }

    // Failures shown to the user.
    void showErrorAlert(const plimsy::Account &account, const QString &title, const std::optional<QString> &detail);
    void closeAlertWindow();
    void reportError(const QString &title, const std::optional<QString> &detail);
    // The same for a failure of one account's load, shown in the account's own submenu as well.
    void reportError(const plimsy::Account &account, const QString &title, const std::optional<QString> &detail);
    bool hasErrors() const { return m_hasErrors; }
    // A locked or unreachable secret store: the marker, the log line and the connection retry. The
    // refresh after the store is unlocked comes without waiting for the retry.
    void reportKeyringUnavailable();
    bool isWaitingForKeyring() const { return m_isWaitingForKeyring; }
    // Removes the Forge keys of accounts that do not exist (an add that never finished, a process that
    // ended in the middle of one). Only once the legacy key has become an account, and only while the
    // account list can be read; a call before then does nothing.
    void dropKeysWithoutAccount();

    // The menu's open state, from the tray item.
    void menuWillOpen();
    void menuDidClose();
    bool isMenuOpen() const { return m_isMenuOpen; }
    QDateTime lastUserActivity() const { return m_lastUserActivity; }
    void noteUserActivity();

    std::vector<std::unique_ptr<LogWindowProtocol>> &configWindows() { return m_configWindows; }
    void removeWindowWithNotification(const plimsy::Notification &notification);
    QSet<qint64> &webhookOperationsInProgress() { return m_webhookOperationsInProgress; }

    // Configuration and log windows, kept in configWindows while open; site-check summaries.
    enum class ServerMonitoringState
    {
        Unknown = 0, // no monitored site, or none checked yet
        AllUp = 1,
        SomeDown = 2,
        AllDown = 3,
    };
    void openConfigurationWindow(const plimsy::Server &server,
                                 const std::optional<plimsy::Site> &site,
                                 const plimsy::Account &account,
                                 plimsy::ConfigurationType type);
    void openLogWindow(const QUrl &url);
    static QString configurationWindowKey(const plimsy::Server &server,
                                          const std::optional<plimsy::Site> &site,
                                          const plimsy::Account &account,
                                          plimsy::ConfigurationType type);
    static QHash<qint64, QList<plimsy::Site>> sitesByServer(const QList<plimsy::Site> &sites);
    ServerMonitoringState serverMonitoringState(qint64 serverId, const QList<plimsy::Site> &sites) const;
    // Server and site actions: a success worth telling (the error alert's road), the last deploy asked for.
    void
    showInformationalAlert(const plimsy::Account &account, const QString &title, const std::optional<QString> &detail);
    const std::optional<PerformDeployment> &performDeployment() const { return m_performDeployment; }

public Q_SLOTS:
    // Menu actions, each taking the item chosen (an item of the palette's own does as well).
    void refresh(QAction *sender);
    void updateClicked(QAction *sender);
    void preferences(QAction *sender);
    void about(QAction *sender);
    void aboutClicked(QAction *sender);
    void quit(QAction *sender);
    void quitClicked(QAction *sender);
    void terminateApp();
    void showLogsFolder(QAction *sender);
    void plimsyLogsClicked(QAction *sender);
    void signIn(QAction *sender);
    void signOut(QAction *sender);

    void editEnv(QAction *sender);
    void editNginx(QAction *sender);
    void editDeploymentScript(QAction *sender);
    void showDeploymentLog(QAction *sender);
    void showSiteLog(QAction *sender);
    void rebootServer(QAction *sender);
    void rebootPhp(QAction *sender);
    void rebootMySQLServer(QAction *sender);
    void rebootNginx(QAction *sender);
    void rebootPostgres(QAction *sender);
    void rebootPhpForSite(QAction *sender);
    void deploySite(QAction *sender);
    void toggleSiteNotifications(QAction *sender);
    void createSSHKey(QAction *sender);
    void nginxAccessLogs(QAction *sender);
    void nginxErrorLogs(QAction *sender);
    void visitSite(QAction *sender);
    void openForge(QAction *sender);
    void openForgeServer(QAction *sender);
    void showSiteMonitorFile(QAction *sender);
    void toggleFavoriteSite(QAction *sender);
    void openTerminal(QAction *sender);
    void openTerminalForSite(QAction *sender);
    void openTerminalHere(QAction *sender);
    void copyFinderWindowPath(QAction *sender);
    void copyIPAddress(QAction *sender);
    void openCustomServerTerminal(QAction *sender);

private:
    void verbose(const QString &line) const;
    void registerObservers();
    void registerDefaultPreferences();
    void migrateLegacyKey();
    void postAPIKeyNoticeIfNeeded();
    void handleAlertAnswered(AlertPresenter::AlertId id);
    void startLoader(const plimsy::Account &account, QMenu *parentMenu, std::optional<int> targetPosition);
    QCoro::Task<> signInCompleted(QString email, bool isStored);
    QCoro::Task<> runSignOut();

    // Every copy of the site's "Notify on Deploy" and "Favorite" items follows what is stored.
    void showStoredSiteState(qint64 siteId);
    // Deploy notifications of a site: the per-site guard of a toggle and the toggle's task.
    bool beginWebhookOperation(qint64 siteId);
    DeviceService &deviceService() const;
    QCoro::Task<> runNotificationsToggle(SiteNotificationsToggle toggle, bool isEnabled, QPointer<QAction> sender);
    // Window and link actions.
    void openEditor(QAction *sender, ConfigurationType type);
    void openServerLog(QAction *sender, ConfigurationType type);
    bool bringWindowForward(const QString &key) const;
    void keepWindow(std::unique_ptr<LogWindowProtocol> window);
    void openInBrowser(const QString &address) const;

    void retryConnectionFired();
    void watchSecretStore();
    void handleSecretStoreUnlocked();
    // Sleeps `interval`, then calls `tick` unless the counter has moved on from `generation` (which
    // cancels the timer); again and again when it `repeats`.
    QCoro::Task<> runTimer(quint64 StatusMenuController::*counter,
                           quint64 generation,
                           std::chrono::seconds interval,
                           bool repeats,
                           void (StatusMenuController::*tick)());

    // Terminal launch: what starts the terminal applications.
    ProcessStarter &processStarter() const;

    AppState &m_appState;
    StatusMenuServices m_services;
    UserDefaults *m_defaults;
    const Clock *m_clock;
    Sleeper *m_sleeper;
    AlertPresenter *m_alerts;
    SiteMonitoringStore *m_monitoringStore;
    NotificationManager *m_notifications;
    WebhookStorage *m_webhookStorage;
    AuthService *m_authService;

    std::unique_ptr<QMenu> m_statusMenu;
    std::unique_ptr<WindowController> m_preferencesWindow;
    std::vector<std::unique_ptr<LogWindowProtocol>> m_configWindows;
    std::unique_ptr<SiteMonitorManager> m_siteMonitorManager;
    std::optional<AlertPresenter::AlertId> m_alertWindow;
    bool m_firstRun = true;
    std::unique_ptr<Reachability> m_reachability;
    bool m_hasErrors = false;
    qint64 m_accountsToLoad = 0;
    qint64 m_accountsLoaded = 0;
    bool m_hasNetwork = false;
    StatusItem *m_statusItem;
    QSet<qint64> m_webhookOperationsInProgress;
    QDateTime m_lastUserActivity;
    bool m_isMenuOpen = false;
    QDateTime m_menuOpenedAt;
    QDateTime m_lastReachabilityUpdate;
    std::unique_ptr<MenuBarIconManager> m_iconManager;
    std::vector<std::weak_ptr<LoadServers>> m_loaders;
    bool m_isSetUp = false;
    std::unique_ptr<SecretStoreMonitor> m_secretStoreMonitor;
    bool m_isWaitingForKeyring = false;

    // Timers are coroutines that sleep on the injected sleeper; bumping a generation cancels one.
    quint64 m_refreshGeneration = 0;
    std::shared_ptr<TimeOutBudget> m_refreshTimeOut;
    quint64 m_retryGeneration = 0;
    bool m_retryPending = false;
    quint64 m_autoRefreshGeneration = 0;
    quint64 m_monitorGeneration = 0;
    quint64 m_alertGeneration = 0;

    // Server and site actions.
    void showAlert(Alert::Style style,
                   const plimsy::Account &account,
                   const QString &title,
                   const std::optional<QString> &detail);
    std::optional<PerformDeployment> m_performDeployment;

    Q_DISABLE_COPY_MOVE(StatusMenuController)

Q_SIGNALS:
    // A refresh got past its gate and handed its requests (none without accounts) to the network, which
    // starts them at the next turn.
    void refreshRequested();
};

// Where the palette and the notices find the status menu (empty before its set-up).
class StatusMenuControllerHolder
{
public:
    static StatusMenuControllerHolder &shared();
    QPointer<StatusMenuController> controller;
};

} // namespace plimsy
