#pragma once

#include <QString>

namespace plimsy {

// The identifier this computer is known by to the account backend ("device_identifier"): the platform
// UUID, the same on every call and in every run.
QString hardwareUUID();

// The application's short version, or "unknown" when the build has none.
QString appVersion();

} // namespace plimsy
