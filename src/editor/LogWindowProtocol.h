#pragma once

#include <QString>

namespace plimsy {

class ConfigurationWindowController;

// What the status menu keeps of an open configuration or log window until it posts "windowClosed".
class LogWindowProtocol
{
public:
    virtual ~LogWindowProtocol() = default;
    virtual QString uuid() const = 0;
    // The window shown; owned by the implementation.
    virtual ConfigurationWindowController *configWindow() const = 0;
};

} // namespace plimsy
