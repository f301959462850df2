#include "menu/StatusMenuController.h"

#include "account/AuthManager.h"
#include "account/AuthResponse.h"
#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/Logger.h"
#include "core/NotificationNames.h"
#include "core/Reachability.h"
#include "core/RunDetached.h"
#include "core/URLConstants.h"
#include "forge/ForgeAPIError.h"
#include "forge/ForgeAPIRequestTracker.h"
#include "menu/LoadServers.h"
#include "menu/MainMenu.h"
#include "menu/MenuBarIconManager.h"
#include "menu/MenuLog.h"
#include "menu/MenuResources.h"
#include "menu/MenuTags.h"
#include "notifications/NotificationManager.h"
#include "notifications/SiteMonitoringStore.h"
#include "notifications/WebhookStorage.h"
#include "platform/ApplicationActivation.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/DockVisibilityManager.h"
#include "platform/NotificationCenter.h"
#include "platform/PropertyList.h"
#include "platform/SecretStore.h"
#include "platform/SecretStoreMonitor.h"
#include "platform/StatusItem.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QTimer>
#include <QUrl>

#include <variant>

namespace plimsy {

namespace {

QString accountName(const Account &account)
{
    return account.name.value_or(QStringLiteral("unknown"));
}

// A window of a subsystem that this build does not have yet: says so instead of pretending.
class UnavailableWindow final : public WindowController
{
public:
    UnavailableWindow(AlertPresenter &alerts, QString title, QString text)
        : m_alerts(alerts)
        , m_title(std::move(title))
        , m_text(std::move(text))
    {
    }

    void showWindow() override { m_alerts.show({m_title, m_text, Alert::Style::Informational, {}}); }

private:
    AlertPresenter &m_alerts;
    QString m_title;
    QString m_text;
};

} // namespace

StatusMenuController::StatusMenuController(AppState &appState, StatusMenuServices services, QObject *parent)
    : QObject(parent)
    , m_appState(appState)
    , m_services(std::move(services))
    , m_defaults(m_services.defaults ? m_services.defaults : &UserDefaults::standard())
    , m_clock(m_services.clock ? m_services.clock : &Clock::system())
    , m_sleeper(m_services.sleeper ? m_services.sleeper : &Sleeper::system())
    , m_alerts(m_services.alerts ? m_services.alerts : &AlertPresenter::system())
    , m_monitoringStore(m_services.monitoringStore ? m_services.monitoringStore : &SiteMonitoringStore::shared())
    , m_notifications(m_services.notificationManager ? m_services.notificationManager : &NotificationManager::shared())
    , m_webhookStorage(m_services.webhookStorage ? m_services.webhookStorage : &WebhookStorage::shared())
    , m_authService(m_services.authService ? m_services.authService : &ServiceContainer::shared().authService())
    , m_statusMenu(std::make_unique<QMenu>())
    , m_statusItem(new StatusItem(this))
{
    ensureMenuResources();
    m_statusMenu->setObjectName(QStringLiteral("statusMenu"));
    m_lastUserActivity = m_clock->now();
    m_lastReachabilityUpdate = QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    if (!m_services.makePreferencesWindow) {
        m_services.makePreferencesWindow = [this] {
            return std::make_unique<UnavailableWindow>(
                *m_alerts,
                QStringLiteral("Preferences"),
                QStringLiteral("The Preferences window is not part of this build yet."));
        };
    }
    if (!m_services.makeAboutWindow) {
        m_services.makeAboutWindow = [this] {
            return std::make_unique<UnavailableWindow>(
                *m_alerts,
                QString::fromLatin1(BundleInfo::Name),
                QStringLiteral("Version %1 (%2)")
                    .arg(QString::fromLatin1(BundleInfo::ShortVersion), QString::fromLatin1(BundleInfo::BuildNumber)));
        };
    }
    if (!m_services.showLogsFolder) {
        m_services.showLogsFolder = [] {
            if (const auto folder = Logger::shared().logDirectory()) {
                UrlOpener::system().openUrl(QUrl::fromLocalFile(*folder));
            }
        };
    }
    connect(m_statusItem, &StatusItem::menuWillOpen, this, &StatusMenuController::menuWillOpen);
    connect(m_statusItem, &StatusItem::menuDidClose, this, &StatusMenuController::menuDidClose);
    connect(m_alerts, &AlertPresenter::answered, this, [this](AlertPresenter::AlertId id, int) {
        handleAlertAnswered(id);
    });
}

StatusMenuController::~StatusMenuController()
{
    // The timers are coroutines: moving their generations on makes every pending one end quietly.
    ++m_retryGeneration;
    ++m_autoRefreshGeneration;
    ++m_monitorGeneration;
    ++m_alertGeneration;
    if (m_alertWindow) {
        m_alerts->close(*m_alertWindow);
    }
    if (m_reachability) {
        m_reachability->stopNotifier();
    }
    m_statusItem->setMenu(nullptr);
}

QMenu *StatusMenuController::statusMenu() const
{
    return m_statusMenu.get();
}

StatusItem *StatusMenuController::statusItem() const
{
    return m_statusItem;
}

WindowController &StatusMenuController::preferencesWindow()
{
    if (!m_preferencesWindow) {
        m_preferencesWindow = m_services.makePreferencesWindow();
    }
    return *m_preferencesWindow;
}

MenuBarIconManager &StatusMenuController::iconManager()
{
    if (!m_iconManager) {
        m_iconManager = std::make_unique<MenuBarIconManager>(m_statusItem);
    }
    return *m_iconManager;
}

void StatusMenuController::verbose(const QString &line) const
{
    verboseLog(*m_defaults, line);
}

// --- Set-up ------------------------------------------------------------------------------------

void StatusMenuController::setup()
{
    if (m_isSetUp) {
        return;
    }
    m_isSetUp = true;
    StatusMenuControllerHolder::shared().controller = this;
    registerDefaultPreferences();
    migrateLegacyKey();
    registerObservers();
    // A click on a notice without a target opens the newest site-monitor log here.
    m_notifications->setLogWindowOpener(this, [this](const QUrl &file) { openLogWindow(file); });
    m_statusItem->setMenu(m_statusMenu.get());
    iconManager().hasError = false;
    iconManager().apply(iconManager().currentState());
    MainMenu(this, m_statusMenu.get()).build();
    // Building the About window would hold up the first refresh: it waits until that refresh's requests
    // have been started (About builds its own when opened before).
    connect(
        this,
        &StatusMenuController::refreshRequested,
        this,
        [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_appState.aboutWindow) {
                        m_appState.aboutWindow = m_services.makeAboutWindow();
                    }
                },
                Qt::QueuedConnection);
        },
        Qt::SingleShotConnection);
    if (m_services.buildApplicationMenu) {
        m_services.buildApplicationMenu(*this);
    }
    postAPIKeyNoticeIfNeeded();
    scheduleAutoRefreshTimer();
    NotificationCenter::defaultCenter().addObserver(NotificationNames::autoRefreshIntervalChanged,
                                                    this,
                                                    [this](const Notification &) { scheduleAutoRefreshTimer(); });
    // After the queued first image, so the tray never shows an empty item.
    QTimer::singleShot(0, m_statusItem, &StatusItem::show);
    watchSecretStore();
    startReachability();
}

void StatusMenuController::registerDefaultPreferences()
{
    // Registered defaults live in memory only, so the shipped values are registered at every launch;
    // "launchedBefore" still records the first one.
    if (const auto defaults = PropertyList::readDictionaryFile(QStringLiteral(":/DefaultPreferences.plist"))) {
        m_defaults->registerDefaults(*defaults);
    }
    if (!m_defaults->boolValue(QStringLiteral("launchedBefore"))) {
        m_defaults->setValue(QStringLiteral("launchedBefore"), true);
    }
}

void StatusMenuController::migrateLegacyKey()
{
    // The key store's own items: a controller given another key store never reads the user's.
    APIKeyManager &keys = m_services.forge.apiKeys ? *m_services.forge.apiKeys : APIKeyManager::shared();
    if (const auto key = AccountManager::migrateToMultiAccountIfNeeded(keys.keychain(), *m_defaults)) {
        AccountManager::migrateLegacyAPIKey(*key, keys.keychain(), keys, *m_defaults);
    }
}

void StatusMenuController::registerObservers()
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(
        NotificationNames::monitoringSettingsChanged, this, [this](const Notification &) { initMonitoringIfNeeded(); });
    center.addObserver(NotificationNames::accountsChanged, this, [this](const Notification &) { updateServers(); });
    center.addObserver(
        NotificationNames::accountsReordered, this, [this](const Notification &) { accountsReordered(); });
    center.addObserver(NotificationNames::windowClosed, this, [this](const Notification &notification) {
        removeWindowWithNotification(notification);
    });
    center.addObserver(NotificationNames::allSitesLoaded, this, [this](const Notification &) { allSitesDidLoad(); });
    center.addObserver(NotificationNames::customServersDidChange, this, [this](const Notification &) {
        QTimer::singleShot(0, this, [this] { MainMenu(this, m_statusMenu.get()).updateCustomServers(); });
    });
    center.addObserver(NotificationNames::favoriteSitesDidChange, this, [this](const Notification &) {
        QTimer::singleShot(0, this, [this] { MainMenu(this, m_statusMenu.get()).updateSites(); });
    });
}

void StatusMenuController::postAPIKeyNoticeIfNeeded()
{
    if (!AccountManager::loadAccounts(*m_defaults).isEmpty()) {
        return;
    }
    m_notifications->postNotification(
        QStringLiteral("Add Laravel Forge API Key"),
        QStringLiteral("You need to add an Laravel Forge API key"),
        QStringLiteral("accountsChanged"),
        {{QStringLiteral("action"), QString::fromLatin1(NotificationManager::NeedAPIKeyNotice)}},
        QStringLiteral("Help…"));
    preferencesWindow().showWindow();
}

// --- Menu delegate -----------------------------------------------------------------------------

void StatusMenuController::menuWillOpen()
{
    m_isMenuOpen = true;
    m_lastUserActivity = m_clock->now();
    m_menuOpenedAt = m_lastUserActivity;
    MainMenu::willOpen(m_statusMenu.get());
}

void StatusMenuController::menuDidClose()
{
    m_isMenuOpen = false;
    m_lastUserActivity = m_clock->now();
}

void StatusMenuController::noteUserActivity()
{
    m_lastUserActivity = m_clock->now();
}

void StatusMenuController::removeWindowWithNotification(const Notification &notification)
{
    const QVariant uuid = notification.userInfo.value(QStringLiteral("uuid"));
    if (notification.userInfo.isEmpty() || uuid.typeId() != QMetaType::QString) {
        return;
    }
    const auto found = std::find_if(m_configWindows.begin(), m_configWindows.end(), [&](const auto &window) {
        return window->uuid() == uuid.toString();
    });
    if (found == m_configWindows.end()) {
        return;
    }
    m_configWindows.erase(found);
    DockVisibilityManager::countWindowClosed();
}

// --- The refresh road --------------------------------------------------------------------------

QString StatusMenuController::text(UpdateBlockReason reason)
{
    switch (reason) {
    case UpdateBlockReason::NoNetwork:
        return QStringLiteral("no network");
    case UpdateBlockReason::OnboardingNotCompleted:
        return QStringLiteral("onboarding not completed");
    case UpdateBlockReason::AlreadyLoading:
        return QStringLiteral("already loading");
    case UpdateBlockReason::KeyringUnavailable:
        return QStringLiteral("keyring locked or unavailable");
    case UpdateBlockReason::NotAuthenticated:
        break;
    }
    return QStringLiteral("not authenticated");
}

std::optional<StatusMenuController::UpdateBlockReason> StatusMenuController::updateBlockReason() const
{
    if (!m_hasNetwork) {
        return UpdateBlockReason::NoNetwork;
    }
    if (!m_defaults->boolValue(QStringLiteral("hasCompletedOnboarding"))) {
        return UpdateBlockReason::OnboardingNotCompleted;
    }
    if (m_appState.loadingData) {
        return UpdateBlockReason::AlreadyLoading;
    }
    if (!m_authService->isAuthenticated()) {
        return m_authService->isSignInUnavailable() ? UpdateBlockReason::KeyringUnavailable
                                                    : UpdateBlockReason::NotAuthenticated;
    }
    return std::nullopt;
}

void StatusMenuController::updateServers()
{
    if (const auto reason = updateBlockReason()) {
        log(QStringLiteral("[StatusMenu] updateServers() BLOCKED - ") + text(*reason));
        if (*reason == UpdateBlockReason::KeyringUnavailable) {
            reportKeyringUnavailable();
        }
        return;
    }
    verbose(QStringLiteral("[StatusMenu] === updateServers() STARTING ==="));
    m_isWaitingForKeyring = false;
    ForgeAPIRequestTracker::shared().resetRefreshCounters();
    ++m_refreshGeneration;
    m_refreshTimeOut = std::make_shared<TimeOutBudget>();
    m_appState.loadingData = true;
    MainMenu mainMenu(this, m_statusMenu.get());
    // The servers and accounts of the last refresh stay until their successors have loaded.
    mainMenu.renew();
    // The rebuild took any error marker away; a failure of this refresh may place a new one.
    m_hasErrors = false;
    m_appState.siteList.clear();
    m_appState.serverList.clear();
    m_appState.loadedServers.reset();
    m_appState.expectedSiteCount = 0;
    m_appState.allSitesLoadedFired = false;
    m_monitoringStore->removeAll();

    const QList<Account> accounts = AccountManager::loadAccounts(*m_defaults);
    m_accountsToLoad = accounts.size();
    m_accountsLoaded = 0;
    const QList<QMenu *> targets = mainMenu.placeAccountItems(accounts);
    if (accounts.isEmpty()) {
        m_appState.loadingData = false;
    } else if (accounts.size() == 1) {
        startLoader(accounts.constFirst(), m_statusMenu.get(), static_cast<int>(MenuTags::ServerItemsStart));
    } else {
        for (qsizetype i = 0; i < accounts.size(); ++i) {
            startLoader(accounts.at(i), targets.at(i), std::nullopt);
        }
    }
    // Also without accounts: what waits for the first refresh must not wait for ever.
    Q_EMIT refreshRequested();
}

void StatusMenuController::startLoader(const Account &account, QMenu *parentMenu, std::optional<int> targetPosition)
{
    std::erase_if(m_loaders, [](const std::weak_ptr<LoadServers> &loader) { return loader.expired(); });
    auto loader = std::make_shared<LoadServers>(this, parentMenu, targetPosition);
    m_loaders.push_back(loader);
    loader->start(account);
}

bool StatusMenuController::hasRunningLoaders() const
{
    return std::any_of(
        m_loaders.begin(), m_loaders.end(), [](const std::weak_ptr<LoadServers> &loader) { return !loader.expired(); });
}

void StatusMenuController::didFinishLoading(const Account &account)
{
    m_accountsLoaded += 1;
    verbose(QStringLiteral("[StatusMenu] Account '%1' loaded (%2/%3) - %4 servers, %5 sites")
                .arg(accountName(account))
                .arg(m_accountsLoaded)
                .arg(m_accountsToLoad)
                .arg(m_appState.serverList.size())
                .arg(m_appState.siteList.size()));
    if (m_accountsLoaded < m_accountsToLoad) {
        return;
    }
    qsizetype hidden = 0;
    QStringList described;
    for (const Server &server : std::as_const(m_appState.serverList)) {
        const bool isHidden = server.isHidden.value_or(false);
        hidden += isHidden ? 1 : 0;
        described << server.name.value_or(QStringLiteral("?"))
                         + QStringLiteral("(id=%1, hidden=%2)")
                               .arg(QString::number(server.id),
                                    isHidden ? QStringLiteral("true") : QStringLiteral("false"));
    }
    const qsizetype total = m_appState.serverList.size();
    log(QStringLiteral("[StatusMenu] Load complete: %1 servers (%2 visible, %3 hidden)")
            .arg(total)
            .arg(total - hidden)
            .arg(hidden));
    log(QStringLiteral("[AutoRefresh] ") + ForgeAPIRequestTracker::shared().refreshSummary());
    verbose(QStringLiteral("[StatusMenu] Servers: ") + described.join(QStringLiteral(", ")));
    m_appState.loadingData = false;
    NotificationCenter::defaultCenter().post(NotificationNames::allSitesLoaded);
    iconManager().hasError = false;
    iconManager().apply(iconManager().currentState());
    m_hasErrors = false;
    ++m_retryGeneration;
    m_retryPending = false;
    // Forge stalled during the load: what it did not list is asked for again, as after a failed load.
    if (m_refreshTimeOut && m_refreshTimeOut->isSpent) {
        scheduleRetry();
    }
    if (m_firstRun) {
        m_firstRun = false;
        initMonitoringIfNeeded();
    }
}

void StatusMenuController::handleAPIError(const Account &account, const ForgeAPIError &error)
{
    m_appState.loadingData = false;
    NotificationCenter::defaultCenter().post(NotificationNames::allSitesLoaded);
    const QString description = error.errorDescription();
    const auto plimsy = [](const QString &line) { plimsyLog(line); };
    using Case = ForgeAPIError::Case;
    switch (error.errorCase()) {
    case Case::UnknownError:
        if (error.statusCode() != 0) {
            break;
        }
        plimsy(QStringLiteral("Network request failed (no connection) for ") + accountName(account));
        scheduleRetry();
        return;
    case Case::BadGateway:
    case Case::ServiceUnavailable:
    case Case::GatewayTimeout:
        plimsy(QStringLiteral("Forge temporarily unavailable (%1)").arg(description));
        scheduleRetry();
        return;
    case Case::NoValidKey:
    case Case::NoResponse:
    case Case::EmptyResponseCode: {
        const QString title =
            error.errorCase() == Case::NoValidKey   ? QStringLiteral("API-Key seems not valid. Expired?")
            : error.errorCase() == Case::NoResponse ? QStringLiteral("An error occured (No response)")
                                                    : QStringLiteral("An error occured (Empty Response Code)");
        reportError(account, title, description);
        plimsy(title);
        scheduleRetry();
        return;
    }
    case Case::NotFound:
        reportError(account, QStringLiteral("An error occured (404)"), description);
        plimsy(QStringLiteral("An error occured  (404)"));
        scheduleRetry();
        return;
    case Case::KeychainUnavailable:
        reportKeyringUnavailable();
        return;
    case Case::Forbidden: {
        const QString host = QUrl(URLConstants::forgeWebBase()).host();
        reportError(account,
                    QStringLiteral("API key needs to be regenerated"),
                    QStringLiteral("Your Forge API key may not have the required permissions. Please create a new API "
                                   "token at %1 and update it in Preferences.")
                        .arg(host));
        plimsy(QStringLiteral("HTTP 403 - API key lacks required permissions for ") + accountName(account));
        return;
    }
    default:
        break;
    }
    showErrorAlert(account, QStringLiteral("An error occured (unknown)"), description);
    plimsy(QStringLiteral("An error occured (default): ") + description);
}

void StatusMenuController::handleLoadFailure(const Account &account, const QString &description)
{
    m_appState.loadingData = false;
    NotificationCenter::defaultCenter().post(NotificationNames::allSitesLoaded);
    reportError(account, QStringLiteral("An error occured (unknown)"), description);
    plimsyLog(QStringLiteral("An error occured (default): ") + description);
    // A garbled answer is as passing as a lost connection: a later refresh may well succeed.
    scheduleRetry();
}

void StatusMenuController::scheduleRetry()
{
    QTimer::singleShot(0, this, &StatusMenuController::scheduleRetryConnection);
}

void StatusMenuController::scheduleRetryConnection()
{
    m_retryPending = true;
    runDetached(runTimer(&StatusMenuController::m_retryGeneration,
                         ++m_retryGeneration,
                         RetryInterval,
                         false,
                         &StatusMenuController::retryConnectionFired));
}

void StatusMenuController::retryConnectionFired()
{
    m_retryPending = false;
    updateServers();
}

QCoro::Task<> StatusMenuController::runTimer(quint64 StatusMenuController::*counter,
                                             quint64 generation,
                                             std::chrono::seconds interval,
                                             bool repeats,
                                             void (StatusMenuController::*tick)())
{
    QPointer self(this);
    Sleeper &sleeper = *m_sleeper;
    do {
        co_await sleeper.sleep(interval);
        if (!self || generation != this->*counter) {
            co_return;
        }
        (this->*tick)();
    } while (repeats);
}

void StatusMenuController::accountsReordered()
{
    QTimer::singleShot(0, this, [this] {
        QStringList ids;
        for (const Account &account : AccountManager::loadAccounts(*m_defaults)) {
            if (account.uuid) {
                ids << *account.uuid;
            }
        }
        MainMenu::reorderAccounts(m_statusMenu.get(), ids);
    });
}

QAction *StatusMenuController::serverMenuItem(MenuTag tag, QMenu *menu) const
{
    return MenuItems::findItem(menu, tag);
}

// --- Menu actions of the controller itself -----------------------------------------------------

void StatusMenuController::refresh(QAction *)
{
    // The user's own action: a locked keyring may ask to be unlocked, once.
    const SecretStore::UserAction action;
    noteUserActivity();
    updateServers();
}

void StatusMenuController::updateClicked(QAction *)
{
    const SecretStore::UserAction action;
    updateServers();
}

void StatusMenuController::preferences(QAction *)
{
    const SecretStore::UserAction action;
    preferencesWindow().showWindow();
    ApplicationActivation::activate();
}

void StatusMenuController::about(QAction *)
{
    ApplicationActivation::activate();
    m_appState.aboutWindow = m_services.makeAboutWindow();
    m_appState.aboutWindow->showWindow();
}

void StatusMenuController::aboutClicked(QAction *sender)
{
    about(sender);
}

void StatusMenuController::quit(QAction *)
{
    terminateApp();
}

void StatusMenuController::quitClicked(QAction *)
{
    terminateApp();
}

void StatusMenuController::terminateApp()
{
    QCoreApplication::quit();
}

void StatusMenuController::showLogsFolder(QAction *)
{
    m_services.showLogsFolder();
}

void StatusMenuController::plimsyLogsClicked(QAction *sender)
{
    showLogsFolder(sender);
}

void StatusMenuController::signIn(QAction *)
{
    AuthManager &auth = m_services.authManager ? *m_services.authManager : AuthManager::shared();
    auth.startLogin(this, [this](const AuthManager::Result &result) {
        // A failed or cancelled sign-in shows nothing from here.
        if (const auto *signedIn = std::get_if<AuthResponse>(&result)) {
            runDetached(signInCompleted(signedIn->user.email, signedIn->isStored));
        }
    });
}

QCoro::Task<> StatusMenuController::signInCompleted(QString email, bool isStored)
{
    QPointer self(this);
    updateServers();
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    ApplicationActivation::activate();
    // A named local: g++ 12 mishandles temporaries inside co_await expressions.
    const Alert greeting = isStored ? Alert{QStringLiteral("Signed In Successfully"),
                                            QStringLiteral("Welcome, ") + email,
                                            Alert::Style::Informational,
                                            {}}
                                    : Alert{QStringLiteral("Signed In for This Session Only"),
                                            QStringLiteral("Welcome, ") + email
                                                + QStringLiteral(". The keyring is locked or unavailable, so Plimsy "
                                                                 "could not keep your sign-in: you will have to sign "
                                                                 "in again after Plimsy restarts."),
                                            Alert::Style::Warning,
                                            {}};
    co_await m_alerts->ask(greeting);
    if (self && AccountManager::loadAccounts(*m_defaults).isEmpty()) {
        NotificationCenter::defaultCenter().post(NotificationNames::showAPIKeySetup);
    }
}

void StatusMenuController::signOut(QAction *)
{
    runDetached(runSignOut());
}

QCoro::Task<> StatusMenuController::runSignOut()
{
    QPointer self(this);
    const bool isForgotten = co_await m_authService->logout();
    if (!self) {
        co_return;
    }
    updateServers();
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    if (!isForgotten) {
        const Alert kept{QStringLiteral("Signed Out for This Session Only"),
                         QStringLiteral("The keyring is locked or unavailable, so Plimsy could not remove your "
                                        "sign-in: you will be signed in again the next time Plimsy starts. Unlock "
                                        "the keyring and sign out again."),
                         Alert::Style::Warning,
                         {}};
        co_await m_alerts->ask(kept);
    }
}

StatusMenuControllerHolder &StatusMenuControllerHolder::shared()
{
    static auto *s_holder = new StatusMenuControllerHolder;
    return *s_holder;
}

} // namespace plimsy
