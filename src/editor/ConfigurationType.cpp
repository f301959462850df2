#include "editor/ConfigurationType.h"

namespace plimsy {

bool isEditable(ConfigurationType type)
{
    return type == ConfigurationType::Env || type == ConfigurationType::Nginx || type == ConfigurationType::Deployment;
}

bool scrollsToEnd(ConfigurationType type)
{
    switch (type) {
    case ConfigurationType::DeploymentOutput:
    case ConfigurationType::NginxAccessLogs:
    case ConfigurationType::NginxErrorLogs:
    case ConfigurationType::SiteLog:
        return true;
    case ConfigurationType::Env:
    case ConfigurationType::Nginx:
    case ConfigurationType::Deployment:
    case ConfigurationType::ReadOnly:
        return false;
    }
    return false;
}

} // namespace plimsy
