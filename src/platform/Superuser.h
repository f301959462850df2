#pragma once

namespace plimsy {

// Whether this process runs with the superuser's rights (its effective user is root).
bool isSuperuser();

} // namespace plimsy
