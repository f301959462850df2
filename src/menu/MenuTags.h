#pragma once

#include "platform/MenuItems.h"

namespace plimsy::MenuTags {

// Sections of the status menu, found again by these tags.
inline const MenuTag ErrorMarker = MenuTag::section(9991);    // the marker and its separator
inline const MenuTag AccountFailure = MenuTag::section(9992); // what failed, in an account's submenu
inline const MenuTag AccountItem = MenuTag::section(9993);
inline const MenuTag FavoritesSeparator = MenuTag::section(9994);
inline const MenuTag Favorites = MenuTag::section(9995);
inline const MenuTag CustomServersSeparator = MenuTag::section(9996);
inline const MenuTag CustomServers = MenuTag::section(9997);
inline const MenuTag ServerAreaEnd = MenuTag::section(9998);

// Server and site items are tagged with their Forge ids.
inline const qint64 ServerItemsStart = 4;

} // namespace plimsy::MenuTags
