// site-check URL...: checks the addresses as the application checks sites, in one forced pass of the site
// monitor manager: site 1, 2, ... in argument order, named "site-<id>", each address as the site's alias.
// Prints "<id> up" or "<id> down: <message>" per site and, last, "pass: <n> sites in <ms> ms".
#include "core/LoadedRecords.h"
#include "core/Server.h"
#include "core/Site.h"
#include "notifications/SiteMonitorManager.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

using namespace plimsy;

namespace {

class CommandLineSites final : public LoadedRecords, public SiteMonitorDelegate
{
public:
    explicit CommandLineSites(const QStringList &addresses)
    {
        for (qsizetype i = 0; i < addresses.size(); ++i) {
            Site site;
            site.id = i + 1;
            site.name = QStringLiteral("site-%1").arg(site.id);
            site.URLAlias = addresses[i];
            m_sites.append(site);
        }
    }

    QList<Server> servers() const override { return {}; }
    QList<Site> sites() const override { return m_sites; }
    bool isLoadingData() const override { return false; }
    void siteMonitorDidFinish() override { QCoreApplication::quit(); }

private:
    QList<Site> m_sites;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList addresses = app.arguments().mid(1);
    if (addresses.isEmpty()) {
        std::fputs("usage: site-check URL...\n", stderr);
        return 2;
    }
    CommandLineSites sites(addresses);
    // The pass records its start in the defaults: keep that out of the user's own settings.
    QTemporaryDir scratch;
    UserDefaults defaults(scratch.filePath(QStringLiteral("site-check.conf")));
    SiteMonitoringStore store;
    SiteMonitorManager::Services services;
    services.records = &sites;
    services.defaults = &defaults;
    services.store = &store;
    SiteMonitorManager manager(&sites, services);

    QElapsedTimer elapsed;
    elapsed.start();
    manager.checkAllSites(true);
    app.exec();
    const qint64 milliseconds = elapsed.elapsed();

    for (const Site &site : sites.sites()) {
        const MonitoringStatus status = store.status(site.id);
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
