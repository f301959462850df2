// Building the status menu's server and site items for growing accounts, as a load does: the cost per
// item must stay flat (linear in the number of items), never grow with the size of the menu. Prints the
// time of 400 servers as a multiple of 40 servers measured in the same run. The sizes take turns over
// repeated runs and are compared by their medians, so none is measured warmer or colder for its place.
#include "BenchServices.h"
#include "RatioReporter.h"
#include "account/AuthService.h"
#include "core/Account.h"
#include "core/Site.h"
#include "menu/AppState.h"
#include "menu/ServerMenu.h"
#include "menu/StatusMenuController.h"
#include "platform/MenuItems.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDir>
#include <QMenu>

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

namespace {

constexpr int SitesPerServer = 10;

// What a load hands the menu: a freshly decoded list per server, moved in.
QList<QList<plimsy::Site>> freshCopy(const QList<QList<plimsy::Site>> &sites)
{
    QList<QList<plimsy::Site>> copy;
    copy.reserve(sites.size());
    for (const QList<plimsy::Site> &list : sites) {
        QList<plimsy::Site> &server = copy.emplace_back();
        server.reserve(list.size());
        for (const plimsy::Site &site : list) {
            server.append(site);
        }
    }
    return copy;
}

// With `fillTree`, what is measured is making every submenu the load left unmade, as opening the status
// menu does on GNOME.
void buildItems(benchmark::State &state, bool fillTree)
{
    const int servers = static_cast<int>(state.range(0));
    plimsy::UserDefaults defaults(QDir::temp().filePath(QStringLiteral("menu-build-bench.conf")));
    plimsy::AppState appState;
    plimsy::StatusMenuServices services;
    services.defaults = &defaults;
    plimsy::bench::SignedInServices signedIn(defaults);
    services.authService = &signedIn.container.authService();
    plimsy::StatusMenuController controller(appState, services);
    auto account = std::make_shared<const plimsy::Account>();
    QList<QList<plimsy::Site>> sites(servers);
    for (int s = 0; s < servers; ++s) {
        for (int i = 0; i < SitesPerServer; ++i) {
            plimsy::Site site;
            site.id = 10'000 + s * SitesPerServer + i;
            site.name = QStringLiteral("site-%1.example").arg(site.id);
            sites[s].append(site);
        }
    }
    // The status menu lives as long as the application and was polished long ago; a load clears it and
    // fills it again.
    QMenu menu;
    menu.ensurePolished();
    for (auto _ : state) {
        state.PauseTiming();
        QList<QList<plimsy::Site>> fresh = freshCopy(sites);
        if (!fillTree) {
            state.ResumeTiming();
        }
        for (int i = 0; i < 6; ++i) {
            menu.addAction(QStringLiteral("fixed"));
        }
        appState.siteList.clear();
        for (int s = 0; s < servers; ++s) {
            auto *submenu = new QMenu(&menu);
            plimsy::ServerMenu serverMenu(s + 1, &controller, account, submenu);
            serverMenu.buildOnOpen();
            QAction *item =
                plimsy::MenuItems::makeItem(&menu, QStringLiteral("server"), plimsy::MenuTag::server(s + 1));
            plimsy::MenuItems::insertItem(&menu, 4 + s, item);
            item->setMenu(submenu);
            serverMenu.addSiteItems(std::move(fresh[s]), s + 1);
        }
        benchmark::DoNotOptimize(plimsy::MenuItems::indexTree(&menu).size());
        if (fillTree) {
            QCoreApplication::sendPostedEvents();
            state.ResumeTiming();
            plimsy::MenuItems::buildTree(&menu);
            state.PauseTiming();
        }
        // What the application's event loop does right after a load: each new menu's posted events are
        // delivered. A widget destroyed with its events still queued makes Qt scan the whole queue, so
        // clearing undelivered menus would cost the square of their number.
        QCoreApplication::sendPostedEvents();
        plimsy::MenuItems::clear(&menu);
        if (fillTree) {
            state.ResumeTiming();
        }
    }
    state.SetComplexityN(servers * (SitesPerServer + 1));
    state.SetItemsProcessed(state.iterations() * servers * (SitesPerServer + 1));
}

void BuildServerAndSiteItems(benchmark::State &state)
{
    buildItems(state, false);
}

void FillWholeTree(benchmark::State &state)
{
    buildItems(state, true);
}

BENCHMARK(FillWholeTree)->Arg(124)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK(BuildServerAndSiteItems)->Arg(40)->Arg(100)->Arg(200)->Arg(400)->Complexity()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Defaults first, so that flags given on the command line override them.
    std::vector<char *> arguments(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, {repetitions, interleaving});
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    plimsy::bench::RatioReporter reporter({{"BuildServerAndSiteItems/400", "BuildServerAndSiteItems/40", 10.0}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
