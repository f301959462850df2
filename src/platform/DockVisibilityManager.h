#pragma once

#include <QtGlobal>

#include <functional>

namespace plimsy {

enum class ApplicationTransformState
{
    Foreground,
    UIElement,
};

// The one process-wide count of open windows and alerts, and the switch of the application's presence
// when it leaves or reaches 0. GUI thread only.
class DockVisibilityManager
{
public:
    using ApplyState = std::function<void(ApplicationTransformState)>;

    static qint64 windowCount();

    // Replaces the action run at the edges; an empty function restores the default, which raises and
    // activates the newest window for Foreground and does nothing for UIElement.
    static void setApplyState(ApplyState apply);
    static void applyState(ApplicationTransformState state);

    // One more open window; Foreground when the count has just become 1.
    static void countWindowOpened();
    // One fewer, never below 0; UIElement whenever the count is then 0.
    static void countWindowClosed();
};

// A window controller's part in the count: counted once while shown, uncounted once when closed.
class WindowVisibilityTracker
{
public:
    bool isTrackedAsOpen() const { return m_isTrackedAsOpen; }
    void windowShown();
    void windowClosed();

private:
    bool m_isTrackedAsOpen = false;
};

} // namespace plimsy
