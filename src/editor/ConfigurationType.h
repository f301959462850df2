#pragma once

#include <QString>

namespace plimsy {

// What one configuration window shows: a file of a site or server on Forge, or a text to read only.
enum class ConfigurationType
{
    Env = 0,
    Nginx = 1,
    Deployment = 2,
    DeploymentOutput = 3,
    ReadOnly = 4,
    NginxAccessLogs = 5,
    NginxErrorLogs = 6,
    SiteLog = 7,
};

// The environment file, the Nginx configuration and the deployment script; the rest are read-only.
bool isEditable(ConfigurationType type);
// Logs are read from their newest end.
bool scrollsToEnd(ConfigurationType type);

} // namespace plimsy
