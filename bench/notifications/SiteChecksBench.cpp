// One pass of the real site monitor manager over 100 sites, each probed by the real curl against one
// FakeHttpServer that answers every request after 200 ms. Six probes run at once, so the pass cannot take
// less than ceil(100 / 6) answers in a row: the limit. Prints the wall time beside it, their ratio and
// the most requests the server saw waiting at once.
//
//   bench_notifications_site_checks
#include "FakeHttpServer.h"
#include "core/LoadedRecords.h"
#include "core/Server.h"
#include "core/Site.h"
#include "notifications/SiteMonitorManager.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace plimsy;
using namespace std::chrono_literals;

namespace {

constexpr int SiteCount = 100;
constexpr auto Latency = 200ms;

class BenchSites final : public LoadedRecords, public SiteMonitorDelegate
{
public:
    explicit BenchSites(const QUrl &server)
    {
        for (int i = 1; i <= SiteCount; ++i) {
            Site site;
            site.id = i;
            site.name = QStringLiteral("site-%1.example").arg(i);
            site.URLAlias = server.toString() + QStringLiteral("site-%1").arg(i);
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
    test::FakeHttpServer server;
    int waiting = 0;
    int peak = 0;
    server.setFallback([](const test::RecordedRequest &) { return test::FakeResponse::text("ok").withDelay(Latency); });
    QObject::connect(&server, &test::FakeHttpServer::requestReceived, &app, [&] {
        peak = std::max(peak, ++waiting);
        QTimer::singleShot(Latency, &app, [&] { --waiting; });
    });

    BenchSites sites(server.url());
    QTemporaryDir scratch;
    UserDefaults defaults(scratch.filePath(QStringLiteral("bench.conf")));
    SiteMonitoringStore store;
    SiteMonitorManager::Services services;
    services.records = &sites;
    services.defaults = &defaults;
    services.store = &store;
    SiteMonitorManager manager(&sites, services);

    QElapsedTimer timer;
    timer.start();
    manager.checkAllSites(true);
    app.exec();
    const qint64 wallMs = timer.elapsed();

    int up = 0;
    for (const Site &site : sites.sites()) {
        up += store.status(site.id).isUp() ? 1 : 0;
    }
    const int rounds =
        (SiteCount + SiteMonitorManager::MaxConcurrentChecks - 1) / SiteMonitorManager::MaxConcurrentChecks;
    const qint64 limitMs = rounds * Latency.count();
    std::printf("sites up: %d of %d, requests: %lld\n", up, SiteCount, static_cast<long long>(server.requestCount()));
    std::printf("site_checks sites=%d wall_ms=%lld limit_ms=%lld ratio=%.3f peak=%d\n",
                SiteCount,
                static_cast<long long>(wallMs),
                static_cast<long long>(limitMs),
                static_cast<double>(wallMs) / static_cast<double>(limitMs),
                peak);
    return up == SiteCount ? 0 : 1;
}
