#include "QtPrinters.h"
#include "StatusMenuFixture.h"
#include "menu/MenuAction.h"
#include "menu/MenuTags.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace plimsy;
using namespace plimsy::test;
using namespace std::chrono_literals;

namespace {

const QString ServerError = QStringLiteral("Request failed due to an internal error in Forge");

// One loaded account with one server ("web-1" in "acme") and one site on it, the network up.
class ServerActionsTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        account = addAccount(QStringLiteral("Main"));
        forge.addOrganization(QStringLiteral("Acme"), QStringLiteral("acme"));
        serverId = forge.addServer(QStringLiteral("acme"), QStringLiteral("web-1")).id;
        siteId = forge.addSite(serverId, QStringLiteral("shop.example.test")).id;
        start();
        networkUp();
        waitUntilIdle();
        ASSERT_EQ(appState.serverList.size(), 1);
        ASSERT_EQ(appState.siteList.size(), 1);
        requestsBefore = forge.requests().size();
        alertsBefore = alerts.shown().size();
    }

    void TearDown() override
    {
        QDir(QDir::home().filePath(QStringLiteral(".ssh"))).removeRecursively();
        StatusMenuFixture::TearDown();
    }

    QMenu *serverMenu() const { return controller->serverMenuItem(MenuTag::server(serverId), menu())->menu(); }
    QAction *serverItem(const QString &title) const { return itemTitled(serverMenu(), title); }
    QAction *siteItem(const QString &title) const
    {
        return itemTitled(itemTitled(serverMenu(), QStringLiteral("shop.example.test"))->menu(), title);
    }
    // Titled after the branch it deploys.
    QAction *deployItem() const
    {
        QAction *item = MenuItems::items(itemTitled(serverMenu(), QStringLiteral("shop.example.test"))->menu()).first();
        EXPECT_TRUE(item->text().startsWith(QStringLiteral("Deploy Site")));
        return item;
    }

    // An item of the caller's own with this payload, as the command palette makes: it outlives menu rebuilds.
    QAction *ownItem(const QVariant &payload)
    {
        ownItems.push_back(std::make_unique<QAction>());
        MenuItems::setRepresentedObject(ownItems.back().get(), payload);
        return ownItems.back().get();
    }
    QAction *ownCopy(const QAction *item) { return ownItem(MenuItems::representedObject(item)); }

    Server &loadedServer() { return appState.serverList.first(); }
    Site &loadedSite() { return appState.siteList.first(); }

    QString serverPath() const { return QStringLiteral("/api/orgs/acme/servers/%1").arg(serverId); }
    QString sitePath() const { return serverPath() + QStringLiteral("/sites/%1").arg(siteId); }

    // Requests the actions sent (the refresh's are not counted).
    QList<RecordedRequest> sent() const { return forge.requests().mid(requestsBefore); }
    QList<FakeAlertPresenter::Shown> newAlerts() const { return alerts.shown().mid(alertsBefore); }

    FakeAlertPresenter::Shown waitForAlert(qsizetype count = 1)
    {
        EXPECT_TRUE(QTest::qWaitFor([&] { return newAlerts().size() >= count; }, 20'000));
        return newAlerts().value(count - 1);
    }

    // Answers the newest open alert with the button.
    void answer(int button)
    {
        ASSERT_FALSE(alerts.open().isEmpty());
        alerts.answer(alerts.open().last().id, button);
    }

    // Waits until the answer to `path` is traced, then lets what the action does afterwards happen.
    void waitForAnswer(const QString &path)
    {
        const QRegularExpression answerLine(QStringLiteral("^HTTP \\d+ ") + QRegularExpression::escape(path) + u'?',
                                            QRegularExpression::MultilineOption);
        ASSERT_TRUE(QTest::qWaitFor([&] { return logText().mid(logStart).contains(answerLine); }, 20'000));
        for (int turn = 0; turn < 3; ++turn) {
            QCoreApplication::processEvents();
        }
    }

    static QJsonObject body(const RecordedRequest &request) { return QJsonDocument::fromJson(request.body).object(); }

    Account account;
    qint64 serverId = 0;
    qint64 siteId = 0;
    qsizetype requestsBefore = 0;
    qsizetype alertsBefore = 0;
    std::vector<std::unique_ptr<QAction>> ownItems;
};

// --- The restart family ----------------------------------------------------------------------------

struct RestartRow
{
    const char *name;
    MenuAction action;
    bool onSite;
    QString item;
    QString question; // "%1" for the server's name; empty: sent without asking
    QString informative;
    QString path; // after the server's path
    QJsonObject body;
    QString failureTitle;
    QString successTitle; // empty: quiet on success
};

void PrintTo(const RestartRow &row, std::ostream *out)
{
    *out << row.name;
}

class RestartFamilyTest : public ServerActionsTest, public ::testing::WithParamInterface<RestartRow>
{
protected:
    QAction *item() const { return GetParam().onSite ? siteItem(GetParam().item) : serverItem(GetParam().item); }
    QString path() const { return serverPath() + GetParam().path; }

    void choose() { (controller.get()->*GetParam().action)(item()); }

    // Chooses the item and confirms when asked.
    void chooseAndConfirm()
    {
        choose();
        if (!GetParam().question.isEmpty()) {
            answer(0);
        }
    }
};

const QJsonObject Reboot{{"action", "reboot"}};
const QJsonObject RebootPhp83{{"action", "reboot"}, {"version", "php83"}};

const RestartRow RestartRows[] = {
    {"Server",
     &StatusMenuController::rebootServer,
     false,
     "Reboot",
     "Reboot %1?",
     "Are you sure you want to reboot VPS?",
     "/actions",
     Reboot,
     "Could not reboot server",
     ""},
    {"Php",
     &StatusMenuController::rebootPhp,
     false,
     "Restart PHP",
     "",
     "",
     "/services/php/actions",
     RebootPhp83,
     "Could not reboot PHP",
     ""},
    {"MySQL",
     &StatusMenuController::rebootMySQLServer,
     false,
     "Restart MySQL",
     "Reboot MySQL on %1?",
     "Are you sure you want to reboot MySQL-services?",
     "/services/mysql/actions",
     Reboot,
     "Could not reboot MySQL-server",
     ""},
    {"Nginx",
     &StatusMenuController::rebootNginx,
     false,
     "Restart Nginx",
     "Reboot Nginx on %1?",
     "Are you sure you want to reboot Nginx? Sites will be unavailable during this time.",
     "/services/nginx/actions",
     Reboot,
     "Could not reboot Nginx-server",
     ""},
    {"Postgres",
     &StatusMenuController::rebootPostgres,
     false,
     "Restart Postgres",
     "Are you sure?",
     "",
     "/services/postgres/actions",
     Reboot,
     "Could not reboot Postgres-server",
     "Postgres-server is rebooting"},
    {"PhpForSite",
     &StatusMenuController::rebootPhpForSite,
     true,
     "Reboot PHP",
     "",
     "",
     "/services/php/actions",
     RebootPhp83,
     "Could not reboot PHP",
     ""},
};

} // namespace

TEST_P(RestartFamilyTest, AsksThenSendsItsRequestAndTellsOnlyWhatTheRowSays)
{
    const RestartRow &row = GetParam();
    choose();
    if (!row.question.isEmpty()) {
        ASSERT_EQ(newAlerts().size(), 1);
        const Alert question = newAlerts().first().alert;
        EXPECT_EQ(question.messageText, QString(row.question).replace("%1", "web-1"));
        EXPECT_EQ(question.informativeText, row.informative);
        EXPECT_EQ(question.style, Alert::Style::Warning);
        EXPECT_EQ(question.buttons, (QStringList{"OK", "Cancel"}));
        EXPECT_TRUE(sent().isEmpty()) << "nothing may be sent before the answer";
        answer(0);
    } else {
        EXPECT_TRUE(newAlerts().isEmpty()) << "PHP restarts are sent without asking";
    }
    waitForAnswer(path());

    ASSERT_EQ(sent().size(), 1);
    EXPECT_EQ(sent().first().method, "POST");
    EXPECT_EQ(sent().first().path, path());
    EXPECT_EQ(body(sent().first()), row.body);
    const qsizetype asked = row.question.isEmpty() ? 0 : 1;
    if (row.successTitle.isEmpty()) {
        EXPECT_EQ(newAlerts().size(), asked);
    } else {
        const auto told = waitForAlert(asked + 1);
        EXPECT_EQ(told.alert.messageText, row.successTitle);
        EXPECT_EQ(told.alert.informativeText, QString());
        EXPECT_EQ(told.alert.style, Alert::Style::Informational);
    }
}

TEST_P(RestartFamilyTest, AFailureShowsTheRowTitleWithForgesText)
{
    forge.failNext("POST", path(), forge.errorResponse(500));
    chooseAndConfirm();
    const qsizetype asked = GetParam().question.isEmpty() ? 0 : 1;
    const auto failure = waitForAlert(asked + 1);
    EXPECT_EQ(failure.alert.messageText, GetParam().failureTitle);
    EXPECT_EQ(failure.alert.informativeText, ServerError + " for account: Main");
    EXPECT_EQ(failure.alert.style, Alert::Style::Warning);
    EXPECT_EQ(newAlerts().size(), asked + 1);
}

TEST_P(RestartFamilyTest, CancelSendsNothing)
{
    if (GetParam().question.isEmpty()) {
        GTEST_SKIP() << "sent without asking";
    }
    choose();
    answer(1);
    // The same action confirmed: its request is the only one.
    chooseAndConfirm();
    waitForAnswer(path());
    EXPECT_EQ(sent().size(), 1);
}

TEST_P(RestartFamilyTest, DoesNothingWhileLoadingOrWithoutItsServerOrItsOrganization)
{
    const MenuAction action = GetParam().action;
    QAction *chosen = ownCopy(item());
    (controller.get()->*action)(ownItem(QVariant::fromValue(QStringLiteral("not a payload"))));
    // An item kept from before a refresh, chosen while it loads.
    controller->updateServers();
    ASSERT_TRUE(appState.isLoadingData());
    (controller.get()->*action)(chosen);
    waitUntilIdle();
    loadedServer().organizationSlug.reset();
    (controller.get()->*action)(chosen);
    appState.serverList.clear();
    (controller.get()->*action)(chosen);

    QCoreApplication::processEvents();
    EXPECT_TRUE(newAlerts().isEmpty());
    for (const RecordedRequest &request : sent()) {
        EXPECT_EQ(request.method, "GET");
    }
}

INSTANTIATE_TEST_SUITE_P(Restarts, RestartFamilyTest, ::testing::ValuesIn(RestartRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST_F(ServerActionsTest, AServerWithoutANameIsAskedAboutAsServer)
{
    loadedServer().name.reset();
    controller->rebootServer(serverItem("Reboot"));
    controller->rebootMySQLServer(serverItem("Restart MySQL"));
    controller->rebootNginx(serverItem("Restart Nginx"));
    QStringList questions;
    for (const auto &shown : newAlerts()) {
        questions << shown.alert.messageText;
    }
    EXPECT_EQ(questions, (QStringList{"Reboot Server?", "Reboot MySQL on Server?", "Reboot Nginx on Server?"}));
}

TEST_F(ServerActionsTest, PhpRestartsSendTheVersionOfWhatWasChosen)
{
    loadedServer().phpVersion = QStringLiteral("php82");
    loadedSite().phpVersion = QStringLiteral("7.4");
    controller->rebootPhpForSite(siteItem("Reboot PHP"));
    waitForAnswer(serverPath() + "/services/php/actions");
    controller->rebootPhp(serverItem("Restart PHP"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return forge.server(serverId)->actions.size() == 2; }, 20'000));
    EXPECT_EQ(forge.server(serverId)->actions, (QStringList{"php:reboot:php74", "php:reboot:php82"}));
}

TEST_F(ServerActionsTest, PhpRestartsWithoutAVersionOrSiteDoNothing)
{
    loadedServer().phpVersion.reset();
    controller->rebootPhp(serverItem("Restart PHP"));
    QAction *sitePhp = siteItem("Reboot PHP");
    loadedSite().phpVersion.reset();
    controller->rebootPhpForSite(sitePhp);
    appState.siteList.clear();
    controller->rebootPhpForSite(sitePhp);
    // A server item carries no site.
    controller->rebootPhpForSite(serverItem("Restart PHP"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_TRUE(newAlerts().isEmpty());
}

TEST_F(ServerActionsTest, ATransportFailureShowsItsOwnDescription)
{
    // Cut off inside the answer: a dropped connection before any byte would be sent again by the transport.
    forge.failNext("POST",
                   serverPath() + "/services/php/actions",
                   FakeResponse::json(R"({"message":"accepted"})", 202).truncatedAfter(4));
    controller->rebootPhp(serverItem("Restart PHP"));
    const auto failure = waitForAlert();
    EXPECT_EQ(failure.alert.messageText, "Could not reboot PHP");
    EXPECT_EQ(failure.alert.informativeText, "The network connection was lost for account: Main");
}

// --- Deployment ------------------------------------------------------------------------------------

TEST_F(ServerActionsTest, DeployAsksThenStartsTheDeploymentAndStaysQuiet)
{
    advanceClock(10s);
    controller->deploySite(deployItem());
    EXPECT_EQ(controller->lastUserActivity(), clock.now());
    ASSERT_TRUE(controller->performDeployment().has_value());
    EXPECT_EQ(controller->performDeployment()->site.id, siteId);
    EXPECT_EQ(controller->performDeployment()->server.id, serverId);
    EXPECT_EQ(controller->performDeployment()->delegate.data(), controller.get());

    ASSERT_EQ(newAlerts().size(), 1);
    const Alert question = newAlerts().first().alert;
    EXPECT_EQ(question.messageText, "Are you sure you want to deploy?");
    EXPECT_EQ(question.informativeText, "This will deploy shop.example.test");
    EXPECT_EQ(question.buttons, (QStringList{"Deploy Now", "Cancel"}));
    EXPECT_TRUE(sent().isEmpty());

    const qsizetype deployments = forge.site(siteId)->deployments.size();
    answer(0);
    waitForAnswer(sitePath() + "/deployments");
    ASSERT_EQ(sent().size(), 1);
    EXPECT_EQ(sent().first().method, "POST");
    EXPECT_EQ(sent().first().path, sitePath() + "/deployments");
    EXPECT_TRUE(sent().first().body.isEmpty());
    EXPECT_EQ(forge.site(siteId)->deployments.size(), deployments + 1);
    EXPECT_EQ(newAlerts().size(), 1);
}

TEST_F(ServerActionsTest, SiteActionsWaitWhileARefreshLoadsEvenWhenTheSiteIsListedAgain)
{
    // Midway through a refresh: the loader has listed the site again, but the refresh goes on.
    appState.loadingData = true;
    controller->deploySite(deployItem());
    controller->rebootPhpForSite(siteItem("Reboot PHP"));
    appState.loadingData = false;
    QCoreApplication::processEvents();
    EXPECT_TRUE(newAlerts().isEmpty());
    EXPECT_TRUE(sent().isEmpty());
    EXPECT_FALSE(controller->performDeployment().has_value());
}

TEST_F(ServerActionsTest, CancelledDeployKeepsTheValueAndSendsNothing)
{
    loadedSite().name.reset();
    controller->deploySite(deployItem());
    EXPECT_EQ(newAlerts().first().alert.informativeText, "This will deploy this site");
    answer(1);
    EXPECT_TRUE(controller->performDeployment().has_value());

    // Two confirmed deploys in a row are two deployments.
    controller->deploySite(deployItem());
    answer(0);
    controller->deploySite(deployItem());
    answer(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent().size() == 2; }, 20'000));
    EXPECT_EQ(forge.requestCount("POST", sitePath() + "/deployments"), 2);
}

TEST_F(ServerActionsTest, DeployDoesNothingWhileLoadingOrWhenTheSiteIsGone)
{
    QAction *deploy = ownCopy(deployItem());
    controller->deploySite(serverItem("Reboot")); // a server item names no site
    appState.siteList.clear();
    controller->deploySite(deploy);
    controller->updateServers();
    ASSERT_TRUE(appState.isLoadingData());
    controller->deploySite(deploy);
    waitUntilIdle();
    // The refresh has brought the site back, but the deploys chosen before are gone for good.
    EXPECT_FALSE(controller->performDeployment().has_value());
    EXPECT_TRUE(newAlerts().isEmpty());
    EXPECT_EQ(forge.requestCount("POST", sitePath() + "/deployments"), 0);
}

TEST_F(ServerActionsTest, DeployReportsAMissingOrganizationOnlyAfterConfirming)
{
    loadedServer().organizationSlug.reset();
    controller->deploySite(deployItem());
    ASSERT_EQ(newAlerts().size(), 1);
    answer(0);
    const auto failure = waitForAlert(2);
    EXPECT_EQ(failure.alert.messageText, "Could not deploy site");
    EXPECT_EQ(failure.alert.informativeText, "Server is missing organization information for account: Main");
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ServerActionsTest, AFailedDeployShowsForgesText)
{
    forge.failNext("POST", sitePath() + "/deployments", forge.errorResponse(404));
    controller->deploySite(deployItem());
    answer(0);
    const auto failure = waitForAlert(2);
    EXPECT_EQ(failure.alert.messageText, "Could not deploy site");
    EXPECT_EQ(failure.alert.informativeText, "The requested resource could not be found for account: Main");
    EXPECT_EQ(failure.alert.style, Alert::Style::Warning);
}

// --- SSH key upload --------------------------------------------------------------------------------

namespace {

void writePublicKey(const QByteArray &contents)
{
    ASSERT_TRUE(QDir::home().mkpath(QStringLiteral(".ssh")));
    QFile file(QDir::home().filePath(QStringLiteral(".ssh/id_rsa.pub")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

} // namespace

TEST_F(ServerActionsTest, UploadsTheHomeFoldersPublicKeyAndSaysSo)
{
    writePublicKey("ssh-rsa AAAAB3NzaC1yc2EAAAADAQABAAABAQC7 ann@laptop\n");
    controller->createSSHKey(serverItem("Upload SSH Key"));
    const auto told = waitForAlert();
    EXPECT_EQ(told.alert.messageText, "SSH key uploaded to Forge");
    EXPECT_EQ(told.alert.informativeText, "This user's public SSH key is added to Laravel Forge for account: Main");
    EXPECT_EQ(told.alert.style, Alert::Style::Informational);

    ASSERT_EQ(sent().size(), 1);
    EXPECT_EQ(sent().first().path, serverPath() + "/ssh-keys");
    const QJsonObject sentKey = body(sent().first());
    EXPECT_EQ(sentKey.value("key").toString(), "ssh-rsa AAAAB3NzaC1yc2EAAAADAQABAAABAQC7 ann@laptop");
    EXPECT_EQ(sentKey.value("user").toString(), "forge");
    EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9-]*-\\d{8}-\\d{6}$").match(sentKey.value("name").toString()).hasMatch())
        << sentKey.value("name").toString().toStdString();
    ASSERT_EQ(forge.server(serverId)->sshKeys.size(), 1);
}

TEST_F(ServerActionsTest, KeyFilesThatCannotBeUploadedAreReportedAndNothingIsSent)
{
    struct Case
    {
        const char *name;
        std::function<void()> prepare;
        QString title;
        QString detail;
    };
    const QString keyPath = QDir::home().filePath(QStringLiteral(".ssh/id_rsa.pub"));
    const Case cases[] = {
        {"missing", [] {}, "Create a SSH keypair first", "Run ssh-keygen -t rsa in your terminal first"},
        {"not UTF-8",
         [] { writePublicKey("ssh-rsa \xff\xfe\x80"); },
         "Could not read public key from user's home folder",
         "Check your permissions"},
        {"a folder",
         [&] { QDir().mkpath(keyPath); },
         "Could not read public key from user's home folder",
         "Check your permissions"},
    };
    qsizetype count = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(QDir::home().filePath(QStringLiteral(".ssh"))).removeRecursively();
        c.prepare();
        controller->createSSHKey(serverItem("Upload SSH Key"));
        const auto failure = waitForAlert(++count);
        EXPECT_EQ(failure.alert.messageText, c.title);
        EXPECT_EQ(failure.alert.informativeText, c.detail + " for account: Main");
    }
    EXPECT_TRUE(sent().isEmpty());
}

TEST_F(ServerActionsTest, AFailedUploadShowsForgesTextAndNoOrganizationMeansNothing)
{
    writePublicKey("ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIKey ann@laptop");
    forge.failNext("POST", serverPath() + "/ssh-keys", forge.errorResponse(422));
    controller->createSSHKey(serverItem("Upload SSH Key"));
    const auto failure = waitForAlert();
    EXPECT_EQ(failure.alert.messageText, "Could not add SSH key");
    EXPECT_EQ(failure.alert.informativeText,
              "The payload has missing required parameters or invalid data was given for account: Main");
    EXPECT_EQ(failure.alert.style, Alert::Style::Warning);

    loadedServer().organizationSlug.reset();
    controller->createSSHKey(serverItem("Upload SSH Key"));
    QCoreApplication::processEvents();
    EXPECT_EQ(newAlerts().size(), 1);
    EXPECT_EQ(sent().size(), 1);
}
