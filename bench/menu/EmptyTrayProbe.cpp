// empty_tray_probe: the start-up benchmark's anchor, a bare Qt tray application linked against Qt Widgets
// alone: a tray item with a one-item menu, one turn of the event loop. Prints
// "items=<menu items> rss_kb=<peak resident set>" and exits, as menu_startup_probe does.
#include "PeakMemory.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QSystemTrayIcon tray;
    QMenu menu;
    menu.addAction(QStringLiteral("Quit"));
    tray.setContextMenu(&menu);
    tray.show();
    QTimer::singleShot(0, &app, [&menu] {
        std::printf("items=%lld rss_kb=%ld\n",
                    static_cast<long long>(menu.actions().size()),
                    plimsy::bench::peakResidentKilobytes());
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return app.exec();
}
