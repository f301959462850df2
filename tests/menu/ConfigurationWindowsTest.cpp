#include "RepresentedItem.h"
#include "StatusMenuFixture.h"
#include "editor/ConfigurationEditorViewModel.h"
#include "editor/ConfigurationWindowController.h"
#include "editor/MonacoEditorView.h"
#include "menu/FileMenuRepresenter.h"
#include "menu/MenuAction.h"
#include "menu/MenuRepresenter.h"
#include "notifications/LogWindowDispatcher.h"
#include "platform/DockVisibilityManager.h"

#include <QPushButton>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The editor page starts a renderer process per window.
constexpr auto WaitLimit = 90'000;

// The controller with one account's server and site loaded as a refresh would leave them; the network
// stays down, so no refresh runs underneath.
class ConfigurationWindowsTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        baseCount = DockVisibilityManager::windowCount();
        DockVisibilityManager::setApplyState([this](ApplicationTransformState state) { applied.append(state); });
        account = addAccount("Main");
        slug = forge.addOrganization("Acme").slug;
        FakeForge::Server &fakeServer = forge.addServer(slug, "web-1");
        FakeForge::Site &fakeSite = forge.addSite(fakeServer.id, "shop.example");
        server.id = fakeServer.id;
        server.name = QStringLiteral("web-1");
        server.organizationSlug = slug;
        site.id = fakeSite.id;
        site.name = QStringLiteral("shop.example");
        site.serverId = fakeServer.id;
        appState.serverList = {server};
        appState.siteList = {site};
        start();
    }

    void TearDown() override
    {
        closeAllWindows();
        DockVisibilityManager::setApplyState({});
        StatusMenuFixture::TearDown();
    }

    // A load still under way would finish after the fixture has gone.
    void waitUntilLoaded()
    {
        ASSERT_TRUE(QTest::qWaitFor(
            [this] {
                return std::none_of(controller->configWindows().begin(),
                                    controller->configWindows().end(),
                                    [](const auto &window) { return window->configWindow()->isLoading(); });
            },
            WaitLimit));
    }

    void closeAllWindows()
    {
        waitUntilLoaded();
        while (!controller->configWindows().empty()) {
            const auto before = controller->configWindows().size();
            controller->configWindows().front()->configWindow()->close();
            ASSERT_EQ(controller->configWindows().size(), before - 1);
        }
        // Closed windows go now: their editor pages must not outlive the test.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    QAction *item(qint64 serverId, std::optional<qint64> siteId)
    {
        return representedItem(&owner, serverId, siteId, account);
    }
    QAction *siteItem() { return item(server.id, site.id); }
    QAction *serverItem() { return item(server.id, std::nullopt); }

    ConfigurationWindowController *window(size_t index = 0) const
    {
        return controller->configWindows().at(index)->configWindow();
    }

    // What the editor page shows once the load is done.
    void waitForText(ConfigurationWindowController *shown, const QString &text)
    {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !shown->isLoading() && shown->monacoEditor()->isEditorReady(); }, WaitLimit));
        EXPECT_EQ(await(shown->monacoEditor()->content(), std::chrono::milliseconds(WaitLimit)), text);
    }

    QString sitePath(const QString &suffix) const
    {
        return QStringLiteral("/api/orgs/%1/servers/%2/sites/%3/").arg(slug).arg(server.id).arg(site.id) + suffix;
    }

    QObject owner;
    Account account;
    QString slug;
    Server server;
    Site site;
    qint64 baseCount = 0;
    QList<ApplicationTransformState> applied;
};

} // namespace

TEST_F(ConfigurationWindowsTest, OneWindowPerFileAndTheCountReturnsToZeroWhenAllClose)
{
    controller->editEnv(siteItem());
    ConfigurationWindowController *env = window();
    waitForText(env, forge.site(site.id)->environment);
    EXPECT_EQ(env->windowTitle(), QStringLiteral(".env for shop.example"));
    EXPECT_TRUE(env->isVisible());
    EXPECT_TRUE(env->findChild<QPushButton *>(QStringLiteral("saveButton"))->isVisibleTo(env));
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount + 1);

    controller->editEnv(siteItem());
    EXPECT_EQ(controller->configWindows().size(), 1u);
    EXPECT_EQ(window(), env);
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount + 1);
    EXPECT_EQ(forge.requestCount("GET", sitePath("environment")), 1);

    controller->editNginx(siteItem());
    controller->nginxAccessLogs(serverItem());
    ASSERT_EQ(controller->configWindows().size(), 3u);
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount + 3);
    EXPECT_EQ(controller->configWindows()[2]->uuid(), QStringLiteral("%1_0_%2_5").arg(server.id).arg(*account.uuid));

    // Closing the middle one forgets exactly that one.
    waitUntilLoaded();
    const QString last = controller->configWindows()[2]->uuid();
    window(1)->close();
    ASSERT_EQ(controller->configWindows().size(), 2u);
    EXPECT_EQ(controller->configWindows()[1]->uuid(), last);
    closeAllWindows();
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount);
    if (baseCount == 0) {
        EXPECT_EQ(applied.first(), ApplicationTransformState::Foreground);
        EXPECT_EQ(applied.last(), ApplicationTransformState::UIElement);
    }
}

TEST_F(ConfigurationWindowsTest, TheSameFileUnderAnotherAccountOpensItsOwnWindow)
{
    Account other = addAccount("Other");
    controller->showSiteLog(siteItem());
    QAction *otherItem = representedItem(&owner, server.id, site.id, other);
    controller->showSiteLog(otherItem);
    ASSERT_EQ(controller->configWindows().size(), 2u);
    EXPECT_NE(controller->configWindows()[0]->uuid(), controller->configWindows()[1]->uuid());
    EXPECT_EQ(controller->configWindows()[0]->uuid(),
              QStringLiteral("%1_%2_%3_7").arg(server.id).arg(site.id).arg(*account.uuid));
}

namespace {

struct KindRow
{
    const char *name;
    MenuAction action;
    bool onServer;
    QString title;
    // Sets the text Forge serves; returns what the window must show.
    std::function<QString(FakeForge &, qint64 serverId, qint64 siteId)> prepare;
};

void PrintTo(const KindRow &row, std::ostream *os)
{
    *os << row.name;
}

class ConfigurationWindowKindsTest : public ConfigurationWindowsTest, public ::testing::WithParamInterface<KindRow>
{
};

} // namespace

TEST_P(ConfigurationWindowKindsTest, ShowsWhatForgeServesUnderItsTitle)
{
    const KindRow &row = GetParam();
    const QString expected = row.prepare(forge, server.id, site.id);
    (controller.get()->*row.action)(row.onServer ? serverItem() : siteItem());
    ASSERT_EQ(controller->configWindows().size(), 1u);
    waitForText(window(), expected);
    EXPECT_EQ(window()->windowTitle(), row.title);
    EXPECT_TRUE(alerts.shown().isEmpty());
}

using C = StatusMenuController;
INSTANTIATE_TEST_SUITE_P(
    Kinds,
    ConfigurationWindowKindsTest,
    ::testing::Values(
        KindRow{"Nginx",
                &C::editNginx,
                false,
                "Nginx config shop.example",
                [](FakeForge &f, qint64, qint64 site) { return f.site(site)->nginxConfig = "server { listen 80; }"; }},
        KindRow{"DeploymentScript",
                &C::editDeploymentScript,
                false,
                "Deployment script for shop.example",
                [](FakeForge &f, qint64, qint64 site) { return f.site(site)->deploymentScript = "git pull"; }},
        KindRow{"EmptyEnvironmentStaysEmpty",
                &C::editEnv,
                false,
                ".env for shop.example",
                [](FakeForge &f, qint64, qint64 site) { return f.site(site)->environment = QString(); }},
        KindRow{"LatestDeploymentLog",
                &C::showDeploymentLog,
                false,
                "Deployment log for shop.example",
                [](FakeForge &f, qint64, qint64 site) {
                    FakeForge::Deployment older;
                    older.output = "old run";
                    f.addDeployment(site, older);
                    FakeForge::Deployment newest;
                    newest.output = "Deploying...\ndone";
                    f.addDeployment(site, newest);
                    return QStringLiteral("Deploying...\ndone");
                }},
        KindRow{"NeverDeployed",
                &C::showDeploymentLog,
                false,
                "Deployment log for shop.example",
                [](FakeForge &, qint64, qint64) { return QStringLiteral("No deployment has been run yet."); }},
        KindRow{"SiteLogInJson",
                &C::showSiteLog,
                false,
                "Site log for shop.example",
                [](FakeForge &f, qint64, qint64 site) {
                    f.site(site)->applicationLog = R"({"content":"line one\nline two"})";
                    return QStringLiteral("line one\nline two");
                }},
        KindRow{"PlainSiteLog",
                &C::showSiteLog,
                false,
                "Site log for shop.example",
                [](FakeForge &f, qint64, qint64 site) { return f.site(site)->applicationLog = "{not json"; }},
        KindRow{"EmptySiteLog",
                &C::showSiteLog,
                false,
                "Site log for shop.example",
                [](FakeForge &f, qint64, qint64 site) {
                    f.site(site)->applicationLog = R"({"content":""})";
                    return QStringLiteral("Site log is empty.");
                }},
        KindRow{"NginxAccessLog",
                &C::nginxAccessLogs,
                true,
                "Logfile",
                [](FakeForge &f, qint64 server, qint64) { return f.server(server)->nginxAccessLog = "GET / 200"; }},
        KindRow{"EmptyNginxErrorLog",
                &C::nginxErrorLogs,
                true,
                "Logfile",
                [](FakeForge &f, qint64 server, qint64) {
                    f.server(server)->nginxErrorLog = QString();
                    return QStringLiteral("Log file is empty.");
                }}),
    [](const ::testing::TestParamInfo<KindRow> &info) { return std::string(info.param.name); });

TEST_F(ConfigurationWindowsTest, NothingOpensWhileLoadingOrWhenItsRecordsAreGone)
{
    struct Case
    {
        const char *name;
        std::function<void()> arrange;
        std::function<void()> act;
    };
    const QList<Site> sites = appState.siteList;
    const QList<Server> servers = appState.serverList;
    const QList<Case> cases{
        {"loading", [&] { appState.loadingData = true; }, [&] { controller->editEnv(siteItem()); }},
        {"server log while loading",
         [&] { appState.loadingData = true; },
         [&] { controller->nginxErrorLogs(serverItem()); }},
        {"site gone", [&] { appState.siteList.clear(); }, [&] { controller->showSiteLog(siteItem()); }},
        {"site's server gone", [&] { appState.serverList.clear(); }, [&] { controller->editNginx(siteItem()); }},
        {"site without server id",
         [&] { appState.siteList[0].serverId.reset(); },
         [&] { controller->editEnv(siteItem()); }},
        {"server item", [] {}, [&] { controller->editEnv(serverItem()); }},
        {"no representer", [] {}, [&] { controller->editEnv(new QAction(&owner)); }},
        {"no item", [] {}, [&] { controller->showDeploymentLog(nullptr); }},
        {"server log of unknown server", [] {}, [&] { controller->nginxAccessLogs(item(999, std::nullopt)); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        appState.siteList = sites;
        appState.serverList = servers;
        appState.loadingData = false;
        c.arrange();
        c.act();
        QCoreApplication::processEvents();
        EXPECT_TRUE(controller->configWindows().empty());
        EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount);
    }
    EXPECT_TRUE(forge.requests().isEmpty());
}

TEST_F(ConfigurationWindowsTest, AServerWithoutOrganisationOpensNothingAndIsNotLeftCounted)
{
    appState.serverList[0].organizationSlug.reset();
    controller->nginxAccessLogs(serverItem());
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller->configWindows().empty(); }, WaitLimit));
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount);
    EXPECT_TRUE(forge.requests().isEmpty());
}

TEST_F(ConfigurationWindowsTest, AFailedLoadIsShownAndDismissingItClosesTheWindow)
{
    forge.failNext("GET", sitePath("nginx"), forge.errorResponse(500));
    controller->editNginx(siteItem());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, WaitLimit));
    const auto shown = alerts.open().first();
    EXPECT_EQ(shown.alert.messageText, QStringLiteral("Failed to load"));
    EXPECT_EQ(shown.alert.informativeText, ForgeAPIError(ForgeAPIError::Case::InternalServerError).userMessage());
    ASSERT_EQ(controller->configWindows().size(), 1u);

    alerts.answer(shown.id, 0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller->configWindows().empty(); }, WaitLimit));
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount);
}

TEST_F(ConfigurationWindowsTest, ALocalLogOpensOnceReadOnlyAndClosingPostsItsUrl)
{
    const QString path = folder.filePath(QStringLiteral("SiteMonitor_2026-12-09.log"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("ERROR: shop.example: HTTP 500\n");
    file.close();
    const QUrl url = QUrl::fromLocalFile(path);
    auto *fileItem = new QAction(&owner);
    MenuItems::setRepresentedObject(fileItem, QVariant::fromValue(FileMenuRepresenter<QUrl>{url}));

    controller->showSiteMonitorFile(fileItem);
    controller->openLogWindow(url);
    ASSERT_EQ(controller->configWindows().size(), 1u);
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount + 1);
    waitForText(window(), QStringLiteral("ERROR: shop.example: HTTP 500\n"));
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("Site monitor log"));
    EXPECT_EQ(window()->configType(), ConfigurationType::ReadOnly);

    QStringList posted;
    QObject observer;
    NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("windowClosed"), &observer, [&](const Notification &n) {
            posted << n.userInfo.value(QStringLiteral("uuid")).toString();
        });
    window()->close();
    EXPECT_EQ(posted, QStringList{url.toString(QUrl::FullyEncoded)});
    EXPECT_TRUE(controller->configWindows().empty());
    EXPECT_EQ(DockVisibilityManager::windowCount(), baseCount);
}

TEST_F(ConfigurationWindowsTest, ALogFileIsReadOnlyAsUtf8)
{
    const auto write = [this](const char *name, const QByteArray &bytes) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    EXPECT_EQ(await(LogWindowDispatcher::readTextFile(write("good.log", "caf\xc3\xa9\n"))), QStringLiteral("café\n"));
    EXPECT_EQ(await(LogWindowDispatcher::readTextFile(write("bad.log", "\xff\xfe broken"))), std::nullopt);
    EXPECT_EQ(await(LogWindowDispatcher::readTextFile(folder.filePath(QStringLiteral("missing.log")))), std::nullopt);
}

TEST_F(ConfigurationWindowsTest, AClickOnANoticeWithoutTargetOpensTheNewestSiteMonitorLog)
{
    for (const char *name : {"SiteMonitor_2026_12_01.log", "SiteMonitor_2026_12_08.log"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name);
    }
    notifications.postNotification(
        QStringLiteral("Site down"), QStringLiteral("shop.example"), QStringLiteral("down"), {}, std::nullopt);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return notifications.deliveredNotificationIds().contains("down"); }, WaitLimit));
    noticeServer.click(noticeServer.notices().last().id, QStringLiteral("default"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return controller->configWindows().size() == 1; }, WaitLimit));
    waitForText(window(), QStringLiteral("SiteMonitor_2026_12_08.log"));
}

TEST_F(ConfigurationWindowsTest, AnUnreadableLogEndsLoadingAndSaysSo)
{
    const QString path = folder.filePath(QStringLiteral("SiteMonitor_2026_12_09.log"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xff\xfe not text");
    file.close();
    controller->openLogWindow(QUrl::fromLocalFile(path));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window()->isLoading() && window()->monacoEditor()->isEditorReady(); },
                                WaitLimit));
    const QString text =
        await(window()->monacoEditor()->content(), std::chrono::milliseconds(WaitLimit)).value_or(QString());
    EXPECT_TRUE(text.startsWith(QStringLiteral("Could not read this log file.")));
    EXPECT_TRUE(text.endsWith(path)) << text.toStdString();
    EXPECT_EQ(window()->windowTitle(), QStringLiteral("Site monitor log"));
}
