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

namespace {

const QString NotifyItemName = QStringLiteral("notifyOnDeployItem");
const QString FavoriteItemName = QStringLiteral("favoriteItem");

MenuItemState notifyState(const SiteMenuContext &context, qint64 siteId)
{
    return context.notifiedSiteIds.contains(siteId) ? MenuItemState::On : MenuItemState::Off;
}

MenuItemState favoriteState(const SiteMenuContext &context, const MenuRepresenter &site)
{
    const QString accountId = site.account && site.account->uuid ? *site.account->uuid : QString();
    const bool isFavorite =
        site.siteId && FavoriteSitesStore::contains(accountId, site.serverId, *site.siteId, context.favorites);
    return isFavorite ? MenuItemState::On : MenuItemState::Off;
}

} // namespace

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
    fill(menu, target, context, deployTitle(site));
    return menu;
}

QMenu *SiteMenu::buildMenuOnOpen(StatusMenuController *target, QWidget *parent, const QString &deployItemTitle) const
{
    auto *menu = new QMenu(parent);
    // The controller owns the menu, so it outlives the builder.
    MenuItems::setBuilder(menu, [self = *this, target, title = deployItemTitle](QMenu *unmade) {
        self.fill(unmade, target, SiteMenuContext::load(*target), title);
    });
    return menu;
}

void SiteMenu::fill(QMenu *menu,
                    StatusMenuController *target,
                    const SiteMenuContext &context,
                    const QString &deployItemTitle) const
{
    const MenuRepresenter item{m_serverId, m_siteId, m_account};
    const QVariant representer = QVariant::fromValue(item);
    using C = StatusMenuController;
    const auto add = [&](const QString &title, MenuAction action) {
        return MenuActions::add(menu, title, target, action, representer);
    };
    add(MenuItems::literalTitle(deployItemTitle), &C::deploySite);
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
    notify->setObjectName(NotifyItemName);
    MenuItems::setState(notify, notifyState(context, m_siteId));
    QAction *favorite = add(QStringLiteral("Favorite"), &C::toggleFavoriteSite);
    favorite->setObjectName(FavoriteItemName);
    MenuItems::setState(favorite, favoriteState(context, item));
    MenuActions::addSeparator(menu);
    add(QStringLiteral("Visit Site"), &C::visitSite);
    add(QStringLiteral("Open Forge"), &C::openForge);
}

void SiteMenu::showStoredState(const QMenu *root, std::optional<qint64> siteId, const SiteMenuContext &context)
{
    const QList<QAction *> items = root->actions();
    for (QAction *item : items) {
        if (const QMenu *submenu = item->menu()) {
            showStoredState(submenu, siteId, context);
            continue;
        }
        const bool isNotify = item->objectName() == NotifyItemName;
        if (!isNotify && item->objectName() != FavoriteItemName) {
            continue;
        }
        const auto site = MenuItems::representedObject<MenuRepresenter>(item);
        if (site && site->siteId && (!siteId || site->siteId == siteId)) {
            MenuItems::setState(item, isNotify ? notifyState(context, *site->siteId) : favoriteState(context, *site));
        }
    }
}

} // namespace plimsy
