#pragma once

#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QStringList>

namespace plimsy {

// The first of these icons the desktop's icon theme has; a null icon when it has none of them.
QIcon themeIcon(const QStringList &names);

// The icon's shape at `side` device pixels (device pixel ratio 1), filled with `colour`.
QPixmap tintedPixmap(const QIcon &icon, int side, const QColor &colour);

// The icon's shape in the palette's `role` colour of each state (disabled included), and the selected
// text's colour on a selected row: the theme's fixed-colour icons read on dark and light palettes alike.
// Drawn at whatever size and device pixel ratio is asked for.
QIcon tintedIcon(const QIcon &icon, const QPalette &palette, QPalette::ColorRole role = QPalette::Text);

// `ink` (laid over `background` when translucent), made lighter or darker in its own hue until it
// stands at least 3:1 against `background`, the least a symbol needs to be made out.
QColor legibleOn(const QColor &ink, const QColor &background);

} // namespace plimsy
