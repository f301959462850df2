#include "app/AppDelegate.h"

#include <QApplication>

#include <cstdio>

namespace {

// Qt aborts when no display can be opened; say why in one line instead.
bool hasDisplay()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) {
        return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!hasDisplay()) {
        std::fputs("Plimsy needs a graphical desktop session: neither DISPLAY nor WAYLAND_DISPLAY is set.\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    plimsy::AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    return app.exec();
}
