#include "menu/SiteMenu.h"

#include "menu/FavoriteSitesStore.h"
#include "menu/MenuAction.h"
#include "menu/MenuRepresenter.h"
#include "menu/StatusMenuController.h"
#include "notifications/WebhookStorage.h"

#include <QAction>
#include <QMenu>

namespace plimsy {

SiteMenuContext SiteMenuContext::load(const StatusMenuController &controller)
{
    SiteMenuContext context;
    const QList<WebhookRegistration> registrations = controller.webhookStorage().loadRegistrations();
    for (const WebhookRegistration &registration : registrations) {
        context.notifiedSiteIds.insert(registration.siteId);
    }
    context.favorites = FavoriteSitesStore(controller.defaults()).load();
    return context;
}

SiteMenu::SiteMenu(qint64 serverId, qint64 siteId, std::shared_ptr<const Account> account)
    : m_serverId(serverId)
    , m_siteId(siteId)
    , m_account(std::move(account))
{
}

QString SiteMenu::deployTitle(const Site *site)
{
    if (site && site->repository && site->repository->branch) {
        const QString branch = site->repository->branch->trimmed();
        if (!branch.isEmpty()) {
            return QStringLiteral("Deploy Site (%1)").arg(branch);
        }
    }
    return QStringLiteral("Deploy Site");
}

QMenu *SiteMenu::buildMenu(StatusMenuController *target, QWidget *parent) const
{
    return buildMenu(target, parent, SiteMenuContext::load(*target));
}

QMenu *SiteMenu::buildMenu(StatusMenuController *target,
                           QWidget *parent,
                           const SiteMenuContext &context,
                           const Site *site) const
{
    std::optional<Site> found;
    if (!site) {
        found = Site::find(m_siteId, target->appState().siteList);
        site = found ? &*found : nullptr;
    }
    auto *menu = new QMenu(parent);
    const QVariant representer = QVariant::fromValue(MenuRepresenter{m_serverId, m_siteId, m_account});
    using C = StatusMenuController;
    const auto add = [&](const QString &title, MenuAction action) {
        return MenuActions::add(menu, title, target, action, representer);
    };
    add(deployTitle(site), &C::deploySite);
    add(QStringLiteral("Reboot PHP"), &C::rebootPhpForSite);
    add(QStringLiteral("Deployment Log"), &C::showDeploymentLog);
    add(QStringLiteral("Site Log"), &C::showSiteLog);
    MenuActions::addSeparator(menu);
    add(QStringLiteral("Open Terminal"), &C::openTerminalForSite);
    MenuActions::addSeparator(menu);
    add(QStringLiteral("Deployment Script"), &C::editDeploymentScript);
    add(QStringLiteral("Edit .env"), &C::editEnv);
    add(QStringLiteral("Nginx Configuration"), &C::editNginx);
    QAction *notify = add(QStringLiteral("Notify on Deploy"), &C::toggleSiteNotifications);
    MenuItems::setState(notify, context.notifiedSiteIds.contains(m_siteId) ? MenuItemState::On : MenuItemState::Off);
    QAction *favorite = add(QStringLiteral("Favorite"), &C::toggleFavoriteSite);
    const QString accountId = m_account && m_account->uuid ? *m_account->uuid : QString();
    const bool isFavorite =
        FavoriteSitesStore::contains(accountId, m_serverId, m_siteId, context.favorites).has_value();
    MenuItems::setState(favorite, isFavorite ? MenuItemState::On : MenuItemState::Off);
    MenuActions::addSeparator(menu);
    add(QStringLiteral("Visit Site"), &C::visitSite);
    add(QStringLiteral("Open Forge"), &C::openForge);
    return menu;
}

} // namespace plimsy
