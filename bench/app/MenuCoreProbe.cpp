// menu_core_probe: the library floor of menu_startup_probe. It links what the status menu links (kept in
// by a branch that never runs) and only builds a QCoreApplication.
#include "menu/AppState.h"
#include "menu/StatusMenuController.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--never") == 0) {
        QApplication app(argc, argv);
        plimsy::AppState state;
        plimsy::StatusMenuController controller(state);
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    return 0;
}
