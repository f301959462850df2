#include "platform/ApplicationActivation.h"

#include <QGuiApplication>
#include <QWindow>

namespace plimsy::ApplicationActivation {

void activate()
{
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        QWindow *window = *it;
        if (window->isVisible() && window->type() != Qt::ToolTip && window->type() != Qt::Popup) {
            window->raise();
            window->requestActivate();
            return;
        }
    }
}

} // namespace plimsy::ApplicationActivation
