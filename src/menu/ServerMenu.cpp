#include "menu/ServerMenu.h"

#include "core/Puny.h"
#include "menu/MenuAction.h"
#include "menu/MenuRepresenter.h"
#include "menu/SiteMenu.h"
#include "menu/StatusMenuController.h"
#include "platform/TemplateImage.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QMenu>

namespace plimsy {

ServerMenu::ServerMenu(qint64 serverId,
                       StatusMenuController *target,
                       std::shared_ptr<const Account> account,
                       QMenu *submenu)
    : m_serverId(serverId)
    , m_target(target)
    , m_account(std::move(account))
    , m_submenu(submenu)
{
}

void ServerMenu::build()
{
    const QVariant representer = QVariant::fromValue(MenuRepresenter{m_serverId, std::nullopt, m_account});
    using C = StatusMenuController;
    const auto add = [&](QMenu *menu, const QString &title, MenuAction action) {
        MenuActions::add(menu, title, m_target, action, representer);
    };
    add(m_submenu, QStringLiteral("Open Terminal"), &C::openTerminal);
    add(m_submenu, QStringLiteral("Copy IP Address"), &C::copyIPAddress);
    add(m_submenu, QStringLiteral("Open Forge"), &C::openForgeServer);
    MenuActions::addSeparator(m_submenu);
    add(m_submenu, QStringLiteral("Reboot"), &C::rebootServer);
    add(m_submenu, QStringLiteral("Restart PHP"), &C::rebootPhp);
    add(m_submenu, QStringLiteral("Restart MySQL"), &C::rebootMySQLServer);
    add(m_submenu, QStringLiteral("Restart Nginx"), &C::rebootNginx);
    add(m_submenu, QStringLiteral("Restart Postgres"), &C::rebootPostgres);
    MenuActions::addSeparator(m_submenu);
    add(m_submenu, QStringLiteral("Upload SSH Key"), &C::createSSHKey);
    QAction *logs = MenuItems::makeItem(m_submenu, QStringLiteral("Logs"));
    auto *logsMenu = new QMenu(m_submenu);
    add(logsMenu, QStringLiteral("Nginx Access"), &C::nginxAccessLogs);
    add(logsMenu, QStringLiteral("Nginx Errors"), &C::nginxErrorLogs);
    logs->setMenu(logsMenu);
    m_submenu->addAction(logs);
    MenuActions::addSeparator(m_submenu);
}

QString ServerMenu::siteTitle(const Site &site)
{
    if (!site.name) {
        return {};
    }
    // A name that does not decode is still better shown than an untitled item.
    return decodeIDNADomain(*site.name).value_or(*site.name);
}

void ServerMenu::addSiteItems(QList<Site> sites, qint64 serverId)
{
    AppState &state = m_target->appState();
    const bool monitoring = m_target->defaults().boolValue(QStringLiteral("monitorSites"));
    const QIcon onState = monitoring ? TemplateImage::named(QStringLiteral("OnState")) : QIcon();
    const bool eager = m_target->buildsSiteMenusEagerly();
    const SiteMenuContext context = eager ? SiteMenuContext::load(*m_target) : SiteMenuContext();
    for (Site &site : sites) {
        state.expectedSiteCount += 1;
        site.serverId = serverId;
        state.siteList.append(std::move(site));
        const Site &stamped = state.siteList.constLast();

        QAction *item = MenuItems::makeItem(m_submenu, siteTitle(stamped), MenuTag::site(stamped.id));
        if (monitoring) {
            MenuItems::setStateImage(item, MenuItemState::On, onState);
        }
        m_submenu->addAction(item);
        const SiteMenu siteMenu(serverId, stamped.id, m_account);
        item->setMenu(eager ? siteMenu.buildMenu(m_target, m_submenu, context, &stamped)
                            : siteMenu.buildMenuOnOpen(m_target, m_submenu, stamped));
    }
}

} // namespace plimsy
