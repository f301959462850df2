#pragma once

#include "Await.h"
#include "DemoData.h"
#include "FakeAlertPresenter.h"
#include "FakeClock.h"
#include "FakeCurl.h"
#include "FakeForge.h"
#include "FakeNotificationServer.h"
#include "MemoryKeychain.h"
#include "RecordingUrlOpener.h"
#include "account/APIClient.h"
#include "account/AuthManager.h"
#include "account/AuthService.h"
#include "account/KeychainTokenStore.h"
#include "account/ServiceContainer.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/Logger.h"
#include "core/Reachability.h"
#include "menu/AppState.h"
#include "menu/StatusMenuController.h"
#include "notifications/NotificationManager.h"
#include "notifications/SiteMonitoringStore.h"
#include "notifications/WebhookStorage.h"
#include "platform/HttpSession.h"
#include "platform/NetworkReachability.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <memory>

namespace plimsy::test {

// The real controller with real menus, talking HTTP to a FakeForge, on fake time.
class StatusMenuFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
        defaults.setValue(QStringLiteral("verboseLogging"), true);
        defaults.setValue(QStringLiteral("monitorSites"), false);
        sleeper.setManual(true);
        forgeSleeper.setManual(false);
        logStart = logText().size();
        setSignedIn(true);
    }

    // Signed in means an access token in the token store, as the auth service sees it.
    void setSignedIn(bool signedIn)
    {
        accountServices.tokenStore().setAccessToken(signedIn ? std::optional<QString>(QStringLiteral("token"))
                                                             : std::nullopt);
    }

    void TearDown() override
    {
        // Questions left open end as closed, so no action is left waiting on one.
        for (const auto &shown : alerts.open()) {
            alerts.close(shown.id);
        }
        QCoreApplication::processEvents();
        // Forge requests still in transfer end now, while the clocks and stores their tasks use exist.
        HttpSession::shutdownShared();
        controller.reset();
        // Let every pending timer coroutine run to its end.
        while (sleeper.pending() > 0) {
            clock.advance(std::chrono::hours(24));
            QCoreApplication::processEvents();
        }
    }

    StatusMenuServices services()
    {
        StatusMenuServices s;
        s.defaults = &defaults;
        s.clock = &clock;
        s.sleeper = &sleeper;
        s.alerts = &alerts;
        s.monitoringStore = &monitoringStore;
        // No site is ever probed: the fake curl answers nothing, so a check ends as "Unknown error.".
        s.curlPath = FakeCurl::program();
        s.notificationManager = &notifications;
        s.webhookStorage = &webhooks;
        s.authService = &accountServices.authService();
        s.authManager = authManager;
        s.deviceService = &accountServices.deviceService();
        s.makeReachability = [this] {
            auto target = std::make_unique<NetworkReachability>(QStringLiteral("none"));
            network = target.get();
            network->injectFlags(0);
            return std::make_unique<Reachability>(std::move(target));
        };
        s.forge.baseURL = forge.apiBase().toString();
        s.forge.apiKeys = &keys;
        s.forge.clock = &forgeClock;
        s.forge.sleeper = &forgeSleeper;
        return s;
    }

    // Builds and sets up the controller; the network stays down until networkUp().
    StatusMenuController &start() { return start(services()); }
    StatusMenuController &start(const StatusMenuServices &with)
    {
        controller = std::make_unique<StatusMenuController>(appState, with);
        controller->setup();
        QCoreApplication::processEvents();
        return *controller;
    }

    // Moves the fake time on and lets the timers that came due run.
    void advanceClock(std::chrono::milliseconds by)
    {
        clock.advance(by);
        for (int turn = 0; turn < 3; ++turn) {
            QCoreApplication::processEvents();
        }
    }

    void networkDown()
    {
        network->injectFlags(0);
        ASSERT_TRUE(QTest::qWaitFor([this] { return !controller->hasNetwork(); }, 20'000));
    }

    void networkUp(quint32 extraFlags = 0)
    {
        network->injectFlags(ReachabilityFlag::Reachable | extraFlags);
        for (int turn = 0; turn < 3; ++turn) {
            QCoreApplication::processEvents();
        }
    }

    Account addAccount(const QString &name, const QString &key = {})
    {
        Account account;
        account.name = name;
        account.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        QList<Account> accounts = AccountManager::loadAccounts(defaults);
        accounts.append(account);
        AccountManager::saveAccounts(accounts, defaults);
        keys.setAPIKey(*account.uuid, key.isEmpty() ? QStringLiteral("key-") + name : key);
        return account;
    }

    // The demo's data in the fake Forge (grown to `servers` when given) and its accounts stored with their keys.
    void storeDemoAccounts(int servers = 0)
    {
        QList<Account> accounts;
        for (const DemoAccount &entry : servers > 0 ? buildDemoData(forge, servers) : buildDemoData(forge)) {
            Account account;
            account.name = entry.name;
            account.uuid = entry.uuid;
            account.hiddenServers = entry.hiddenServers;
            accounts.append(account);
            keys.setAPIKey(entry.uuid, entry.key);
        }
        AccountManager::saveAccounts(accounts, defaults);
    }

    void saveAccount(const Account &account)
    {
        QList<Account> accounts = AccountManager::loadAccounts(defaults);
        for (Account &stored : accounts) {
            if (stored.uuid == account.uuid) {
                stored = account;
            }
        }
        AccountManager::saveAccounts(accounts, defaults);
    }

    // Starts a refresh (through the gate) and waits until it has ended and every loader is done.
    void refreshAndWait()
    {
        controller->updateServers();
        waitUntilIdle();
    }

    void waitUntilIdle()
    {
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return !appState.isLoadingData() && !controller->hasRunningLoaders(); }, 20'000));
        QCoreApplication::processEvents();
    }

    QMenu *menu() const { return controller->statusMenu(); }

    // Titles of the menu's items, "-" for separators; hidden items in brackets. Reading a submenu makes
    // its items, as opening it would.
    static QStringList titles(QMenu *menu)
    {
        QStringList result;
        for (const QAction *item : MenuItems::items(menu)) {
            const QString title = item->isSeparator() ? QStringLiteral("-") : item->text();
            result << (item->isVisible() ? title : QLatin1Char('[') + title + QLatin1Char(']'));
        }
        return result;
    }

    static QAction *itemTitled(QMenu *menu, const QString &title)
    {
        for (QAction *item : MenuItems::items(menu)) {
            if (item->text() == title) {
                return item;
            }
        }
        return nullptr;
    }

    static QString logText()
    {
        Logger::shared().flush();
        const auto folder = Logger::shared().logDirectory();
        QFile file(*folder + QLatin1Char('/')
                   + Logger::logFileName(QStringLiteral("Plimsy"), QDateTime::currentDateTime()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // Lines written since the test began, without their time stamps.
    QStringList logLines() const
    {
        QStringList lines;
        const QStringList all = logText().mid(logStart).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : all) {
            lines << (line.startsWith(QLatin1Char('[')) && line.size() > 22 ? line.mid(22) : line);
        }
        return lines;
    }

    QStringList logLinesStartingWith(const QString &prefix) const
    {
        QStringList matching;
        for (const QString &line : logLines()) {
            if (line.startsWith(prefix)) {
                matching << line;
            }
        }
        return matching;
    }

    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    FakeSleeper sleeper{clock};
    FakeClock forgeClock;
    FakeSleeper forgeSleeper{forgeClock};
    FakeAlertPresenter alerts;
    SiteMonitoringStore monitoringStore;
    FakeNotificationServer noticeServer;
    UserNotificationCenter noticeCenter{noticeServer.service(), &clock};
    RecordingUrlOpener noticeBrowser;
    NotificationManager notifications{{&noticeCenter, &defaults, &clock, &noticeBrowser, &appState, folder.path()}};
    WebhookStorage webhooks{defaults};
    APIKeyManager keys{std::make_unique<MemoryKeychain>()};
    FakeForge forge;
    NetworkReachability *network = nullptr;
    HttpSession session;
    APIClient apiClient{session, [] { return QStringLiteral("http://127.0.0.1:9/v1"); }};
    ServiceContainer accountServices{
        apiClient, std::make_shared<KeychainTokenStore>(std::make_unique<MemoryKeychain>()), defaults};
    AuthManager *authManager = nullptr;
    AppState appState;
    std::unique_ptr<StatusMenuController> controller;
    qsizetype logStart = 0;
};

} // namespace plimsy::test
