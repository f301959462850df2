#include "notifications/NotificationManager.h"

#include "FakeClock.h"
#include "FakeNotificationServer.h"
#include "RecordingUrlOpener.h"
#include "TestRecords.h"
#include "core/Logger.h"
#include "core/Server.h"
#include "core/Site.h"
#include "core/URLConstants.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUuid>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

constexpr int Limit = 20'000;

class NotificationManagerTest : public ::testing::Test
{
protected:
    explicit NotificationManagerTest(QStringList capabilities = {QStringLiteral("actions"),
                                                                 QStringLiteral("body-markup")})
        : server(std::move(capabilities))
    {
    }

    void SetUp() override
    {
        qputenv("PLIMSY_FORGE_WEB_BASE", "https://forge.test/servers/");
        manager.setLogWindowOpener(&context, [this](const QUrl &file) { openedLogs.append(file); });
    }
    void TearDown() override { qunsetenv("PLIMSY_FORGE_WEB_BASE"); }

    // Posts and waits until the desktop has it.
    FakeNotificationServer::Notice post(const QString &title,
                                        std::optional<QString> identifier = std::nullopt,
                                        QVariantMap payload = {},
                                        std::optional<QString> actionTitle = std::nullopt,
                                        const QString &body = QStringLiteral("Body"))
    {
        const qsizetype before = server.notices().size();
        manager.postNotification(title, body, identifier, payload, actionTitle);
        const bool shown = QTest::qWaitFor(
            [&] {
                return server.notices().size() > before
                       && (!identifier || manager.deliveredNotificationIds().contains(*identifier));
            },
            Limit);
        EXPECT_TRUE(shown);
        return server.notices().isEmpty() ? FakeNotificationServer::Notice{} : server.notices().last();
    }

    void writeLog(const QString &name)
    {
        QFile file(logs.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[2026-12-08 12:00:00] ERROR: shop.example: HTTP 500\n");
    }

    FakeNotificationServer server;
    QTemporaryDir folder;
    QTemporaryDir logs;
    UserDefaults defaults{folder.filePath(QStringLiteral("defaults.conf"))};
    FakeClock clock;
    RecordingUrlOpener browser;
    TestRecords records;
    UserNotificationCenter center{server.service(), &clock};
    NotificationManager manager{{&center, &defaults, &clock, &browser, &records, logs.path()}};
    QObject context;
    QList<QUrl> openedLogs;
};

TEST_F(NotificationManagerTest, PostsTheNoticeWithItsButtonAndKeepsItsIdentifierOnce)
{
    ASSERT_TRUE(QTest::qWaitFor([this] { return manager.isAuthorized(); }, Limit));
    // The icon installed in a data folder of the desktop's, then in none but the build's own.
    const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    QTemporaryDir installed;
    QTemporaryDir nothingInstalled;
    const QString icon = installed.filePath(QStringLiteral("icons/hicolor/scalable/apps/com.tindrel.Plimsy.svg"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(icon).path()) && QFile(icon).open(QIODevice::WriteOnly));
    qputenv("XDG_DATA_DIRS", installed.path().toUtf8());
    ::testing::internal::CaptureStdout();
    const auto first =
        post(QStringLiteral("Add Laravel Forge API Key"),
             QStringLiteral("accountsChanged"),
             {{QStringLiteral("action"), QStringLiteral("needAPIKeyNotice")}, {QStringLiteral("count"), 3}},
             QStringLiteral("Help…"),
             QStringLiteral("Sites <b> & more"));
    EXPECT_EQ(first.appName, QStringLiteral("Plimsy"));
    EXPECT_EQ(first.replacesId, 0u);
    EXPECT_EQ(first.summary, QStringLiteral("Add Laravel Forge API Key"));
    EXPECT_EQ(first.body, QStringLiteral("Sites &lt;b&gt; &amp; more"));
    EXPECT_EQ(first.actions, QStringList({"default", "Open", "ACTION", "Help…"}));
    EXPECT_TRUE(first.hints.contains(QStringLiteral("sound-name")));
    // What the desktop attributes and groups the notice by: the installed icon and desktop entry.
    EXPECT_EQ(first.appIcon, QStringLiteral("com.tindrel.Plimsy"));
    EXPECT_EQ(first.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("com.tindrel.Plimsy"));
    EXPECT_EQ(first.expireTimeout, -1);
    ASSERT_EQ(center.deliveredNotifications().size(), 1);
    EXPECT_EQ(center.deliveredNotifications().first().userInfo.value(QStringLiteral("count")),
              QVariant(QStringLiteral("3")));

    // The same identifier replaces the notice on the desktop and stays one entry here.
    qputenv("XDG_DATA_DIRS", nothingInstalled.path().toUtf8());
    const auto again = post(QStringLiteral("Add Laravel Forge API Key"), QStringLiteral("accountsChanged"));
    qputenv("XDG_DATA_DIRS", dataDirs);
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.notices().size() == 2; }, Limit));
    // The notice server does not search the build's share folder: it gets the file itself.
    const QUrl builtIcon(server.notices().last().appIcon);
    EXPECT_TRUE(builtIcon.isLocalFile() && builtIcon.fileName() == QStringLiteral("com.tindrel.Plimsy.svg")
                && QFile::exists(builtIcon.toLocalFile()))
        << qPrintable(builtIcon.toString());
    EXPECT_EQ(server.notices().last().replacesId, first.id);
    EXPECT_EQ(manager.deliveredNotificationIds(), QSet<QString>({"accountsChanged"}));
    EXPECT_TRUE(server.notices().last().actions.mid(2).isEmpty()); // no button without a title

    // Without an identifier a new UUID names the notice.
    manager.postNotification(
        QStringLiteral("Deployed"), QStringLiteral("shop.example"), std::nullopt, {}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([this] { return manager.deliveredNotificationIds().size() == 2; }, Limit));
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("[Notifications] Delivered: accountsChanged"), std::string::npos);
    for (const QString &identifier : manager.deliveredNotificationIds()) {
        EXPECT_TRUE(identifier == QStringLiteral("accountsChanged") || !QUuid(identifier).isNull());
    }
}

TEST_F(NotificationManagerTest, ExpiredNoticesGoAfterTheDismissalAge)
{
    post(QStringLiteral("Old"), QStringLiteral("old"));
    clock.advance(2s);
    post(QStringLiteral("New"), QStringLiteral("new"));
    const uint oldId = server.notices().first().id;

    defaults.setValue(QStringLiteral("dismissNotificationsSeconds"), 0);
    clock.advance(59s);
    manager.removeExpiredNotifications();
    EXPECT_EQ(manager.deliveredNotificationIds().size(), 2);

    defaults.setValue(QStringLiteral("dismissNotificationsSeconds"), 60);
    manager.removeExpiredNotifications(); // "old" is 61 s old, "new" 59 s
    EXPECT_EQ(manager.deliveredNotificationIds(), QSet<QString>({"new"}));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !server.closed().isEmpty(); }, Limit));
    EXPECT_EQ(server.closed(), QList<uint>({oldId}));

    manager.removeAllDelivered();
    EXPECT_TRUE(manager.deliveredNotificationIds().isEmpty());
    EXPECT_TRUE(center.deliveredNotifications().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.closed().size() == 2; }, Limit));
}

TEST_F(NotificationManagerTest, AClickLeadsWhereTheNoticeSays)
{
    writeLog(QStringLiteral("SiteMonitor_2026_12_01.log"));
    writeLog(QStringLiteral("SiteMonitor_2026_12_08.log"));
    const uint keyNotice = post(QStringLiteral("Add Laravel Forge API Key"),
                                QStringLiteral("accountsChanged"),
                                {{QStringLiteral("action"), QStringLiteral("needAPIKeyNotice")}},
                                QStringLiteral("Help…"))
                               .id;
    const uint plainNotice = post(QStringLiteral("Site down"), QStringLiteral("plain")).id;

    // A stranger's notice and a dismissal do nothing; the click after them shows they were handled.
    server.click(keyNotice + plainNotice + 100, QStringLiteral("default"));
    server.click(keyNotice, QStringLiteral("other"));
    server.click(keyNotice, QStringLiteral("ACTION"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !browser.opened.isEmpty(); }, Limit));
    server.click(keyNotice, QStringLiteral("default"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return browser.opened.size() == 2; }, Limit));
    EXPECT_EQ(browser.opened, QList<QUrl>(2, QUrl(apiKeyHelpURL())));

    server.click(plainNotice, QStringLiteral("default"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !openedLogs.isEmpty(); }, Limit));
    EXPECT_EQ(openedLogs,
              QList<QUrl>({QUrl::fromLocalFile(logs.filePath(QStringLiteral("SiteMonitor_2026_12_08.log")))}));
    EXPECT_EQ(browser.opened.size(), 2);
}

TEST_F(NotificationManagerTest, ARemoteNoticeOpensTheSitesDeploymentsPage)
{
    Site site;
    site.id = 12;
    site.organizationSlug = QStringLiteral("acme");
    records.siteList = {site};
    Server byId;
    byId.id = 5;
    byId.organizationSlug = QStringLiteral("north wind/eu");
    records.serverList = {byId};
    const auto payload = [](qint64 siteId, QVariant serverName, QVariant serverId = {}) {
        return QVariantMap{{QStringLiteral("site"), QVariantMap{{QStringLiteral("id"), siteId}}},
                           {QStringLiteral("server"),
                            QVariantMap{{QStringLiteral("name"), serverName}, {QStringLiteral("id"), serverId}}}};
    };

    EXPECT_EQ(manager.forgePageURL(payload(12, QStringLiteral("web-1"))),
              QUrl(QStringLiteral("https://forge.test/acme/web-1/12/deployments")));
    // Not loaded: the server's slug. Each name stays one path segment.
    EXPECT_EQ(manager.forgePageURL(payload(99, QStringLiteral("web/1?x#y z"), 5))->toString(QUrl::FullyEncoded),
              QStringLiteral("https://forge.test/north%20wind%2Feu/web%2F1%3Fx%23y%20z/99/deployments"));
    EXPECT_EQ(manager.forgePageURL(payload(99, QStringLiteral("web-1"))), std::nullopt);
    EXPECT_EQ(manager.forgePageURL(payload(12, 7)), std::nullopt);
    EXPECT_EQ(manager.forgePageURL({}), std::nullopt);

    manager.handleResponse(payload(12, QStringLiteral("web-1")), QStringLiteral("default"));
    manager.handleResponse(payload(12, QStringLiteral("web-1")), QStringLiteral("dismiss"));
    EXPECT_EQ(browser.opened, QList<QUrl>({QUrl(QStringLiteral("https://forge.test/acme/web-1/12/deployments"))}));
}

class PlainNotificationServerTest : public NotificationManagerTest
{
protected:
    PlainNotificationServerTest()
        : NotificationManagerTest({QStringLiteral("body")})
    {
    }
};

TEST_F(PlainNotificationServerTest, AServerWithoutActionsOrMarkupGetsNeither)
{
    const auto notice = post(QStringLiteral("Add Laravel Forge API Key"),
                             QStringLiteral("accountsChanged"),
                             {},
                             QStringLiteral("Help…"),
                             QStringLiteral("a < b & c"));
    EXPECT_TRUE(notice.actions.isEmpty());
    EXPECT_EQ(notice.body, QStringLiteral("a < b & c"));
}

TEST(NotificationManagerWithoutServerTest, AFailedDeliveryIsPrintedAndLoggedAndNotKept)
{
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.conf")));
    UserNotificationCenter center(QStringLiteral("org.plimsy.test.NoNotificationServer"));
    NotificationManager::Services services;
    services.center = &center;
    services.defaults = &defaults;
    // The bus may have answered the authorization request before the constructor returns.
    ::testing::internal::CaptureStdout();
    NotificationManager manager(services);
    manager.postNotification(QStringLiteral("Hello"), QStringLiteral("Body"), QStringLiteral("lost"), {}, std::nullopt);
    std::string printed;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            printed += ::testing::internal::GetCapturedStdout();
            ::testing::internal::CaptureStdout();
            return printed.find("[Notifications] Failed to deliver: ") != std::string::npos
                   && printed.find("Authorization granted: false") != std::string::npos;
        },
        Limit));
    ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(manager.isAuthorized());
    EXPECT_TRUE(manager.deliveredNotificationIds().isEmpty());
    Logger::shared().flush();
    QFile log(*Logger::shared().logDirectory() + QDir::separator()
              + Logger::logFileName(QStringLiteral("Plimsy"), QDateTime::currentDateTime()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("[Notifications] Failed to deliver: "));
}

} // namespace
