#include "menu/AppState.h"

#include "menu/WindowController.h"

namespace plimsy {

AppState::AppState() = default;
AppState::~AppState() = default;

} // namespace plimsy
