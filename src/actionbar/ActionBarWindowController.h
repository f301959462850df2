#pragma once

#include "actionbar/ActionBarDataSource.h"
#include "actionbar/FuzzySearch.h"
#include "platform/DockVisibilityManager.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

class QAction;

namespace plimsy {

class ActionBarListModel;
class ActionBarPanel;
class AlertPresenter;
class RecentCommandsManager;

// What the palette reads and reports through; each member left empty takes the process-wide one.
struct ActionBarServices
{
    ActionBarDataSource::Sources sources;
    AlertPresenter *alerts = nullptr;
    RecentCommandsManager *recentCommands = nullptr;
};

// The Action Bar: a floating palette that finds every status-menu command for the loaded servers and sites
// and runs the chosen one through the status menu's own action, confirmation included. GUI thread.
class ActionBarWindowController : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxVisibleRows = 8;
    static constexpr std::chrono::milliseconds SearchDelay{50};

    explicit ActionBarWindowController(ActionBarServices services = {}, QObject *parent = nullptr);
    ~ActionBarWindowController() override;

    ActionBarPanel *window() const { return m_panel.get(); }
    bool isVisible() const;

    // Opens the bar with every command, the field empty and the first row selected.
    void show();
    void close();
    // What the hot key does: closes a visible bar, else shows it.
    void toggle();

    const QList<FuzzyMatch> &filteredItems() const;
    void filterItems(const QString &query);
    void selectNext();
    void selectPrevious();
    // Runs the selected row, after the search still waiting for its pause.
    void executeSelected();
    void executeItem(const plimsy::ActionBarItem &item);

private:
    // The server or site whose name Tab completed into the field.
    struct Completion
    {
        QString name;
        qint64 serverId = 0;
        std::optional<qint64> siteId;
    };

    void allSitesDidLoad();
    void scheduleSearch();
    void runPendingSearch();
    void completeEntity();
    void resizeWindow();
    int selectedRow() const;
    void selectRow(int row);
    void showError(const QString &title, const QString &message);
    std::optional<std::pair<QList<ActionBarItem>, QString>> completedScope(const QString &query) const;

    ActionBarServices m_services;
    AlertPresenter &m_alerts;
    RecentCommandsManager &m_recentCommands;
    FuzzySearch m_fuzzySearch;
    QList<ActionBarItem> m_allItems;
    std::optional<Completion> m_completion;
    QTimer m_searchDebouncer;
    WindowVisibilityTracker m_visibility;
    std::unique_ptr<ActionBarPanel> m_panel;
    ActionBarListModel *m_model;
    // The item handed to the status menu's action; it stays until the next execution, as the action's
    // confirmation and request may still refer to it.
    std::unique_ptr<QAction> m_commandItem;

    Q_DISABLE_COPY_MOVE(ActionBarWindowController)
};

} // namespace plimsy
