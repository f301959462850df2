// Decoding a listing of 2,000 sites next to Qt's own parse of the same bytes; prints parse plus decode
// as a multiple of the parse alone, measured in the same run.
#include "RatioReporter.h"
#include "core/JSONAPI.h"
#include "core/Site.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <benchmark/benchmark.h>

using namespace plimsy;

namespace {

constexpr int SiteCount = 2000;

// One page of an organisation's site listing as Forge sends it: every attribute, the server named in
// the relationships.
QByteArray siteListing()
{
    QJsonArray data;
    for (int i = 0; i < SiteCount; ++i) {
        const QString name = QStringLiteral("site-%1.example.com").arg(i);
        const QJsonObject attributes{
            {"name", name},
            {"status", "installed"},
            {"url", "https://" + name},
            {"user", "forge"},
            {"https", true},
            {"web_directory", "/public"},
            {"root_directory", "/"},
            {"aliases", QJsonArray{"www." + name, "alt-" + name}},
            {"php_version", "php84"},
            {"deployment_status", QJsonValue()},
            {"quick_deploy", i % 2 == 0},
            {"isolated", false},
            {"database", QStringLiteral("db_%1").arg(i)},
            {"maintenance_mode", QJsonObject{{"enabled", false}, {"status", QJsonValue()}}},
            {"zero_downtime_deployments", true},
            {"deployment_script",
             "cd /home/forge/" + name + "\ngit pull origin $FORGE_SITE_BRANCH\nphp artisan migrate"},
            {"wildcards", false},
            {"app_type", "laravel"},
            {"uses_envoyer", false},
            {"deployment_url",
             QStringLiteral("https://forge.example/servers/%1/sites/%2/deploy/http?token=abc").arg(i % 40).arg(i)},
            {"healthcheck_url", "https://" + name + "/up"},
            {"repository",
             QJsonObject{{"provider", "github"},
                         {"url", "git@github.com:tindrel/app.git"},
                         {"branch", "main"},
                         {"status", "installed"}}},
            {"created_at", "2025-02-01T00:00:00Z"},
        };
        const QJsonObject relationships{
            {"server", QJsonObject{{"data", QJsonObject{{"id", QString::number(1000 + i % 40)}, {"type", "servers"}}}}},
            {"tags", QJsonObject{{"data", QJsonArray{QJsonObject{{"id", "t1"}, {"type", "tags"}}}}}},
        };
        data.append(QJsonObject{{"id", QString::number(50000 + i)},
                                {"type", "sites"},
                                {"attributes", attributes},
                                {"relationships", relationships}});
    }
    const QJsonObject links{{"first", QJsonValue()},
                            {"next", "https://forge.example/api/orgs/o/sites?page%5Bcursor%5D=x"}};
    return QJsonDocument(QJsonObject{{"data", data}, {"links", links}}).toJson(QJsonDocument::Compact);
}

const QByteArray &listing()
{
    static const QByteArray s_listing = siteListing();
    return s_listing;
}

void records(benchmark::State &state)
{
    state.SetItemsProcessed(state.iterations() * SiteCount);
    state.SetBytesProcessed(state.iterations() * listing().size());
}

// The floor: Qt's parser alone on the same bytes.
void BM_ParseOnly(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(QJsonDocument::fromJson(listing()));
    }
    records(state);
}
BENCHMARK(BM_ParseOnly)->Unit(benchmark::kMillisecond);

// Our decoding of an already parsed document into records.
void BM_DecodeParsed(benchmark::State &state)
{
    const QJsonObject parsed = QJsonDocument::fromJson(listing()).object();
    for (auto _ : state) {
        benchmark::DoNotOptimize(JSONAPIResponse<Site>::fromJson(parsed));
    }
    records(state);
}
BENCHMARK(BM_DecodeParsed)->Unit(benchmark::kMillisecond);

// What the Forge client does with a response body: parse, then decode.
void BM_ParseAndDecode(benchmark::State &state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(JSONAPIResponse<Site>::decode(listing()));
    }
    records(state);
}
BENCHMARK(BM_ParseAndDecode)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    plimsy::bench::RatioReporter reporter({{"BM_ParseAndDecode", "BM_ParseOnly", 1.5}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
