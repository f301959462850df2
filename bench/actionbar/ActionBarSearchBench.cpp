// Times one palette search per keystroke over about 10,000 commands, and fzf's whole-process filter over the
// same searchable texts when fzf is on PATH. The last line sums it up:
//   actionbar_search items=N per_query_us=X fzf_us=Y ratio=Y/X
#include "actionbar/ActionBarDataSource.h"
#include "actionbar/FuzzySearch.h"
#include "actionbar/RecentCommandsManager.h"
#include "core/AccountManager.h"
#include "core/LoadedRecords.h"
#include "notifications/WebhookStorage.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

using namespace plimsy;

// 100 servers of 11 commands with 8 sites of 11 each, and the two global commands: 9,902 items.
class GeneratedRecords : public LoadedRecords
{
public:
    GeneratedRecords()
    {
        for (qint64 s = 1; s <= 100; ++s) {
            Server server;
            server.id = s;
            server.name = QStringLiteral("web-%1").arg(s);
            server.phpVersion = QStringLiteral("php83");
            server.databaseType = QStringLiteral("mysql");
            server.ipAddress = QStringLiteral("203.0.113.%1").arg(s);
            m_servers.append(server);
            for (qint64 n = 1; n <= 8; ++n) {
                Site site;
                site.id = s * 100 + n;
                site.name = QStringLiteral("shop-%1.client-%2.example.com").arg(n).arg(s);
                site.serverId = s;
                site.phpVersion = QStringLiteral("php83");
                m_sites.append(site);
            }
        }
    }

    QList<Server> servers() const override { return m_servers; }
    QList<Site> sites() const override { return m_sites; }
    bool isLoadingData() const override { return false; }

private:
    QList<Server> m_servers;
    QList<Site> m_sites;
};

struct Fixture
{
    Fixture()
    {
        Account account;
        account.name = QStringLiteral("Bench");
        account.uuid = QStringLiteral("BENCH");
        AccountManager::saveAccounts({account}, defaults);
        items = ActionBarDataSource::allItems({&records, &defaults, &webhooks});
    }

    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("bench.conf"))};
    WebhookStorage webhooks{defaults};
    GeneratedRecords records;
    RecentCommandsManager recents{defaults, Clock::system()};
    FuzzySearch search{recents};
    QList<ActionBarItem> items;
};

QStringList queries()
{
    QStringList result;
    const QString typed = QStringLiteral("web-1 deploy");
    for (qsizetype length = 1; length <= typed.size(); ++length) {
        result << typed.left(length);
    }
    result << QStringLiteral("dsp") << QStringLiteral("qqqzzz") << QString();
    return result;
}

// Mean microseconds of one search per query, as Google Benchmark measured them.
class CollectingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                timesUs[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, double> timesUs;
};

// fzf filtering the same texts, started and finished once per query; none without fzf.
std::optional<double> fzfMeanUs(const QList<ActionBarItem> &items, const QStringList &queries, const QString &folder)
{
    const QString fzf = QStandardPaths::findExecutable(QStringLiteral("fzf"));
    if (fzf.isEmpty()) {
        return std::nullopt;
    }
    QByteArray input;
    for (const ActionBarItem &item : items) {
        input += item.searchableText.toUtf8() + '\n';
    }
    const QString path = folder + QStringLiteral("/texts.txt");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size()) {
        return std::nullopt;
    }
    file.close();
    constexpr int Rounds = 3;
    double total = 0;
    for (const QString &query : queries) {
        for (int round = 0; round < Rounds; ++round) {
            QProcess process;
            process.setStandardInputFile(path);
            process.setStandardOutputFile(QProcess::nullDevice());
            QElapsedTimer timer;
            timer.start();
            process.start(fzf, {QStringLiteral("--filter"), query});
            if (!process.waitForFinished(60'000)) {
                return std::nullopt;
            }
            total += double(timer.nsecsElapsed()) / 1000.0;
        }
    }
    return total / double(queries.size() * Rounds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Fixture fixture;
    const QStringList all = queries();
    for (const QString &query : all) {
        const std::string name = "actionbar_search/\"" + query.toStdString() + "\"";
        benchmark::RegisterBenchmark(name.c_str(), [&fixture, query](benchmark::State &state) {
            for (auto _ : state) {
                benchmark::DoNotOptimize(fixture.search.search(query, fixture.items));
            }
        })->Unit(benchmark::kMicrosecond);
    }
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.timesUs.empty()) {
        return 1;
    }
    double sum = 0;
    for (const auto &[name, us] : reporter.timesUs) {
        sum += us;
    }
    const double perQuery = sum / double(reporter.timesUs.size());
    const auto fzf = fzfMeanUs(fixture.items, all, fixture.folder.path());
    if (fzf) {
        std::printf("actionbar_search items=%lld per_query_us=%.1f fzf_us=%.1f ratio=%.1f\n",
                    static_cast<long long>(fixture.items.size()),
                    perQuery,
                    *fzf,
                    *fzf / perQuery);
    } else {
        std::printf("actionbar_search items=%lld per_query_us=%.1f fzf_us=none ratio=none\n",
                    static_cast<long long>(fixture.items.size()),
                    perQuery);
    }
    return 0;
}
