#pragma once

#include <functional>
#include <memory>

namespace plimsy {

// A window the status menu opens without knowing its subsystem (Preferences, About): made by a
// factory the application hands in, shown with showWindow.
class WindowController
{
public:
    virtual ~WindowController() = default;
    virtual void showWindow() = 0;
};

using WindowFactory = std::function<std::unique_ptr<WindowController>()>;

} // namespace plimsy
