#pragma once

#include <QString>

#include <optional>

namespace plimsy {

class ConfigurationWindowController;

// How a configuration window reaches the object that fills it. A window on a text that is only read
// keeps the defaults: it never saves and links no file.
class ConfigurationWindowDelegate
{
public:
    virtual ~ConfigurationWindowDelegate() = default;

    // Saves the text; answers later with the controller's didSave or showError. `runConfigCache` is the
    // "Clear caches after save" option.
    virtual void
    saveConfiguration(const QString & /*text*/, bool /*runConfigCache*/, ConfigurationWindowController * /*controller*/)
    {
    }
    // Loads the text again and hands it to the controller's setContent.
    virtual void reloadConfiguration() = 0;
    // The window is closing; the delegate may let go of it (and of itself) here.
    virtual void configurationWindowDidClose() = 0;

    // The local file linked to this site's deployment script.
    virtual std::optional<QString> linkedScriptPath() const { return std::nullopt; }
    // Links the file, or forgets the link when given none.
    virtual void setLinkedScriptPath(const std::optional<QString> & /*path*/) {}
    // Another site whose script is linked to this file, described for the user.
    virtual std::optional<QString> linkedScriptOwner(const QString & /*path*/) const { return std::nullopt; }
};

} // namespace plimsy
