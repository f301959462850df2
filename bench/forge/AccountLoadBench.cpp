// Loads one account of 5 organisations, 200 servers and 2,000 sites from a FakeForge that adds 20 ms to
// every answer, in the order a refresh uses (organisations; each organisation's servers in parallel;
// then each organisation's sites, one organisation after another), and prints the requests sent and
// the wall time next to their floors: one request per page, and one latency per round trip on the
// critical path. A second run lists the organisations' sites in parallel, for comparison.
//
//   bench_forge_account_load [runs]
#include "FakeForge.h"
#include "LoadAverage.h"
#include "core/APIKeyManager.h"
#include "core/KeychainProtocol.h"
#include "forge/ForgeAPIController.h"
#include "forge/ForgeAPIRequestTracker.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace plimsy;
using namespace std::chrono_literals;

namespace {

constexpr int Organizations = 5;
constexpr int Servers = 200;
constexpr int Sites = 2000;
constexpr int PageSize = 50;
const auto Latency = std::chrono::milliseconds(
    qEnvironmentVariableIsSet("BENCH_LATENCY_MS") ? qEnvironmentVariableIntValue("BENCH_LATENCY_MS") : 20);
const QString AccountId = QStringLiteral("bench-account");
const QString Key = QStringLiteral("bench-key");

// The benchmark must not touch the user's keyring: the one key lives in memory.
class MemoryKeychain final : public KeychainProtocol
{
public:
    SecretStore::Lookup lookup(const QString &account, Kind) const override
    {
        return m_items.contains(account) ? SecretStore::Lookup{Status::Ok, m_items.value(account)}
                                         : SecretStore::Lookup{Status::NotFound, {}};
    }
    Status store(const QString &value, const QString &account) override
    {
        m_items.insert(account, value);
        return Status::Ok;
    }
    Status remove(const QString &account, Kind) override
    {
        return m_items.remove(account) > 0 ? Status::Ok : Status::NotFound;
    }
    SecretStore::Listing listAccounts(Kind) const override { return {Status::Ok, m_items.keys()}; }
    Status removeAll(Kind) override
    {
        m_items.clear();
        return Status::Ok;
    }

private:
    QMap<QString, QString> m_items;
};

int pages(int items)
{
    return std::max(1, (items + PageSize - 1) / PageSize);
}

struct Result
{
    qsizetype sites = 0;
    qint64 milliseconds = 0;
};

QCoro::Task<Result> loadAccount(ForgeAPIController client, bool sitesInParallel)
{
    QElapsedTimer timer;
    timer.start();
    const QList<Server> servers = co_await client.fetchAllServers();
    QStringList slugs;
    for (const Server &server : servers) {
        if (server.organizationSlug && !slugs.contains(*server.organizationSlug)) {
            slugs.append(*server.organizationSlug);
        }
    }
    Result result;
    if (sitesInParallel) {
        std::vector<QCoro::Task<QList<Site>>> listings;
        for (const QString &slug : std::as_const(slugs)) {
            listings.push_back(client.fetchOrganizationSites(slug));
        }
        for (auto &listing : listings) {
            result.sites += (co_await std::move(listing)).size();
        }
    } else {
        for (const QString &slug : std::as_const(slugs)) {
            result.sites += (co_await client.fetchOrganizationSites(slug)).size();
        }
    }
    result.milliseconds = timer.elapsed();
    co_return result;
}

Result run(QCoreApplication &app, const ForgeAPIController::Services &services, bool sitesInParallel)
{
    Account account;
    account.uuid = AccountId;
    Result result;
    QCoro::connect(loadAccount(ForgeAPIController(account, services), sitesInParallel), &app, [&](Result r) {
        result = r;
        app.quit();
    });
    app.exec();
    return result;
}

void report(const char *title,
            const std::vector<Result> &results,
            qsizetype requests,
            int minimumRequests,
            int roundTrips,
            int runs)
{
    std::vector<qint64> times;
    for (const Result &r : results) {
        times.push_back(r.milliseconds);
    }
    std::sort(times.begin(), times.end());
    const qint64 median = times[times.size() / 2];
    const qint64 path = roundTrips * Latency.count();
    std::printf("%s\n", title);
    std::printf("  sites loaded         %lld\n", static_cast<long long>(results.front().sites));
    std::printf("  requests per load    %lld (fewest the API allows: %d)\n",
                static_cast<long long>(requests / runs),
                minimumRequests);
    std::printf("  wall time, median    %lld ms of %d runs (best %lld, worst %lld)\n",
                static_cast<long long>(median),
                runs,
                static_cast<long long>(times.front()),
                static_cast<long long>(times.back()));
    std::printf("  critical path        %d round trips x %lld ms = %lld ms; ratio %.2f (load average %.2f)\n\n",
                roundTrips,
                static_cast<long long>(Latency.count()),
                static_cast<long long>(path),
                double(median) / double(path),
                plimsy::bench::loadAverage());
}

} // namespace

int main(int argc, char *argv[])
{
    // The client logs every request; keep those lines and any settings out of the user's folders.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    QCoreApplication app(argc, argv);
    const int runs = std::max(1, argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5);

    QThread serverThread;
    QObject serverContext;
    serverContext.moveToThread(&serverThread);
    serverThread.start();
    const auto onServer = [&serverContext](const std::function<void()> &work) {
        QMetaObject::invokeMethod(&serverContext, work, Qt::BlockingQueuedConnection);
    };
    test::FakeForge *forge = nullptr;
    QUrl apiBase;
    onServer([&] {
        forge = new test::FakeForge;
        forge->buildAccount(Organizations, Servers, Sites);
        forge->setValidKeys({Key});
        forge->setLatency(Latency);
        apiBase = forge->apiBase();
    });
    // Requests received since the last call.
    const auto takeRequestCount = [&] {
        qsizetype count = 0;
        onServer([&] {
            count = forge->http().requestCount();
            forge->http().clearRequests();
        });
        return count;
    };

    APIKeyManager keys(std::make_unique<MemoryKeychain>());
    keys.setAPIKey(AccountId, Key);
    ForgeAPIRequestTracker tracker;
    HttpSession session;
    ForgeAPIController::Services services;
    services.session = &session;
    services.tracker = &tracker;
    services.apiKeys = &keys;
    services.baseURL = apiBase.toString();

    const int sitePagesPerOrganization = pages(Sites / Organizations);
    const int minimumRequests = pages(Organizations) + Organizations * pages(Servers / Organizations)
                                + Organizations * sitePagesPerOrganization;

    run(app, services, false); // warm-up: connections and first allocations
    takeRequestCount();

    std::vector<Result> sequential;
    for (int i = 0; i < runs; ++i) {
        sequential.push_back(run(app, services, false));
    }
    report("Refresh order: organisations' site listings one after another",
           sequential,
           takeRequestCount(),
           minimumRequests,
           pages(Organizations) + pages(Servers / Organizations) + Organizations * sitePagesPerOrganization,
           runs);

    std::vector<Result> parallel;
    for (int i = 0; i < runs; ++i) {
        parallel.push_back(run(app, services, true));
    }
    report("For comparison: organisations' site listings in parallel",
           parallel,
           takeRequestCount(),
           minimumRequests,
           pages(Organizations) + pages(Servers / Organizations) + sitePagesPerOrganization,
           runs);

    onServer([&] { delete forge; });
    serverThread.quit();
    serverThread.wait();
    return 0;
}
