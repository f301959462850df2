#pragma once

#include "menu/WindowController.h"
#include "platform/DockVisibilityManager.h"
#include "preferences/PreferencesServices.h"

#include <QWidget>

class QActionGroup;
class QStackedWidget;
class QToolBar;

namespace plimsy {

// The Preferences window: a toolbar of five tabs over the selected tab's content, titled after the
// selected tab and sized to it (at least 600 px wide), not resizable. Closing only hides it; the tabs
// and their state stay for the next showing. It counts as an open window from its first activation
// until it is closed. GUI thread.
class PreferencesWindowController : public QWidget, public WindowController
{
    Q_OBJECT

public:
    static constexpr int ContentWidth = 600;
    static constexpr int MinimumContentHeight = 100;

    explicit PreferencesWindowController(PreferencesServices services = {}, QWidget *parent = nullptr);

    // Shows the window and brings it to the front.
    void showWindow() override;

    void selectTab(const QString &label);
    QString selectedTab() const;
    bool isTrackedAsOpen() const { return m_tracker.isTrackedAsOpen(); }

protected:
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makePage(QWidget *content);
    void fitToSelectedTab();
    // Selects the tab `step` places on, round the ends, with the focus on its button.
    void selectAdjacentTab(int step);

    QToolBar *m_toolBar;
    QActionGroup *m_tabs;
    QStackedWidget *m_pages;
    WindowVisibilityTracker m_tracker;
    bool m_hasBeenPlaced = false;

    Q_DISABLE_COPY_MOVE(PreferencesWindowController)
};

} // namespace plimsy
