#include "platform/DockVisibilityManager.h"

#include "platform/ApplicationActivation.h"

#include <algorithm>

namespace plimsy {

namespace {

qint64 s_windowCount = 0;
DockVisibilityManager::ApplyState s_applyState;
void applyDefault(ApplicationTransformState state)
{
    // A tray application has no Dock to join: coming forward means raising its newest window.
    if (state == ApplicationTransformState::Foreground) {
        ApplicationActivation::activate();
    }
}

} // namespace

qint64 DockVisibilityManager::windowCount()
{
    return s_windowCount;
}

void DockVisibilityManager::setApplyState(ApplyState apply)
{
    s_applyState = std::move(apply);
}

void DockVisibilityManager::applyState(ApplicationTransformState state)
{
    if (s_applyState) {
        s_applyState(state);
    } else {
        applyDefault(state);
    }
}

void DockVisibilityManager::countWindowOpened()
{
    s_windowCount += 1;
    if (s_windowCount == 1) {
        applyState(ApplicationTransformState::Foreground);
    }
}

void DockVisibilityManager::countWindowClosed()
{
    const qint64 computed = s_windowCount - 1;
    s_windowCount = std::max<qint64>(computed, 0);
    if (computed < 1) {
        applyState(ApplicationTransformState::UIElement);
    }
}

void WindowVisibilityTracker::windowShown()
{
    if (m_isTrackedAsOpen) {
        return;
    }
    m_isTrackedAsOpen = true;
    DockVisibilityManager::countWindowOpened();
}

void WindowVisibilityTracker::windowClosed()
{
    if (!m_isTrackedAsOpen) {
        return;
    }
    m_isTrackedAsOpen = false;
    DockVisibilityManager::countWindowClosed();
}

} // namespace plimsy
