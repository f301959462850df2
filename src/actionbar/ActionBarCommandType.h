#pragma once

namespace plimsy {

// Every command the palette offers, in the order of the data source's tables.
enum class ActionBarCommandType
{
    deploySite,
    editEnv,
    editNginx,
    editDeploymentScript,
    viewDeploymentLog,
    viewSiteLog,
    visitSite,
    openForge,
    openTerminalForSite,
    rebootPhpForSite,
    toggleSiteNotifications,
    rebootServer,
    rebootPHP,
    rebootMySQL,
    rebootNginx,
    rebootPostgres,
    openTerminal,
    copyIPAddress,
    uploadSSHKey,
    viewNginxAccessLogs,
    viewNginxErrorLogs,
    openForgeServer,
    refresh,
    openPreferences,
    // The status menu's other top-level items, so that a desktop without a tray reaches them too.
    about,
    quit,
};

} // namespace plimsy
