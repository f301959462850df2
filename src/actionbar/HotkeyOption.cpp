#include "actionbar/HotkeyOption.h"

#include "platform/GlobalShortcut.h"

namespace plimsy {

namespace {

constexpr quint32 KeyK = 0x6b;
constexpr quint32 KeySpace = 0x20;
constexpr quint32 KeyP = 0x70;
constexpr quint32 KeyA = 0x61;
constexpr quint32 KeyF = 0x66;
constexpr quint32 KeyO = 0x6f;

} // namespace

const QList<HotkeyOption> &HotkeyOption::options()
{
    using namespace ShortcutModifier;
    static const QList<HotkeyOption> s_options{
        {0, QStringLiteral("Super+Shift+K"), KeyK, Super | Shift},
        {1, QStringLiteral("Super+Shift+Space"), KeySpace, Super | Shift},
        {2, QStringLiteral("Alt+Space"), KeySpace, Alt},
        {3, QStringLiteral("Super+Shift+P"), KeyP, Super | Shift},
        {4, QStringLiteral("Ctrl+Alt+Space"), KeySpace, Control | Alt},
        {5, QStringLiteral("Super+Shift+A"), KeyA, Super | Shift},
        {6, QStringLiteral("Ctrl+Space"), KeySpace, Control},
        {7, QStringLiteral("Super+Shift+F"), KeyF, Super | Shift},
        {8, QStringLiteral("Super+Shift+O"), KeyO, Super | Shift},
    };
    return s_options;
}

HotkeyOption HotkeyOption::option(qint64 id)
{
    for (const HotkeyOption &candidate : options()) {
        if (candidate.id == id) {
            return candidate;
        }
    }
    return options().first();
}

} // namespace plimsy
