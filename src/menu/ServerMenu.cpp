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

void ServerMenu::build() const
{
    const QVariant representer = QVariant::fromValue(MenuRepresenter{m_serverId, std::nullopt, m_account});
    using C = StatusMenuController;
    QList<QAction *> fixed;
    const auto add = [&](const QString &title, MenuAction action) {
        fixed << MenuActions::make(m_submenu, title, m_target, action, representer);
    };
    const auto separator = [&] { fixed << MenuItems::makeSeparator(m_submenu); };
    add(QStringLiteral("Open Terminal"), &C::openTerminal);
    add(QStringLiteral("Copy IP Address"), &C::copyIPAddress);
    add(QStringLiteral("Open Forge"), &C::openForgeServer);
    separator();
    add(QStringLiteral("Reboot"), &C::rebootServer);
    add(QStringLiteral("Restart PHP"), &C::rebootPhp);
    add(QStringLiteral("Restart MySQL"), &C::rebootMySQLServer);
    add(QStringLiteral("Restart Nginx"), &C::rebootNginx);
    add(QStringLiteral("Restart Postgres"), &C::rebootPostgres);
    separator();
    add(QStringLiteral("Upload SSH Key"), &C::createSSHKey);
    QAction *logs = MenuItems::makeItem(m_submenu, QStringLiteral("Logs"));
    auto *logsMenu = new QMenu(m_submenu);
    MenuActions::add(logsMenu, QStringLiteral("Nginx Access"), m_target, &C::nginxAccessLogs, representer);
    MenuActions::add(logsMenu, QStringLiteral("Nginx Errors"), m_target, &C::nginxErrorLogs, representer);
    logs->setMenu(logsMenu);
    fixed << logs;
    separator();
    const QList<QAction *> sites = m_submenu->actions();
    m_submenu->insertActions(sites.isEmpty() ? nullptr : sites.first(), fixed);
}

void ServerMenu::buildOnOpen() const
{
    // The controller owns the menu, so it outlives the builder.
    MenuItems::setBuilder(m_submenu, [self = *this](QMenu *) { self.build(); });
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

        QAction *item =
            MenuItems::makeItem(m_submenu, MenuItems::literalTitle(siteTitle(stamped)), MenuTag::site(stamped.id));
        if (monitoring) {
            MenuItems::setStateImage(item, MenuItemState::On, onState);
        }
        // Each site item leads to its submenu from the start: a host shows the server's submenu as it
        // reads it, and one whose items turn into submenus while open closes it.
        const SiteMenu siteMenu(serverId, stamped.id, m_account);
        item->setMenu(eager ? siteMenu.buildMenu(m_target, m_submenu, context, &stamped)
                            : siteMenu.buildMenuOnOpen(m_target, m_submenu, SiteMenu::deployTitle(&stamped)));
        m_submenu->addAction(item);
    }
}

} // namespace plimsy
