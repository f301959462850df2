#pragma once

#include "editor/MonacoTypes.h"

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

// How a window of one kind behaves: the editor's settings and the toolbar's controls.
struct ConfigurationTraits
{
    bool editable = false;
    MonacoLanguage language = MonacoLanguage::Plaintext;
    bool lineNumbers = true;
    bool scrollsToEnd = false;
    // Empty when the kind has no Save button.
    QString saveButtonTitle;
    bool fileMenu = false;
    bool configCacheOption = false;
};

const ConfigurationTraits &traitsOf(ConfigurationType type);

// The environment file, the Nginx configuration and the deployment script; the rest are read-only.
inline bool isEditable(ConfigurationType type)
{
    return traitsOf(type).editable;
}

} // namespace plimsy
