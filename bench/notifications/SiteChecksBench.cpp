// One pass of the real site monitor manager over 100 sites, each probed by the real curl against one
// FakeHttpServer that answers every request after 200 ms. Six probes run at once, so the pass cannot take
// less than ceil(100 / 6) answers in a row: the limit. Prints the wall time beside it, their ratio and
// the most requests the server saw waiting at once.
//
//   bench_notifications_site_checks
#include "FakeHttpServer.h"
#include "notifications/AddressChecks.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace plimsy;
using namespace std::chrono_literals;

namespace {

constexpr int SiteCount = 100;
constexpr auto Latency = 200ms;

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

    QStringList addresses;
    for (int i = 1; i <= SiteCount; ++i) {
        addresses << server.url(QStringLiteral("/site-%1").arg(i)).toString();
    }
    AddressChecks checks(addresses);
    QObject::connect(&checks, &AddressChecks::finished, &app, &QCoreApplication::quit);

    QElapsedTimer timer;
    timer.start();
    checks.start();
    app.exec();
    const qint64 wallMs = timer.elapsed();

    int up = 0;
    for (const Site &site : checks.checkedSites()) {
        up += checks.status(site.id).isUp() ? 1 : 0;
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
