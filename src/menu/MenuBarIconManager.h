#pragma once

#include <QPointer>

namespace plimsy {

class StatusItem;

enum class MenuBarIconState
{
    Normal,
    Error,
};

// Chooses the tray item's image: the normal glyph, or the error glyph while the last refresh failed or
// the network is gone. Callers set `hasError` and then `apply(currentState())`.
class MenuBarIconManager
{
public:
    explicit MenuBarIconManager(StatusItem *statusItem);

    bool hasError = false;

    MenuBarIconState currentState() const;
    // Queues the image change onto the GUI thread's event loop and returns at once; changes land in
    // the order they were applied.
    void apply(MenuBarIconState state);

    static QString imageName(MenuBarIconState state);

private:
    QPointer<StatusItem> m_statusItem;
};

} // namespace plimsy
