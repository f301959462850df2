// The configuration and log windows: one per file, kept in configWindows until it posts "windowClosed".
#include "editor/ConfigurationWindowController.h"
#include "editor/ConfigurationWindowDispatcher.h"
#include "menu/FileMenuRepresenter.h"
#include "menu/MenuRepresenter.h"
#include "menu/StatusMenuController.h"
#include "notifications/LogWindowDispatcher.h"
#include "platform/ApplicationActivation.h"
#include "platform/DockVisibilityManager.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>

namespace plimsy {

namespace {

Account accountOf(const MenuRepresenter &item)
{
    return item.account ? *item.account : Account{};
}

// Centred across the main screen, its top 300 points down; with no screen it stays where it opened.
void placeWindow(QWidget *window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!window || !screen) {
        return;
    }
    const QRect frame = screen->geometry();
    const int left = frame.x() + int(frame.width() * 0.5 - window->frameGeometry().width() * 0.5);
    window->move(left, frame.y() + 300);
}

} // namespace

void StatusMenuController::editEnv(QAction *sender)
{
    openEditor(sender, ConfigurationType::Env);
}

void StatusMenuController::editNginx(QAction *sender)
{
    openEditor(sender, ConfigurationType::Nginx);
}

void StatusMenuController::editDeploymentScript(QAction *sender)
{
    openEditor(sender, ConfigurationType::Deployment);
}

void StatusMenuController::showDeploymentLog(QAction *sender)
{
    openEditor(sender, ConfigurationType::DeploymentOutput);
}

void StatusMenuController::showSiteLog(QAction *sender)
{
    openEditor(sender, ConfigurationType::SiteLog);
}

void StatusMenuController::nginxAccessLogs(QAction *sender)
{
    openServerLog(sender, ConfigurationType::NginxAccessLogs);
}

void StatusMenuController::nginxErrorLogs(QAction *sender)
{
    openServerLog(sender, ConfigurationType::NginxErrorLogs);
}

void StatusMenuController::showSiteMonitorFile(QAction *sender)
{
    if (!sender) {
        return;
    }
    if (const auto item = MenuItems::representedObject<FileMenuRepresenter<QUrl>>(sender)) {
        openLogWindow(item->file);
    }
}

void StatusMenuController::openEditor(QAction *sender, ConfigurationType type)
{
    const auto item = clickedRepresenter(sender);
    if (!item || m_appState.isLoadingData() || !item->siteId) {
        return;
    }
    const auto site = Site::find(*item->siteId, m_appState.siteList);
    if (!site || !site->serverId) {
        return;
    }
    // The site's own server, not the item's: the site record is what Forge answered.
    const auto server = Server::find(*site->serverId, m_appState.serverList);
    if (!server) {
        return;
    }
    openConfigurationWindow(*server, site, accountOf(*item), type);
}

void StatusMenuController::openServerLog(QAction *sender, ConfigurationType type)
{
    const auto item = clickedRepresenter(sender);
    if (!item || m_appState.isLoadingData()) {
        return;
    }
    if (const auto server = Server::find(item->serverId, m_appState.serverList)) {
        openConfigurationWindow(*server, std::nullopt, accountOf(*item), type);
    }
}

QString StatusMenuController::configurationWindowKey(const Server &server,
                                                     const std::optional<Site> &site,
                                                     const Account &account,
                                                     ConfigurationType type)
{
    return QStringLiteral("%1_%2_%3_%4")
        .arg(server.id)
        .arg(site ? site->id : 0)
        .arg(account.uuid.value_or(QStringLiteral("unknown")))
        .arg(static_cast<int>(type));
}

void StatusMenuController::openConfigurationWindow(const Server &server,
                                                   const std::optional<Site> &site,
                                                   const Account &account,
                                                   ConfigurationType type)
{
    const QString key = configurationWindowKey(server, site, account, type);
    ApplicationActivation::activate();
    if (bringWindowForward(key)) {
        return;
    }
    auto dispatcher = std::make_unique<ConfigurationWindowDispatcher>(
        key,
        std::make_unique<ConfigurationWindowController>(
            ConfigurationWindowController::Services{m_alerts, m_services.urlOpener, m_defaults, m_sleeper}),
        server,
        site,
        account,
        type,
        ConfigurationWindowDispatcher::Services{forgeServices(), m_alerts, m_sleeper, nullptr});
    ConfigurationWindowDispatcher &opened = *dispatcher;
    keepWindow(std::move(dispatcher));
    opened.show();
    placeWindow(opened.configWindow());
}

void StatusMenuController::openLogWindow(const QUrl &url)
{
    const QString key = url.toString(QUrl::FullyEncoded);
    ApplicationActivation::activate();
    if (bringWindowForward(key)) {
        return;
    }
    auto dispatcher = std::make_unique<LogWindowDispatcher>(
        key,
        url,
        std::make_unique<ConfigurationWindowController>(
            ConfigurationWindowController::Services{m_alerts, m_services.urlOpener, m_defaults, m_sleeper}));
    dispatcher->configWindow()->setDelegate(dispatcher.get());
    LogWindowDispatcher &opened = *dispatcher;
    keepWindow(std::move(dispatcher));
    opened.show();
    placeWindow(opened.configWindow());
}

bool StatusMenuController::bringWindowForward(const QString &key) const
{
    const auto found = std::find_if(
        m_configWindows.cbegin(), m_configWindows.cend(), [&key](const auto &window) { return window->uuid() == key; });
    if (found == m_configWindows.cend()) {
        return false;
    }
    if (ConfigurationWindowController *window = (*found)->configWindow()) {
        if (QWidget *focused = window->focusWidget()) {
            focused->clearFocus();
        }
        window->show();
        window->raise();
        window->activateWindow();
    }
    return true;
}

void StatusMenuController::keepWindow(std::unique_ptr<LogWindowProtocol> window)
{
    m_configWindows.push_back(std::move(window));
    DockVisibilityManager::countWindowOpened();
}

} // namespace plimsy
