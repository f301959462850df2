#include "actionbar/GlobalHotkeyManager.h"

#include "core/Logger.h"
#include "platform/UserDefaults.h"

namespace plimsy {

GlobalHotkeyManager::GlobalHotkeyManager(UserDefaults &defaults, ShortcutFactory makeShortcut, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_makeShortcut(std::move(makeShortcut))
    , m_currentOption(HotkeyOption::option(defaults.integer(defaultsKey)))
{
}

GlobalHotkeyManager::~GlobalHotkeyManager() = default;

GlobalHotkeyManager &GlobalHotkeyManager::shared()
{
    static auto *s_manager = new GlobalHotkeyManager(UserDefaults::standard());
    return *s_manager;
}

void GlobalHotkeyManager::registerHotkey(quint32 keyCode, quint32 modifiers)
{
    if (!m_shortcut) {
        m_shortcut = m_makeShortcut();
        connect(m_shortcut.get(), &GlobalShortcut::activated, this, &GlobalHotkeyManager::handleActivated);
        connect(m_shortcut.get(), &GlobalShortcut::statusChanged, this, &GlobalHotkeyManager::handleStatusChanged);
    }
    m_registeredName = m_currentOption.displayName;
    for (const HotkeyOption &option : HotkeyOption::options()) {
        if (option.keyCode == keyCode && option.modifiers == modifiers) {
            m_registeredName = option.displayName;
        }
    }
    m_shortcut->grab(keyCode, modifiers);
}

void GlobalHotkeyManager::setHotkey(const HotkeyOption &option)
{
    m_defaults.setValue(defaultsKey, option.id);
    m_currentOption = option;
    if (m_shortcut) {
        m_shortcut->release();
    }
    registerHotkey(option.keyCode, option.modifiers);
}

void GlobalHotkeyManager::unregisterHotkey()
{
    if (!m_shortcut) {
        return;
    }
    m_shortcut->release();
    m_shortcut.reset();
    Q_EMIT registrationStatusChanged();
}

GlobalShortcut::Status GlobalHotkeyManager::registrationStatus() const
{
    return m_shortcut ? m_shortcut->status() : GlobalShortcut::Status::NotRegistered;
}

QString GlobalHotkeyManager::registrationStatusText() const
{
    if (!m_shortcut) {
        return QStringLiteral("Not registered");
    }
    return m_shortcut->statusText();
}

void GlobalHotkeyManager::handleStatusChanged()
{
    // Failures are said once, where they are handled; the application runs on without a hot key.
    switch (m_shortcut->status()) {
    case GlobalShortcut::Status::Taken:
        log(QStringLiteral("[Hotkey] ") + m_registeredName + QStringLiteral(" is taken by another application"));
        break;
    case GlobalShortcut::Status::Unavailable:
        log(QStringLiteral("[Hotkey] Global shortcuts are not available on this desktop (")
            + m_shortcut->unavailableReason() + QStringLiteral("): the Action Bar has no hot key"));
        break;
    case GlobalShortcut::Status::Failed:
        log(QStringLiteral("[Hotkey] ") + m_registeredName + QStringLiteral(" could not be registered"));
        break;
    case GlobalShortcut::Status::Registered:
        if (!m_shortcut->boundTrigger().isEmpty()) {
            log(QStringLiteral("[Hotkey] The desktop bound the Action Bar to ") + m_shortcut->boundTrigger());
        }
        break;
    default:
        break;
    }
    Q_EMIT registrationStatusChanged();
}

void GlobalHotkeyManager::handleActivated()
{
    if (onHotkeyPressed) {
        onHotkeyPressed();
    }
}

} // namespace plimsy
