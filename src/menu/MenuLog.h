#pragma once

#include <QString>

namespace plimsy {

class UserDefaults;

// A progress line: written to the "Plimsy" log only while "verboseLogging" is on.
void verboseLog(const UserDefaults &defaults, const QString &line);
// A line written to the "Plimsy" log whatever the settings say.
void plimsyLog(const QString &line);

} // namespace plimsy
