#pragma once

#include "platform/GlobalShortcut.h"

#include <memory>

namespace plimsy {

// A shortcut held by key grabs on the X11 root window; none when Qt does not run on X11.
std::unique_ptr<GlobalShortcut> makeX11GlobalShortcut();

} // namespace plimsy
