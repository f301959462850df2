#pragma once

#include <QList>
#include <QString>

namespace plimsy {

// One of the predefined combinations of the palette's hot key. The id is stored under "actionBarHotkey".
struct HotkeyOption
{
    int id = 0;
    QString displayName;
    quint32 keyCode = 0;   // the key's X keysym
    quint32 modifiers = 0; // ShortcutModifier bits

    bool operator==(const HotkeyOption &) const = default;

    // The nine options in the order the Preferences picker lists them (the position is the id).
    static const QList<HotkeyOption> &options();
    // The option with that id; any other id gives option 0, "Super+Shift+K".
    static HotkeyOption option(qint64 id);
};

} // namespace plimsy
