#pragma once

#include <QIcon>
#include <QStringList>

namespace plimsy {

// The first of these icons the desktop's icon theme has; a null icon when it has none of them.
QIcon themeIcon(const QStringList &names);

} // namespace plimsy
