#pragma once

#include <memory>

class QMenuBar;

namespace plimsy {

class StatusMenuController;

// The application's main menus, built in code. On desktops with a global menu they show there; the
// keys work in every window of the application.
class ApplicationMenu
{
public:
    explicit ApplicationMenu(StatusMenuController *target);

    // The early menu, installed while the status menu sets itself up: About…, Preferences… and Quit,
    // sent to the target.
    std::unique_ptr<QMenuBar> build() const;

    // The final menu: "Quit Plimsy" on Ctrl+Q, and an Edit menu whose items act on the focused text
    // field. The Edit keys are the fields' own, so the menu takes none application-wide.
    static std::unique_ptr<QMenuBar> buildMainMenu();

private:
    StatusMenuController *m_target;
};

} // namespace plimsy
