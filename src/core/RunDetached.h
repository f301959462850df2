#pragma once

#include <QCoro/QCoroTask>

namespace plimsy {

// Starts a fire-and-forget task. Nothing awaits it, so an exception escaping it is written to the log
// (through `log`) instead of being lost or reaching a slot.
void runDetached(QCoro::Task<> task);

} // namespace plimsy
