// app_core_probe: the library floor of the shell's benchmarks. It links what plimsy links (the whole
// shell, kept in by a branch that never runs) and only builds a QCoreApplication.
#include "app/AppDelegate.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--never") == 0) {
        QApplication app(argc, argv);
        plimsy::AppDelegate delegate;
        return app.exec();
    }
    QCoreApplication app(argc, argv);
    return 0;
}
