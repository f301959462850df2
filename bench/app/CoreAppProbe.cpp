// app_core_probe: the floor of the hand-over benchmark. Linked against everything plimsy links, it only
// builds a QCoreApplication and exits.
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return 0;
}
