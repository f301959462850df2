#pragma once

#include "menu/AppState.h"

#include <QObject>

#include <memory>

namespace plimsy {

class ActionBarWindowController;
class StatusMenuController;

// The root object of the process: owns the loaded servers and sites and the status menu, and routes
// the start-up to the first refresh. Only the road to that refresh is here so far; the other windows of
// the start-up (onboarding, welcome) are said to be missing in the log.
class AppDelegate : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    AppState &state() { return m_state; }
    StatusMenuController &statusMenuController() { return *m_statusMenuController; }

    // The status menu's set-up, then the start-up route.
    void applicationDidFinishLaunching();

    // Opens the Action Bar; nothing before launch has finished.
    void showActionBar();

private:
    void routeStartup();
    void setUpActionBar();
    void toggleActionBar();

    AppState m_state;
    std::unique_ptr<StatusMenuController> m_statusMenuController;
    std::unique_ptr<ActionBarWindowController> m_actionBarController;

    Q_DISABLE_COPY_MOVE(AppDelegate)
};

} // namespace plimsy
