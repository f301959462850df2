#pragma once

#include <QString>

namespace plimsy::SystemSound {

// Plays one of the system's named sounds ("Glass", "Sosumi") from the desktop's sound theme. Returns at
// once; silent when there is no sound server or the name is unknown. GUI thread.
void play(const QString &name);

} // namespace plimsy::SystemSound
