#pragma once

namespace plimsy {

// How a configuration window reaches the object that fills it.
class ConfigurationWindowDelegate
{
public:
    virtual ~ConfigurationWindowDelegate() = default;
    virtual void configurationWindowDidClose() = 0;
};

} // namespace plimsy
