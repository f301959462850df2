#pragma once

#include "app/TrackedWindow.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>

namespace plimsy {

class Sleeper;
class StatusItem;
class UserDefaults;

// "Plimsy's menu needs a system tray": shown once, a few seconds after launch, when no tray host shows
// the status item; it says how to get one on this desktop and how to reach the menu's commands meanwhile.
// It closes itself when a host appears, and never opens over the first run's window.
class TrayNoticeWindow final : public TrackedWindow
{
    Q_OBJECT

public:
    static constexpr auto DontShowKey = "com.tindrel.plimsy.dontShowTrayNotice";
    static constexpr auto Title = "Plimsy's menu needs a system tray";
    // Desktops that start their tray host along with the session get this long.
    static constexpr std::chrono::seconds Delay{5};

    struct Services
    {
        // Empty takes the standard ones.
        UserDefaults *defaults = nullptr;
        Sleeper *sleeper = nullptr;
        std::function<void()> openActionBar;
        // The hot key's name as the user presses it, asked when the window is made; empty while none is
        // registered.
        std::function<QString()> hotkeyName;
        // Where to point the user: the GNOME extension, or the desktop's own tray widget.
        bool isGnome = false;
        // The onboarding or welcome window while it is on screen: the notice waits until it has closed.
        std::function<QWidget *()> firstRunWindow;
    };

    TrayNoticeWindow(StatusItem &statusItem, Services services, QObject *parent = nullptr);

    // Waits `Delay`, then shows the window when no host is there and the user has not turned it off.
    QCoro::Task<> showIfNoHost();

protected:
    std::unique_ptr<QWidget> makeWindow() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void decide();
    QString advice() const;

    StatusItem &m_statusItem;
    Services m_services;
    UserDefaults &m_defaults;
    bool m_isAwaitingAnswer = false;
    QPointer<QWidget> m_awaitedWindow;
};

} // namespace plimsy
