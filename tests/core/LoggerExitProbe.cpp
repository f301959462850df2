#include "core/Logger.h"

#include <QCoreApplication>

#include <cstring>
#include <memory>

// Child program for the quitting test: logs a burst of lines and returns from main at once, with or
// without an application object, as Plimsy does when it quits right after logging.
int main(int argc, char *argv[])
{
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::strcmp(argv[1], "with-application") == 0) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    for (int line = 1; line <= 2000; ++line) {
        plimsy::log(QStringLiteral("line %1").arg(line));
    }
    return 0;
}
