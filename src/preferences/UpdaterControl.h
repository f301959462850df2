#pragma once

namespace plimsy {

// What the General tab needs of the application's updater, which lives above the Preferences window.
class UpdaterControl
{
public:
    virtual ~UpdaterControl() = default;

    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool isOn) = 0;
    // A check the user asked for: its outcome is shown to the user.
    virtual void checkForUpdates() = 0;
};

} // namespace plimsy
