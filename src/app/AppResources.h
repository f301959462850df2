#pragma once

namespace plimsy {

// Registers the shell's resources (the application icon) once; the library is static, so nothing
// registers them by itself.
void ensureAppResources();

} // namespace plimsy
