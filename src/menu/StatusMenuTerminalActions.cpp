// The terminal actions of the status menu and the two copy actions that share their look-ups.
#include "core/Server.h"
#include "core/Site.h"
#include "menu/CustomServer.h"
#include "menu/MenuRepresenter.h"
#include "menu/OpenTerminal.h"
#include "menu/StatusMenuController.h"
#include "platform/MenuItems.h"
#include "platform/ProcessStarter.h"
#include "platform/TerminalLauncher.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>

namespace plimsy {

namespace {

// An empty text is as good as none: ssh could do nothing with it.
std::optional<QString> presentText(const std::optional<QString> &text)
{
    return text && !text->isEmpty() ? text : std::nullopt;
}

// The clicked item's server and site ids; none while a refresh is loading.
std::optional<MenuRepresenter> representer(const AppState &state, QAction *sender)
{
    const auto represented = clickedRepresenter(sender);
    if (!represented || state.isLoadingData()) {
        return std::nullopt;
    }
    return represented;
}

std::optional<QString> serverHost(const AppState &state, const MenuRepresenter &represented)
{
    const std::optional<Server> server = Server::find(represented.serverId, state.servers());
    if (!server) {
        return std::nullopt;
    }
    if (server->usePrivateIp.value_or(false)) {
        if (const auto privateAddress = presentText(server->privateIpAddress)) {
            return privateAddress;
        }
    }
    return presentText(server->ipAddress);
}

void copyToClipboard(const QString &text)
{
    QGuiApplication::clipboard()->setText(text);
}

// The terminal of one action, with the launcher it refers to.
class ActionTerminal
{
public:
    ActionTerminal(ProcessStarter &starter, UserDefaults &defaults, AlertPresenter &alerts)
        : m_launcher(starter)
        , m_terminal(QLatin1String(OpenTerminal::DefaultKey), defaults, m_launcher, alerts)
    {
    }

    OpenTerminal *operator->() { return &m_terminal; }

private:
    TerminalLauncher m_launcher;
    OpenTerminal m_terminal;

    Q_DISABLE_COPY_MOVE(ActionTerminal)
};

} // namespace

ProcessStarter &StatusMenuController::processStarter() const
{
    return m_services.processStarter ? *m_services.processStarter : ProcessStarter::system();
}

void StatusMenuController::openTerminal(QAction *sender)
{
    const auto represented = representer(m_appState, sender);
    const auto host = represented ? serverHost(m_appState, *represented) : std::nullopt;
    if (!host) {
        return;
    }
    ActionTerminal(processStarter(), *m_defaults, *m_alerts)->ssh(QStringLiteral("forge"), *host);
}

void StatusMenuController::openTerminalForSite(QAction *sender)
{
    const auto represented = representer(m_appState, sender);
    const auto host = represented ? serverHost(m_appState, *represented) : std::nullopt;
    if (!host || !represented->siteId) {
        return;
    }
    const std::optional<Site> site = Site::find(*represented->siteId, m_appState.sites());
    if (!site || !site->name) {
        return;
    }
    // Relative: the remote shell starts in the login's home directory.
    QString directory = *site->name;
    if (site->zeroDowntimeDeployments.value_or(false)) {
        directory += QLatin1String("/current");
    }
    ActionTerminal(processStarter(), *m_defaults, *m_alerts)
        ->sshCommand(*host, site->user.value_or(QStringLiteral("forge")), directory);
}

void StatusMenuController::openCustomServerTerminal(QAction *sender)
{
    const auto server = sender ? MenuItems::representedObject<CustomServer>(sender) : std::nullopt;
    if (!server) {
        return;
    }
    ActionTerminal(processStarter(), *m_defaults, *m_alerts)->ssh(server->user, server->host, server->port);
}

void StatusMenuController::openTerminalHere(QAction *)
{
    const auto path = OpenTerminal::finderFrontWindowPath();
    if (!path) {
        return;
    }
    ActionTerminal(processStarter(), *m_defaults, *m_alerts)->open({}, *path);
}

void StatusMenuController::copyFinderWindowPath(QAction *)
{
    if (const auto path = OpenTerminal::finderFrontWindowPath()) {
        copyToClipboard(*path);
    }
}

void StatusMenuController::copyIPAddress(QAction *sender)
{
    const auto represented = representer(m_appState, sender);
    if (const auto host = represented ? serverHost(m_appState, *represented) : std::nullopt) {
        copyToClipboard(*host);
    }
}

} // namespace plimsy
