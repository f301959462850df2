#pragma once

#include "account/AuthManager.h"

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QBoxLayout;
class QFrame;
class QLabel;
class QObject;
class QPushButton;
class QWidget;

namespace plimsy {

// A symbol image of the onboarding's screens: the desktop theme's icon, else our own drawing of it
// (always ours where themes draw the idea differently).
struct Symbol
{
    const char *themeName;
    // The file name under ":/onboarding/symbols/", without ".svg".
    const char *fallback;
};

namespace Symbols {
inline constexpr Symbol Server{"network-server-symbolic", "server"};
inline constexpr Symbol ArrowUpCircle{"", "arrow-up-circle"};
inline constexpr Symbol Bell{"preferences-system-notifications-symbolic", "bell"};
inline constexpr Symbol BellBadge{"", "bell-badge"};
inline constexpr Symbol Terminal{"utilities-terminal-symbolic", "terminal"};
inline constexpr Symbol Envelope{"mail-unread-symbolic", "envelope"};
inline constexpr Symbol Key{"dialog-password-symbolic", "key"};
inline constexpr Symbol ExternalLink{"", "external-link"};
inline constexpr Symbol Help{"", "help"};
inline constexpr Symbol Info{"", "info"};
inline constexpr Symbol CheckmarkCircle{"", "checkmark-circle"};
inline constexpr Symbol XmarkCircle{"", "xmark-circle"};
inline constexpr Symbol Bolt{"", "bolt"};
} // namespace Symbols

struct Feature
{
    Symbol symbol;
    const char *text;
};

// What Plimsy offers, as the onboarding lists it; the welcome window lists all but the last.
inline constexpr Feature Features[] = {
    {Symbols::Server, "Monitor your servers & sites"},
    {Symbols::ArrowUpCircle, "Quick deploy with one click"},
    {Symbols::Bell, "Push notifications for deployments"},
    {Symbols::Terminal, "SSH directly from menu bar"},
};

// Text sizes of the screens, relative to the application font.
enum class TextStyle
{
    Title,
    Title2,
    Body,
    Callout,
    Subheadline,
    Caption,
};

// A label of plain text in the style; secondary texts take the muted colour.
QLabel *makeTextLabel(const QString &text,
                      TextStyle style,
                      QWidget *parent,
                      QFont::Weight weight = QFont::Normal,
                      bool isSecondary = false);

// The symbol in one colour (made legible on the label's window colour), `side` pixels square, in a label `frameWidth`
// wide (0: as wide as the symbol).
QLabel *makeSymbolLabel(const Symbol &symbol, int side, const QColor &colour, QWidget *parent, int frameWidth = 0);

// The symbol in one colour, for buttons.
QIcon makeSymbolIcon(const Symbol &symbol, const QColor &colour);

// The application's icon, `side` pixels square; rounded corners of `cornerRadius` when not 0.
QLabel *makeAppIconLabel(int side, QWidget *parent, int cornerRadius = 0);

// A horizontal line between parts of a screen.
QFrame *makeDivider(QWidget *parent);

// A row of a symbol in a frame 20 px wide in `colour`, 12 px before its text.
QWidget *makeSymbolRow(const Symbol &symbol, const QColor &colour, const QString &text, QWidget *parent);

QPushButton *makeButton(const QString &text, const QString &objectName, QWidget *parent);
// A borderless button drawn as a link, with a leading symbol.
QPushButton *makeLinkButton(const Symbol &symbol, const QString &text, const QString &objectName, QWidget *parent);

// Gives the focus to the first text field of `area` in Tab order, else to its default button.
void focusFirstField(QWidget *area);

// The accent colour of the palette, darkened or lightened where it would not read on the window.
QColor accentColour(const QWidget *widget);

// Starts the browser sign-in; `handle` gets its result later from the event loop, never inside this
// call, and only while `context` exists.
void startSignIn(AuthManager &manager, QObject *context, std::function<void(const AuthManager::Result &)> handle);

// A fixed-size top-level window with a title and a close button, centred on the screen. Return and Enter
// anywhere in it press its shown default button while that is enabled, as in a dialog.
std::unique_ptr<QWidget> makeFixedWindow(const QString &objectName, const QString &title, QSize size);
void centreOnScreen(QWidget *window);

} // namespace plimsy
