#pragma once

#include <QString>

namespace plimsy {

class UserDefaults;

// Removes the login-item helper of older versions: on Linux its autostart entry. Runs at every launch
// until the entry is gone or three attempts left it in place. Touches only the defaults (which are
// thread-safe) and the file, so it may run on any thread.
class LegacyLoginItemCleanup
{
public:
    static constexpr auto Label = "com.tindrel.AutoLauncher";
    static constexpr auto AttemptsKey = "legacyLoginItemCleanupAttempts";
    static constexpr auto AutolaunchKey = "autolaunchOnLogin";
    static constexpr qint64 MaxAttempts = 3;

    // `entryPath` is the helper's autostart entry; empty takes $XDG_CONFIG_HOME/autostart/<label>.desktop.
    explicit LegacyLoginItemCleanup(UserDefaults &defaults, QString entryPath = {});

    // The clean-up, on the calling thread.
    void run();

    // Whether the helper is still set to start at login: its entry exists.
    bool isRegistered() const;
    // Switches the helper off: removes its entry. True when it is gone.
    bool disable();

    const QString &entryPath() const { return m_entryPath; }

private:
    UserDefaults &m_defaults;
    QString m_entryPath;
};

} // namespace plimsy
