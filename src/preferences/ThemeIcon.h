#pragma once

#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QStringList>

namespace plimsy {

// The first of these icons the desktop's icon theme has; a null icon when it has none of them.
QIcon themeIcon(const QStringList &names);

// The icon's shape at `side` pixels, filled with `colour`.
QPixmap tintedPixmap(const QIcon &icon, int side, const QColor &colour);

// The icon's shape in one colour: the palette's accent colour, and the selected text's colour on a
// selected row. Small sizes only (table rows).
QIcon tintedIcon(const QIcon &icon, const QPalette &palette);

} // namespace plimsy
