#include "RecordingProcessStarter.h"
#include "StatusMenuFixture.h"
#include "menu/CustomServer.h"
#include "menu/CustomServerStore.h"
#include "menu/MenuRepresenter.h"
#include "menu/MenuTags.h"
#include "menu/OpenTerminal.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace plimsy;
using namespace plimsy::test;

namespace {

constexpr qint64 ServerId = 11;
constexpr qint64 SiteId = 22;

// Only a stand-in xterm (and ghostty) are installed; the recording starter keeps them from running.
class TerminalActionsTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        m_savedPath = qgetenv("PATH");
        m_savedTerminal = qgetenv("TERMINAL");
        for (const char *name : {"xterm", "ghostty"}) {
            QFile program(programs.filePath(QString::fromLatin1(name)));
            ASSERT_TRUE(program.open(QIODevice::WriteOnly));
            program.write("#!/bin/sh\n");
            program.close();
            program.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        qputenv("PATH", QFile::encodeName(programs.path()));
        qunsetenv("TERMINAL");

        server.id = ServerId;
        server.name = QStringLiteral("web");
        server.ipAddress = QStringLiteral("203.0.113.5");
        server.privateIpAddress = QStringLiteral("10.0.0.5");
        site.id = SiteId;
        site.serverId = ServerId;
        site.name = QStringLiteral("shop.example");
        site.user = QStringLiteral("shop");
    }

    void TearDown() override
    {
        qputenv("PATH", m_savedPath);
        if (m_savedTerminal.isNull()) {
            qunsetenv("TERMINAL");
        } else {
            qputenv("TERMINAL", m_savedTerminal);
        }
        StatusMenuFixture::TearDown();
    }

    void startController()
    {
        StatusMenuServices s = services();
        s.processStarter = &starter;
        controller = std::make_unique<StatusMenuController>(appState, s);
        controller->setup();
        QCoreApplication::processEvents();
    }

    // Puts the records in place as a finished refresh would, then clicks an item carrying `payload`.
    void click(void (StatusMenuController::*action)(QAction *), const QVariant &payload)
    {
        appState.serverList = {server};
        appState.siteList = {site};
        auto *item = new QAction(&items);
        MenuItems::setRepresentedObject(item, payload);
        (controller.get()->*action)(item);
    }

    void click(void (StatusMenuController::*action)(QAction *), bool withSite = false)
    {
        click(action,
              QVariant::fromValue(
                  MenuRepresenter{ServerId, withSite ? std::optional<qint64>(SiteId) : std::nullopt, {}}));
    }

    // The command the stand-in xterm was asked to run, or none when nothing was started.
    std::optional<QStringList> launched() const
    {
        if (starter.started.isEmpty()) {
            return std::nullopt;
        }
        EXPECT_EQ(starter.started.size(), 1);
        const auto &started = starter.started.last();
        EXPECT_EQ(started.program, programs.filePath(QStringLiteral("xterm")));
        EXPECT_EQ(started.arguments.value(0), QStringLiteral("-e"));
        return started.arguments.mid(1);
    }

    // The warnings of refused logins (set-up may show alerts of its own).
    QList<Alert> refusals() const
    {
        QList<Alert> result;
        for (const auto &shown : alerts.shown()) {
            if (shown.alert.messageText == QLatin1String("Could not open the terminal")) {
                result << shown.alert;
            }
        }
        return result;
    }

    QTemporaryDir programs;
    RecordingProcessStarter starter;
    QObject items;
    Server server;
    Site site;

private:
    QByteArray m_savedPath;
    QByteArray m_savedTerminal;
};

QStringList siteLogin(const QString &destination, const QString &remoteCommand)
{
    return {"ssh", "-t", "--", destination, remoteCommand};
}

struct SiteRow
{
    const char *name;
    std::function<void(Server &, Site &)> change;
    std::optional<QStringList> command; // none: nothing started
    bool refused = false;               // a warning says why
};

void PrintTo(const SiteRow &row, std::ostream *out)
{
    *out << row.name;
}

class SiteTerminalTest : public TerminalActionsTest, public ::testing::WithParamInterface<SiteRow>
{
};

} // namespace

TEST_P(SiteTerminalTest, OpensTheSiteLoginAsSeparateArguments)
{
    const SiteRow &row = GetParam();
    row.change(server, site);
    startController();

    click(&StatusMenuController::openTerminalForSite, true);

    EXPECT_EQ(launched(), row.command);
    ASSERT_EQ(refusals().size(), row.refused ? 1 : 0);
    if (row.refused) {
        EXPECT_EQ(refusals().at(0).style, Alert::Style::Warning);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sites,
    SiteTerminalTest,
    ::testing::Values(
        SiteRow{"PublicAddressByDefault",
                [](Server &, Site &) {},
                siteLogin("shop@203.0.113.5", "cd 'shop.example' ; bash")},
        SiteRow{"PrivateAddressWhenTheServerUsesIt",
                [](Server &server, Site &) { server.usePrivateIp = true; },
                siteLogin("shop@10.0.0.5", "cd 'shop.example' ; bash")},
        SiteRow{"PublicAddressWhenThereIsNoPrivateOne",
                [](Server &server, Site &) {
                    server.usePrivateIp = true;
                    server.privateIpAddress.reset();
                },
                siteLogin("shop@203.0.113.5", "cd 'shop.example' ; bash")},
        SiteRow{"ZeroDowntimeSitesStartInCurrent",
                [](Server &, Site &site) { site.zeroDowntimeDeployments = true; },
                siteLogin("shop@203.0.113.5", "cd 'shop.example/current' ; bash")},
        SiteRow{"ASiteWithoutUserLogsInAsForge",
                [](Server &, Site &site) { site.user.reset(); },
                siteLogin("forge@203.0.113.5", "cd 'shop.example' ; bash")},
        SiteRow{"QuotesAndSubstitutionsInTheNameStayInsideOneQuotedArgument",
                [](Server &, Site &site) { site.name = QStringLiteral("it's $(rm -rf ~) `id`; \"x\""); },
                siteLogin("shop@203.0.113.5", "cd 'it'\\''s $(rm -rf ~) `id`; \"x\"' ; bash")},
        SiteRow{"NoAddressStartsNothing",
                [](Server &server, Site &) {
                    server.ipAddress.reset();
                    server.usePrivateIp = true;
                    server.privateIpAddress = QString();
                },
                std::nullopt},
        SiteRow{"AnUnnamedSiteStartsNothing", [](Server &, Site &site) { site.name.reset(); }, std::nullopt},
        SiteRow{"AHostThatIsAnOptionIsRefused",
                [](Server &server, Site &) { server.ipAddress = QStringLiteral("-oProxyCommand=touch /tmp/x"); },
                std::nullopt,
                true},
        SiteRow{"AUserThatIsAnOptionIsRefused",
                [](Server &, Site &site) { site.user = QStringLiteral("-oProxyCommand=touch /tmp/x"); },
                std::nullopt,
                true},
        SiteRow{"AUserWithASpaceIsRefused",
                [](Server &, Site &site) { site.user = QStringLiteral("shop x"); },
                std::nullopt,
                true},
        SiteRow{"AHostWithAControlCharacterIsRefused",
                [](Server &server, Site &) { server.ipAddress = QStringLiteral("203.0.113.5\nx"); },
                std::nullopt,
                true},
        // ssh passes both names to ProxyCommand lines, which OpenSSH before 9.6 gives to a shell.
        SiteRow{"ACommandSubstitutionInTheUserIsRefused",
                [](Server &, Site &site) { site.user = QStringLiteral("$(touch pwned)"); },
                std::nullopt,
                true},
        SiteRow{"BackticksInTheHostAreRefused",
                [](Server &server, Site &) { server.ipAddress = QStringLiteral("`id`.example"); },
                std::nullopt,
                true},
        SiteRow{"ASemicolonInTheHostIsRefused",
                [](Server &server, Site &) { server.ipAddress = QStringLiteral("203.0.113.5;id"); },
                std::nullopt,
                true},
        SiteRow{"BracketsOnlyAroundAnIPv6Literal",
                [](Server &server, Site &) { server.ipAddress = QStringLiteral("2001:db8::5]["); },
                std::nullopt,
                true},
        SiteRow{"AnIPv6LiteralInBracketsLogsIn",
                [](Server &server, Site &site) {
                    server.ipAddress = QStringLiteral("[2001:db8::5]");
                    site.user = QStringLiteral("shop_user-1.a");
                },
                siteLogin("shop_user-1.a@[2001:db8::5]", "cd 'shop.example' ; bash")}),
    [](const ::testing::TestParamInfo<SiteRow> &info) { return std::string(info.param.name); });

TEST_F(TerminalActionsTest, ServerLoginIsForgeAtTheHostAfterTheEndOfOptions)
{
    startController();
    click(&StatusMenuController::openTerminal);
    EXPECT_EQ(launched(), (QStringList{"ssh", "--", "forge@203.0.113.5"}));

    starter.started.clear();
    server.ipAddress = QStringLiteral("-oProxyCommand=sh");
    click(&StatusMenuController::openTerminal);
    EXPECT_EQ(launched(), std::nullopt);
    ASSERT_EQ(refusals().size(), 1);
    EXPECT_EQ(refusals().at(0).informativeText, QStringLiteral("The host \"-oProxyCommand=sh\" begins with \"-\"."));
}

TEST_F(TerminalActionsTest, TheChosenTerminalIsReadFromPreferences)
{
    defaults.setValue(QLatin1String(OpenTerminal::DefaultKey), 4);
    startController();
    click(&StatusMenuController::openTerminal);
    ASSERT_EQ(starter.started.size(), 1);
    EXPECT_EQ(starter.started.at(0).program, programs.filePath(QStringLiteral("ghostty")));
    EXPECT_EQ(starter.started.at(0).arguments, (QStringList{"-e", "ssh", "--", "forge@203.0.113.5"}));
}

TEST_F(TerminalActionsTest, ServerAndSiteActionsDoNothingWhileLoadingOrWhenTheirRecordIsGone)
{
    startController();
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    using Action = void (StatusMenuController::*)(QAction *);
    for (const Action action : {&StatusMenuController::openTerminal,
                                &StatusMenuController::openTerminalForSite,
                                &StatusMenuController::copyIPAddress}) {
        appState.loadingData = true;
        click(action, true);
        appState.loadingData = false;
        click(action, QVariant::fromValue(MenuRepresenter{ServerId + 1, SiteId, {}}));
        click(action, QVariant::fromValue(QStringLiteral("not a server")));
    }
    click(&StatusMenuController::openTerminalForSite, QVariant::fromValue(MenuRepresenter{ServerId, SiteId + 1, {}}));
    click(&StatusMenuController::openTerminalForSite, QVariant::fromValue(MenuRepresenter{ServerId, {}, {}}));
    EXPECT_TRUE(starter.started.isEmpty());
    EXPECT_TRUE(refusals().isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));
}

TEST_F(TerminalActionsTest, CustomServersLogInWithTheirPortAndOnlyAValidOne)
{
    startController();
    CustomServer box{QUuid::createUuid(),
                     QStringLiteral("Box"),
                     QStringLiteral("box.example"),
                     QStringLiteral("deploy"),
                     std::nullopt};

    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(box));
    EXPECT_EQ(launched(), (QStringList{"ssh", "--", "deploy@box.example"}));

    starter.started.clear();
    box.port = 2222;
    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(box));
    EXPECT_EQ(launched(), (QStringList{"ssh", "-p", "2222", "--", "deploy@box.example"}));

    starter.started.clear();
    for (const qint64 port : {0, -22, 65536}) {
        box.port = port;
        click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(box));
    }
    box.port.reset();
    box.host = QStringLiteral("-J evil");
    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(box));
    box.host = QStringLiteral("box.example");
    box.user = QStringLiteral("$(id)");
    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(box));
    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(MenuRepresenter{ServerId, {}, {}}));

    EXPECT_TRUE(starter.started.isEmpty());
    ASSERT_EQ(refusals().size(), 5);
    EXPECT_EQ(refusals().at(0).informativeText, QStringLiteral("The port must be a number from 1 to 65535."));
    EXPECT_EQ(refusals().at(3).informativeText, QStringLiteral("The host \"-J evil\" begins with \"-\"."));
    EXPECT_EQ(refusals().at(4).informativeText,
              QStringLiteral("The user name may only hold letters, digits, \".\", \"_\" and \"-\"."));
}

// A terminal that is missing or does not start is named; one that takes no command gets it to paste.
TEST_F(TerminalActionsTest, TerminalsThatCannotRunTheLoginSaySo)
{
    startController();
    defaults.setValue(QLatin1String(OpenTerminal::DefaultKey), 3);
    click(&StatusMenuController::openTerminal);
    EXPECT_TRUE(starter.started.isEmpty());
    starter.starts = false;
    defaults.setValue(QLatin1String(OpenTerminal::DefaultKey), 4);
    click(&StatusMenuController::openTerminal);
    ASSERT_EQ(refusals().size(), 2);
    EXPECT_EQ(refusals().at(0).informativeText,
              QStringLiteral("Warp is not installed. Choose another terminal in Preferences."));
    EXPECT_EQ(refusals().at(1).informativeText, QStringLiteral("Ghostty could not be started."));

    starter.started.clear();
    starter.starts = true;
    ASSERT_TRUE(
        QFile::copy(programs.filePath(QStringLiteral("xterm")), programs.filePath(QStringLiteral("warp-terminal"))));
    defaults.setValue(QLatin1String(OpenTerminal::DefaultKey), 3);
    click(&StatusMenuController::openTerminal);
    ASSERT_EQ(starter.started.size(), 1);
    EXPECT_EQ(starter.started.at(0).arguments, QStringList());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("ssh -- forge@203.0.113.5"));
    EXPECT_EQ(alerts.shown().last().alert.messageText, QStringLiteral("Paste the command into Warp"));
}

TEST_F(TerminalActionsTest, CopyIPAddressPutsTheSshHostOnTheClipboard)
{
    startController();
    click(&StatusMenuController::copyIPAddress);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("203.0.113.5"));

    server.usePrivateIp = true;
    click(&StatusMenuController::copyIPAddress);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("10.0.0.5"));
}

// No file manager tells us its front window, so both actions end quietly.
TEST_F(TerminalActionsTest, WithoutAFrontFileManagerWindowTheHereActionsDoNothing)
{
    startController();
    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    click(&StatusMenuController::openTerminalHere, QVariant());
    click(&StatusMenuController::copyFinderWindowPath, QVariant());
    EXPECT_TRUE(starter.started.isEmpty());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));
}

// Through the menus a refresh builds: the items reach the actions with their server and site.
TEST_F(TerminalActionsTest, TheMenuItemsOfARefreshOpenTheirLogins)
{
    Account account = addAccount("Main");
    auto &forgeServer = forge.addServer(forge.addOrganization("Acme").slug, "web");
    forge.server(forgeServer.id)->attributes.insert("ip_address", "198.51.100.7");
    auto &forgeSite = forge.addSite(forgeServer.id, "shop.example");
    forge.site(forgeSite.id)->attributes.insert("zero_downtime_deployments", true);
    forge.site(forgeSite.id)->attributes.remove("user");
    account.useInternalIpForServers = QList<qint64>{forgeServer.id};
    forge.server(forgeServer.id)->attributes.remove("private_ip_address");
    saveAccount(account);
    startController();
    networkUp();
    waitUntilIdle();

    QAction *serverItem = MenuItems::findItem(menu(), MenuTag::server(forgeServer.id));
    ASSERT_NE(serverItem, nullptr);
    itemTitled(serverItem->menu(), "Copy IP Address")->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("198.51.100.7"));

    QAction *siteItem = MenuItems::findItem(menu(), MenuTag::site(forgeSite.id));
    ASSERT_NE(siteItem, nullptr);
    itemTitled(siteItem->menu(), "Open Terminal")->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(launched(), siteLogin("forge@198.51.100.7", "cd 'shop.example/current' ; bash"));
}

// A bad port is refused when used, never on loading: the list and the entry itself stay.
TEST_F(TerminalActionsTest, AStoredOutOfRangePortKeepsTheListLoadingAndIsRefusedOnUse)
{
    defaults.setValue(
        QLatin1String(CustomServerStore::Key),
        QStringLiteral(R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"Old","host":"old.example",)"
                       R"("user":"admin","port":70000},)"
                       R"({"id":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","name":"New","host":"new.example",)"
                       R"("user":"admin"}])"));
    const QList<CustomServer> servers = CustomServerStore(defaults).load();
    ASSERT_EQ(servers.size(), 2);
    EXPECT_EQ(servers.at(0).port, 70000);
    startController();

    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(servers.at(0)));
    click(&StatusMenuController::openCustomServerTerminal, QVariant::fromValue(servers.at(1)));

    EXPECT_EQ(launched(), (QStringList{"ssh", "--", "admin@new.example"}));
    ASSERT_EQ(refusals().size(), 1);
    EXPECT_EQ(refusals().at(0).informativeText, CustomServer::portRangeMessage());
}
