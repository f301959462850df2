// The reboot of a server, the restarts of its services and the PHP restart of a site: one family whose
// members differ only in their row of the table below.
#include "core/RunDetached.h"
#include "core/Server.h"
#include "core/Site.h"
#include "menu/ForgeAction.h"
#include "menu/MenuRepresenter.h"
#include "menu/StatusMenuController.h"
#include "platform/AlertPresenter.h"

namespace plimsy {

namespace {

struct ServerRestart
{
    // The Forge operation; none restarts PHP, which also names the version to restart.
    QCoro::Task<> (ForgeAPIController::*reboot)(qint64 serverId, QString organizationSlug) = nullptr;
    // Asked first, "%1" standing for the server's name; none sends at once.
    const char *question = nullptr;
    const char *informativeText = nullptr;
    const char *failureTitle = nullptr;
    // Told as information once Forge has taken the request; the others stay quiet.
    const char *successTitle = nullptr;
};

const ServerRestart RebootServer{
    &ForgeAPIController::rebootServer, "Reboot %1?", "Are you sure you want to reboot VPS?", "Could not reboot server"};
const ServerRestart RestartPhp{nullptr, nullptr, nullptr, "Could not reboot PHP"};
const ServerRestart RestartMySQL{&ForgeAPIController::rebootMySQL,
                                 "Reboot MySQL on %1?",
                                 "Are you sure you want to reboot MySQL-services?",
                                 "Could not reboot MySQL-server"};
const ServerRestart RestartNginx{&ForgeAPIController::rebootNginx,
                                 "Reboot Nginx on %1?",
                                 "Are you sure you want to reboot Nginx? Sites will be unavailable during this time.",
                                 "Could not reboot Nginx-server"};
const ServerRestart RestartPostgres{&ForgeAPIController::rebootPostgres,
                                    "Are you sure?",
                                    nullptr,
                                    "Could not reboot Postgres-server",
                                    "Postgres-server is rebooting"};

// What one restart acts on, copied out of the loaded lists when the item is chosen.
struct RestartTarget
{
    Account account;
    qint64 serverId = 0;
    QString serverName;
    QString organizationSlug;
    QString phpVersion;
};

std::optional<MenuRepresenter> representer(QAction *sender)
{
    auto data = clickedRepresenter(sender);
    return data && data->account ? data : std::nullopt;
}

std::optional<RestartTarget>
target(const MenuRepresenter &data, const Server &server, const std::optional<QString> &phpVersion)
{
    if (!server.organizationSlug) {
        return std::nullopt;
    }
    return RestartTarget{*data.account,
                         data.serverId,
                         server.name.value_or(QStringLiteral("Server")),
                         *server.organizationSlug,
                         phpVersion.value_or(QString())};
}

std::optional<RestartTarget>
serverTarget(const StatusMenuController &controller, QAction *sender, const ServerRestart &restart)
{
    const auto data = representer(sender);
    if (!data) {
        return std::nullopt;
    }
    const auto server = Server::find(data->serverId, controller.appState().servers());
    if (!server || (!restart.reboot && !server->phpVersion)) {
        return std::nullopt;
    }
    return target(*data, *server, server->phpVersion);
}

std::optional<RestartTarget> siteTarget(const StatusMenuController &controller, QAction *sender)
{
    const auto data = representer(sender);
    const AppState &state = controller.appState();
    if (!data || state.isLoadingData() || !data->siteId) {
        return std::nullopt;
    }
    const auto site = Site::find(*data->siteId, state.sites());
    if (!site || !site->phpVersion) {
        return std::nullopt;
    }
    const auto server = Server::find(data->serverId, state.servers());
    // The site's own PHP version: a server may run several.
    return server ? target(*data, *server, site->phpVersion) : std::nullopt;
}

QCoro::Task<> confirmAndRestart(QPointer<StatusMenuController> controller, RestartTarget target, ServerRestart restart)
{
    if (restart.question) {
        const Alert question{QString::fromLatin1(restart.question).replace(QStringLiteral("%1"), target.serverName),
                             restart.informativeText ? QString::fromLatin1(restart.informativeText) : QString(),
                             Alert::Style::Warning,
                             {QStringLiteral("OK"), QStringLiteral("Cancel")}};
        const int answer = co_await controller->alerts().ask(question);
        if (answer != 0) {
            co_return;
        }
    }
    ForgeAction action;
    action.send =
        [reboot = restart.reboot, id = target.serverId, slug = target.organizationSlug, php = target.phpVersion](
            ForgeAPIController &forge) { return reboot ? (forge.*reboot)(id, slug) : forge.rebootPHP(id, slug, php); };
    action.failureTitle = QString::fromLatin1(restart.failureTitle);
    if (restart.successTitle) {
        action.successTitle = QString::fromLatin1(restart.successTitle);
    }
    co_await runForgeAction(controller, target.account, std::move(action));
}

void startRestart(StatusMenuController *controller, std::optional<RestartTarget> target, const ServerRestart &restart)
{
    if (target) {
        runDetached(confirmAndRestart(controller, std::move(*target), restart));
    }
}

} // namespace

void StatusMenuController::rebootServer(QAction *sender)
{
    startRestart(this, serverTarget(*this, sender, RebootServer), RebootServer);
}

void StatusMenuController::rebootPhp(QAction *sender)
{
    startRestart(this, serverTarget(*this, sender, RestartPhp), RestartPhp);
}

void StatusMenuController::rebootMySQLServer(QAction *sender)
{
    startRestart(this, serverTarget(*this, sender, RestartMySQL), RestartMySQL);
}

void StatusMenuController::rebootNginx(QAction *sender)
{
    startRestart(this, serverTarget(*this, sender, RestartNginx), RestartNginx);
}

void StatusMenuController::rebootPostgres(QAction *sender)
{
    startRestart(this, serverTarget(*this, sender, RestartPostgres), RestartPostgres);
}

void StatusMenuController::rebootPhpForSite(QAction *sender)
{
    startRestart(this, siteTarget(*this, sender), RestartPhp);
}

} // namespace plimsy
