#pragma once

#include "account/AuthManager.h"
#include "menu/WindowController.h"
#include "platform/DockVisibilityManager.h"
#include "preferences/PreferencesServices.h"

#include <QObject>
#include <QSize>
#include <QWidget>

#include <memory>

namespace plimsy {

// The window that greets a user who is not signed in: "Sign In" starts the browser sign-in, and a
// sign-in that succeeds closes the window; one that fails leaves it open without a word. It counts
// among the open windows while shown. GUI thread.
class WelcomeWindowController : public QObject, public WindowController
{
    Q_OBJECT

public:
    static constexpr QSize WindowSize{500, 420};

    explicit WelcomeWindowController(PreferencesServices services = {}, QObject *parent = nullptr);
    ~WelcomeWindowController() override;

    void showWindow() override;
    void signIn();

    QWidget *window() const { return m_window.get(); }
    // The stored Forge accounts were not empty when the window was made.
    bool isUpgradeFromV5() const { return m_isUpgradeFromV5; }
    bool isTrackedAsOpen() const { return m_tracker.isTrackedAsOpen(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void handleLoginResult(const AuthManager::Result &result);

    PreferencesServices m_services;
    bool m_isUpgradeFromV5;
    std::unique_ptr<QWidget> m_window;
    WindowVisibilityTracker m_tracker;

    Q_DISABLE_COPY_MOVE(WelcomeWindowController)
};

} // namespace plimsy
