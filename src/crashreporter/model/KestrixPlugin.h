#pragma once

namespace kestrix {

class KestrixClient;

// Extends the client once it has started.
class KestrixPlugin
{
public:
    virtual ~KestrixPlugin() = default;
    virtual void load(KestrixClient &client) = 0;
    virtual void unload() = 0;
};

} // namespace kestrix
