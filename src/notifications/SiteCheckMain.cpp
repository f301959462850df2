// site-check URL...: checks the addresses as the application checks sites, in one forced pass of the site
// monitor manager: site 1, 2, ... in argument order, named "site-<id>", each address as the site's alias.
// Prints "<id> up" or "<id> down: <message>" per site and, last, "pass: <n> sites in <ms> ms".
#include "notifications/AddressChecks.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace plimsy;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList addresses = app.arguments().mid(1);
    if (addresses.isEmpty()) {
        std::fputs("usage: site-check URL...\n", stderr);
        return 2;
    }
    AddressChecks checks(addresses);
    QObject::connect(&checks, &AddressChecks::finished, &app, &QCoreApplication::quit);
    QElapsedTimer elapsed;
    elapsed.start();
    checks.start();
    app.exec();
    const qint64 milliseconds = elapsed.elapsed();

    for (const Site &site : checks.checkedSites()) {
        const MonitoringStatus status = checks.status(site.id);
        QString line = QString::number(site.id);
        if (status.isUp()) {
            line += QStringLiteral(" up");
        } else if (status.isDown()) {
            line += QStringLiteral(" down: ") + status.error.value_or(QString());
        } else {
            line += QStringLiteral(" unchecked");
        }
        std::printf("%s\n", qUtf8Printable(line));
    }
    std::printf("pass: %lld sites in %lld ms\n",
                static_cast<long long>(addresses.size()),
                static_cast<long long>(milliseconds));
    return 0;
}
