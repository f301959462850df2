#pragma once

namespace plimsy {

// Registers the menu's images and "DefaultPreferences.plist" with Qt's resource system; a static
// library's resources are not registered on their own. Cheap to call again.
void ensureMenuResources();

} // namespace plimsy
