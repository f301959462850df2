#pragma once

#include "actionbar/HotkeyOption.h"
#include "platform/GlobalShortcut.h"

#include <QObject>

#include <functional>
#include <memory>

namespace plimsy {

class UserDefaults;

// The palette's system-wide hot key: the chosen option (stored under "actionBarHotkey"), its registration
// with the desktop and what a press does. GUI thread.
class GlobalHotkeyManager : public QObject
{
    Q_OBJECT

public:
    using ShortcutFactory = std::function<std::unique_ptr<GlobalShortcut>()>;

    // Reads the stored option; registers nothing. `makeShortcut` gives the desktop's backend at the first
    // registration.
    explicit GlobalHotkeyManager(UserDefaults &defaults,
                                 ShortcutFactory makeShortcut = &GlobalShortcut::create,
                                 QObject *parent = nullptr);
    ~GlobalHotkeyManager() override;

    // Over the standard defaults and this desktop's backend.
    static GlobalHotkeyManager &shared();

    const QString defaultsKey = QStringLiteral("actionBarHotkey");

    const HotkeyOption &currentOption() const { return m_currentOption; }

    // What a press does; called on a later turn of the event loop, never inside the platform's handler.
    std::function<void()> onHotkeyPressed;

    // Holds the combination (a keysym and ShortcutModifier bits).
    void registerHotkey(quint32 keyCode, quint32 modifiers);
    // Stores the choice, then releases the old combination and registers the new one.
    void setHotkey(const plimsy::HotkeyOption &option);
    // Releases the combination and the platform's event handling.
    void unregisterHotkey();

    bool isInstalled() const { return m_shortcut != nullptr; }
    GlobalShortcut::Status registrationStatus() const;
    // Whether a press reaches the application now.
    bool isRegistered() const { return registrationStatus() == GlobalShortcut::Status::Registered; }
    // For the user: registered (and as what), taken by another application, not available here.
    QString registrationStatusText() const;

Q_SIGNALS:
    void registrationStatusChanged();

private:
    void handleStatusChanged();
    void handleActivated();

    UserDefaults &m_defaults;
    ShortcutFactory m_makeShortcut;
    HotkeyOption m_currentOption;
    QString m_registeredName;
    std::unique_ptr<GlobalShortcut> m_shortcut;

    Q_DISABLE_COPY_MOVE(GlobalHotkeyManager)
};

} // namespace plimsy
