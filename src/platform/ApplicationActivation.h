#pragma once

namespace plimsy::ApplicationActivation {

// Brings the application to the front: raises and activates its newest visible window, if any.
// GUI thread.
void activate();

} // namespace plimsy::ApplicationActivation
