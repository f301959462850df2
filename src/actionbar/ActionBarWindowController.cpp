#include "actionbar/ActionBarWindowController.h"

#include "actionbar/ActionBarCellView.h"
#include "actionbar/ActionBarListModel.h"
#include "actionbar/ActionBarPanel.h"
#include "actionbar/ActionBarSearchField.h"
#include "actionbar/RecentCommandsManager.h"
#include "core/NotificationNames.h"
#include "menu/MenuRepresenter.h"
#include "menu/StatusMenuController.h"
#include "platform/AlertPresenter.h"
#include "platform/ApplicationActivation.h"
#include "platform/MenuItems.h"
#include "platform/NotificationCenter.h"

#include <QAction>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QListView>
#include <QScreen>

#include <algorithm>

namespace plimsy {

namespace {

using Type = ActionBarCommandType;
using Action = void (StatusMenuController::*)(QAction *);

// The status-menu action of each server and site command.
Action statusMenuAction(Type type)
{
    using C = StatusMenuController;
    switch (type) {
    case Type::deploySite:
        return &C::deploySite;
    case Type::editEnv:
        return &C::editEnv;
    case Type::editNginx:
        return &C::editNginx;
    case Type::editDeploymentScript:
        return &C::editDeploymentScript;
    case Type::viewDeploymentLog:
        return &C::showDeploymentLog;
    case Type::viewSiteLog:
        return &C::showSiteLog;
    case Type::visitSite:
        return &C::visitSite;
    case Type::openForge:
        return &C::openForge;
    case Type::openTerminalForSite:
        return &C::openTerminalForSite;
    case Type::rebootPhpForSite:
        return &C::rebootPhpForSite;
    case Type::toggleSiteNotifications:
        return &C::toggleSiteNotifications;
    case Type::rebootServer:
        return &C::rebootServer;
    case Type::rebootPHP:
        return &C::rebootPhp;
    case Type::rebootMySQL:
        return &C::rebootMySQLServer;
    case Type::rebootNginx:
        return &C::rebootNginx;
    case Type::rebootPostgres:
        return &C::rebootPostgres;
    case Type::openTerminal:
        return &C::openTerminal;
    case Type::copyIPAddress:
        return &C::copyIPAddress;
    case Type::uploadSSHKey:
        return &C::createSSHKey;
    case Type::viewNginxAccessLogs:
        return &C::nginxAccessLogs;
    case Type::viewNginxErrorLogs:
        return &C::nginxErrorLogs;
    case Type::openForgeServer:
        return &C::openForgeServer;
    case Type::about:
        return &C::aboutClicked;
    case Type::quit:
        return &C::quit;
    case Type::refresh:
    case Type::openPreferences:
        break;
    }
    return nullptr;
}

bool belongsTo(const ActionBarItem &item, qint64 serverId, std::optional<qint64> siteId)
{
    if (siteId) {
        return item.siteId == siteId;
    }
    return item.serverId == serverId && !item.siteId;
}

} // namespace

ActionBarWindowController::ActionBarWindowController(ActionBarServices services, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_alerts(services.alerts ? *services.alerts : AlertPresenter::system())
    , m_recentCommands(services.recentCommands ? *services.recentCommands : RecentCommandsManager::shared())
    , m_fuzzySearch(m_recentCommands)
    , m_panel(std::make_unique<ActionBarPanel>())
    , m_model(new ActionBarListModel(this))
{
    m_panel->tableView()->setModel(m_model);
    m_searchDebouncer.setSingleShot(true);
    m_searchDebouncer.setInterval(SearchDelay);
    connect(&m_searchDebouncer, &QTimer::timeout, this, &ActionBarWindowController::runPendingSearch);

    ActionBarSearchField *field = m_panel->searchField();
    connect(field, &QLineEdit::textEdited, this, &ActionBarWindowController::scheduleSearch);
    connect(field, &ActionBarSearchField::executeRequested, this, &ActionBarWindowController::executeSelected);
    connect(field, &ActionBarSearchField::completionRequested, this, &ActionBarWindowController::completeEntity);
    connect(field, &ActionBarSearchField::closeRequested, this, &ActionBarWindowController::close);
    connect(field, &ActionBarSearchField::nextRequested, this, &ActionBarWindowController::selectNext);
    connect(field, &ActionBarSearchField::previousRequested, this, &ActionBarWindowController::selectPrevious);
    connect(m_panel->tableView(), &QListView::doubleClicked, this, &ActionBarWindowController::executeSelected);
    connect(m_panel.get(), &ActionBarPanel::deactivated, this, &ActionBarWindowController::close);
    // However the panel went away, it no longer counts as an open window.
    connect(m_panel.get(), &ActionBarPanel::hidden, this, [this] { m_visibility.windowClosed(); });

    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::allSitesLoaded, this, [this](const Notification &) { allSitesDidLoad(); });
    resizeWindow();
}

ActionBarWindowController::~ActionBarWindowController()
{
    m_visibility.windowClosed();
}

bool ActionBarWindowController::isVisible() const
{
    return m_panel->isVisible();
}

void ActionBarWindowController::show()
{
    m_allItems = ActionBarDataSource::allItems(m_services.sources);
    m_completion.reset();
    filterItems(m_panel->searchField()->text());
    m_visibility.windowShown();

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        // Resizing keeps the top edge, so the panel must have room below for its longest list.
        m_panel->move(
            ActionBarPanel::placement(screen->availableGeometry(),
                                      m_panel->size(),
                                      MaxVisibleRows * ActionBarCellView::RowHeight + ActionBarPanel::ChromeHeight));
    }
    m_panel->show();
    m_panel->raise();
    // Summoned from another application, the panel itself takes the keyboard focus.
    m_panel->activateWindow();

    m_panel->searchField()->clear();
    m_panel->searchField()->setFocus(Qt::ActiveWindowFocusReason);
    filterItems(QString());
}

void ActionBarWindowController::close()
{
    m_searchDebouncer.stop();
    m_panel->hide();
    m_panel->searchField()->clear();
    m_completion.reset();
    m_visibility.windowClosed();
}

void ActionBarWindowController::toggle()
{
    if (isVisible()) {
        close();
    } else {
        show();
    }
}

const QList<FuzzyMatch> &ActionBarWindowController::filteredItems() const
{
    return m_model->matches();
}

void ActionBarWindowController::allSitesDidLoad()
{
    if (!isVisible()) {
        return;
    }
    m_allItems = ActionBarDataSource::allItems(m_services.sources);
    filterItems(m_panel->searchField()->text());
}

void ActionBarWindowController::scheduleSearch()
{
    m_searchDebouncer.start();
}

void ActionBarWindowController::runPendingSearch()
{
    m_searchDebouncer.stop();
    filterItems(m_panel->searchField()->text());
}

std::optional<std::pair<QList<ActionBarItem>, QString>>
ActionBarWindowController::completedScope(const QString &query) const
{
    if (!m_completion || !query.startsWith(m_completion->name + QLatin1Char(' '))) {
        return std::nullopt;
    }
    QList<ActionBarItem> scoped;
    std::copy_if(m_allItems.cbegin(), m_allItems.cend(), std::back_inserter(scoped), [this](const ActionBarItem &item) {
        return belongsTo(item, m_completion->serverId, m_completion->siteId);
    });
    return std::make_pair(scoped, query.mid(m_completion->name.size() + 1));
}

void ActionBarWindowController::filterItems(const QString &query)
{
    QList<FuzzyMatch> matches;
    // A name completed by Tab may hold spaces ("example.com (web-1)"): it scopes while the field begins with it.
    if (const auto completed = completedScope(query)) {
        matches = m_fuzzySearch.search(completed->second, completed->first);
    } else {
        m_completion.reset();
        const qsizetype space = query.indexOf(QLatin1Char(' '));
        QList<MatchedEntity> entities;
        if (space >= 0) {
            entities = ActionBarDataSource::matchingEntities(query.left(space), m_services.sources);
        }
        if (!entities.isEmpty()) {
            QList<ActionBarItem> scoped;
            std::copy_if(m_allItems.cbegin(),
                         m_allItems.cend(),
                         std::back_inserter(scoped),
                         [&entities](const ActionBarItem &item) {
                             return std::any_of(entities.cbegin(), entities.cend(), [&item](const MatchedEntity &e) {
                                 return belongsTo(item, e.serverId, e.siteId);
                             });
                         });
            matches = m_fuzzySearch.search(query.mid(space + 1), scoped);
        } else {
            matches = m_fuzzySearch.search(query, m_allItems);
        }
    }
    m_model->setMatches(std::move(matches));
    resizeWindow();
    if (!filteredItems().isEmpty()) {
        selectRow(0);
    }
}

void ActionBarWindowController::completeEntity()
{
    if (filteredItems().isEmpty() || filteredItems().first().item().entityName.isEmpty()) {
        return;
    }
    const ActionBarItem &first = filteredItems().first().item();
    m_completion = Completion{first.entityName, first.serverId.value_or(0), first.siteId};
    const QString text = first.entityName + QLatin1Char(' ');
    m_searchDebouncer.stop();
    m_panel->searchField()->setText(text);
    m_panel->searchField()->setCursorPosition(int(text.size()));
    m_panel->searchField()->deselect();
    filterItems(text);
}

void ActionBarWindowController::resizeWindow()
{
    const int rows = std::clamp(int(filteredItems().size()), 1, MaxVisibleRows);
    m_panel->layoutForListHeight(rows * ActionBarCellView::RowHeight);
}

int ActionBarWindowController::selectedRow() const
{
    const QModelIndex current = m_panel->tableView()->selectionModel()->currentIndex();
    const bool isSelected = current.isValid() && m_panel->tableView()->selectionModel()->isSelected(current);
    return isSelected ? current.row() : -1;
}

void ActionBarWindowController::selectRow(int row)
{
    const QModelIndex index = m_model->index(row);
    m_panel->tableView()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_panel->tableView()->scrollTo(index);
}

void ActionBarWindowController::selectNext()
{
    if (!filteredItems().isEmpty()) {
        selectRow(std::min(selectedRow() + 1, int(filteredItems().size()) - 1));
    }
}

void ActionBarWindowController::selectPrevious()
{
    if (!filteredItems().isEmpty()) {
        selectRow(std::max(selectedRow() - 1, 0));
    }
}

void ActionBarWindowController::executeSelected()
{
    // Return inside the search pause must run what the field now says, not the previous query's row.
    if (m_searchDebouncer.isActive()) {
        runPendingSearch();
    }
    const int row = selectedRow();
    if (row >= 0 && row < filteredItems().size()) {
        executeItem(ActionBarItem(filteredItems().at(row).item()));
    }
}

void ActionBarWindowController::executeItem(const ActionBarItem &item)
{
    m_recentCommands.recordCommand(item.id);
    m_recentCommands.recordEntity(item.entityName);
    close();

    StatusMenuController *controller = StatusMenuControllerHolder::shared().controller;
    if (!controller) {
        showError(QStringLiteral("Could not execute action"),
                  QStringLiteral("The menu controller is not available. Please try restarting Plimsy."));
        return;
    }
    m_commandItem = std::make_unique<QAction>();
    if (item.account && item.serverId) {
        MenuItems::setRepresentedObject(
            m_commandItem.get(), QVariant::fromValue(MenuRepresenter{*item.serverId, item.siteId, item.account}));
    }
    if (item.type == Type::refresh) {
        controller->updateServers();
        return;
    }
    if (item.type == Type::openPreferences) {
        controller->preferences(m_commandItem.get());
        ApplicationActivation::activate();
        return;
    }
    const bool isGlobal = item.type == Type::about || item.type == Type::quit;
    if (!isGlobal && (!item.account || !item.serverId)) {
        showError(QStringLiteral("Could not execute action"),
                  QStringLiteral("Missing server or account data. Please refresh your servers and try again."));
        return;
    }
    (controller->*statusMenuAction(item.type))(m_commandItem.get());
}

void ActionBarWindowController::showError(const QString &title, const QString &message)
{
    // After the execution step that failed has returned, as a queued alert.
    QTimer::singleShot(0, this, [this, title, message] {
        ApplicationActivation::activate();
        m_alerts.show(Alert{title, message, Alert::Style::Warning, {QStringLiteral("OK")}});
    });
}

} // namespace plimsy
