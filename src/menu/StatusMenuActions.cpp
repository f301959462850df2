// The server and site actions. Until they are built, each one says in the log that it is not
// available, so a click never looks as if it had done something.
#include "core/Logger.h"
#include "menu/StatusMenuController.h"

namespace plimsy {

void StatusMenuController::notAvailableYet(const char *action) const
{
    log(QStringLiteral("[StatusMenu] %1 is not available in this build").arg(QString::fromLatin1(action)));
}

#define PLIMSY_NOT_YET(selector)                                                                                       \
    void StatusMenuController::selector(QAction *)                                                                     \
    {                                                                                                                  \
        notAvailableYet(#selector);                                                                                    \
    }

PLIMSY_NOT_YET(openTerminal)
PLIMSY_NOT_YET(openTerminalForSite)
PLIMSY_NOT_YET(openTerminalHere)
PLIMSY_NOT_YET(copyFinderWindowPath)
PLIMSY_NOT_YET(copyIPAddress)
PLIMSY_NOT_YET(openCustomServerTerminal)

#undef PLIMSY_NOT_YET

} // namespace plimsy
