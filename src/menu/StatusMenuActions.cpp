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

PLIMSY_NOT_YET(editEnv)
PLIMSY_NOT_YET(editNginx)
PLIMSY_NOT_YET(editDeploymentScript)
PLIMSY_NOT_YET(showDeploymentLog)
PLIMSY_NOT_YET(showSiteLog)
PLIMSY_NOT_YET(rebootServer)
PLIMSY_NOT_YET(rebootPhp)
PLIMSY_NOT_YET(rebootMySQLServer)
PLIMSY_NOT_YET(rebootNginx)
PLIMSY_NOT_YET(rebootPostgres)
PLIMSY_NOT_YET(rebootPhpForSite)
PLIMSY_NOT_YET(deploySite)
PLIMSY_NOT_YET(toggleSiteNotifications)
PLIMSY_NOT_YET(createSSHKey)
PLIMSY_NOT_YET(nginxAccessLogs)
PLIMSY_NOT_YET(nginxErrorLogs)
PLIMSY_NOT_YET(visitSite)
PLIMSY_NOT_YET(openForge)
PLIMSY_NOT_YET(openForgeServer)
PLIMSY_NOT_YET(showSiteMonitorFile)
PLIMSY_NOT_YET(toggleFavoriteSite)

#undef PLIMSY_NOT_YET

} // namespace plimsy
