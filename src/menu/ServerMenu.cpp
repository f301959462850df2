#include "menu/ServerMenu.h"

#include "core/Puny.h"
#include "menu/MenuAction.h"
#include "menu/MenuRepresenter.h"
#include "menu/SiteMenu.h"
#include "menu/StatusMenuController.h"
#include "platform/TemplateImage.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QHash>
#include <QMenu>

namespace plimsy {

namespace {

// The deploy item's title of each site whose item waits for its submenu, kept on the server's submenu
// until it is made: one table per server instead of a closure and a menu per site.
constexpr const char *PendingDeployTitlesProperty = "plimsyPendingDeployTitles";

using DeployTitles = QHash<qint64, QString>;

} // namespace

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
    MenuItems::setBuilder(m_submenu, [self = *this](QMenu *) {
        self.build();
        self.giveSiteItemsTheirMenus();
    });
}

void ServerMenu::giveSiteItemsTheirMenus() const
{
    const auto titles = m_submenu->property(PendingDeployTitlesProperty).value<DeployTitles>();
    m_submenu->setProperty(PendingDeployTitlesProperty, QVariant());
    const QList<QAction *> items = m_submenu->actions();
    for (QAction *item : items) {
        const MenuTag tag = MenuItems::tag(item);
        if (tag.kind != MenuTagKind::Site || item->menu()) {
            continue;
        }
        const SiteMenu siteMenu(m_serverId, tag.value, m_account);
        item->setMenu(
            siteMenu.buildMenuOnOpen(m_target, m_submenu, titles.value(tag.value, SiteMenu::deployTitle(nullptr))));
    }
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
    // Until the server's submenu is made, nothing can reach its site items' submenus: they are made with
    // it. A submenu opened before its sites arrived gives them theirs at once.
    const bool withServerMenu = !eager && !MenuItems::isBuilt(m_submenu);
    auto pending =
        withServerMenu ? m_submenu->property(PendingDeployTitlesProperty).value<DeployTitles>() : DeployTitles();
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
        m_submenu->addAction(item);
        const SiteMenu siteMenu(serverId, stamped.id, m_account);
        if (eager) {
            item->setMenu(siteMenu.buildMenu(m_target, m_submenu, context, &stamped));
        } else if (withServerMenu) {
            pending.insert(stamped.id, SiteMenu::deployTitle(&stamped));
        } else {
            item->setMenu(siteMenu.buildMenuOnOpen(m_target, m_submenu, SiteMenu::deployTitle(&stamped)));
        }
    }
    if (withServerMenu) {
        m_submenu->setProperty(PendingDeployTitlesProperty, QVariant::fromValue(std::move(pending)));
        if (!sites.isEmpty()) {
            MenuItems::removePlaceholder(m_submenu);
        }
    }
}

} // namespace plimsy
