// bench_menu_soak: the status menu over a day of refreshes. 40 refreshes of two accounts with 124 servers
// served by FakeForge (the demo's accounts and organisations, grown), with every submenu opened over D-Bus
// after each, as a tray host does when the user goes through the menu; prints the resident set after
// rounds 10 and 40 next to its anchor, the same run with no submenu opened. Each run is a fresh process
// exporting its menu to this one, which plays the desktop's StatusNotifier watcher and host.
//
//   scripts/sealed build/ci/bin/bench_menu_soak     (needs a session bus and an X display)
//
//   bench_menu_soak --probe   one run, on the xcb platform: after each refresh prints "ready <round>" and
//                             waits for a line on its input; at the end prints
//                             "rss_kb_10=<n> rss_kb_40=<n> items=<n> sites=<n>"
#include "BenchServices.h"
#include "DemoData.h"
#include "FakeStatusNotifierWatcher.h"
#include "LoadAverage.h"
#include "PeakMemory.h"
#include "ProbeEnvironment.h"
#include "account/AuthService.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "core/Reachability.h"
#include "menu/AppState.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/StatusMenuController.h"
#include "platform/NetworkReachability.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QThread>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

constexpr int Rounds = 40;
constexpr int FirstMeasuredRound = 10;
constexpr int Servers = 124;

qsizetype countItems(const QMenu *menu)
{
    qsizetype count = 0;
    for (const QAction *item : menu->actions()) {
        count += 1 + (item->menu() ? countItems(item->menu()) : 0);
    }
    return count;
}

bool waitUntilIdle(const plimsy::AppState &state, const plimsy::StatusMenuController &controller)
{
    const QDeadlineTimer deadline(60'000);
    while (state.isLoadingData() || controller.hasRunningLoaders()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    // What the application's event loop does next: deletes what was left for it to delete.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

// Waits, turning the event loop, for one line on standard input: the host has done with the menu.
bool waitForHost()
{
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    bool ended = false;
    bool closed = false;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char byte = 0;
        const ssize_t read = ::read(STDIN_FILENO, &byte, 1);
        closed = read <= 0;
        ended = closed || byte == '\n';
    });
    while (!ended) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return !closed;
}

int runProbe()
{
    plimsy::test::FakeForge forge;
    const QList<plimsy::test::DemoAccount> demo = plimsy::test::buildDemoData(forge, Servers);

    plimsy::UserDefaults defaults(QDir::temp().filePath(QStringLiteral("menu-soak-bench.conf")));
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    defaults.setValue(QStringLiteral("migratedKeysToMultiAccount"), true);
    defaults.setValue(QStringLiteral("monitorSites"), false);
    plimsy::APIKeyManager keys(std::make_unique<plimsy::bench::MemoryKeychain>());
    QList<plimsy::Account> accounts;
    for (const plimsy::test::DemoAccount &entry : demo) {
        plimsy::Account account;
        account.name = entry.name;
        account.uuid = entry.uuid;
        account.hiddenServers = entry.hiddenServers;
        accounts.append(account);
        keys.setAPIKey(entry.uuid, entry.key);
    }
    plimsy::AccountManager::saveAccounts(accounts, defaults);

    plimsy::AppState state;
    plimsy::StatusMenuServices services;
    services.defaults = &defaults;
    plimsy::bench::SignedInServices signedIn(defaults);
    services.authService = &signedIn.container.authService();
    services.forge.baseURL = forge.apiBase().toString();
    services.forge.apiKeys = &keys;
    plimsy::NetworkReachability *network = nullptr;
    services.makeReachability = [&network] {
        auto target = std::make_unique<plimsy::NetworkReachability>(QStringLiteral("none"));
        network = target.get();
        network->injectFlags(0);
        return std::make_unique<plimsy::Reachability>(std::move(target));
    };
    plimsy::StatusMenuController controller(state, services);
    controller.setup();
    QCoreApplication::processEvents();
    // The network coming up starts the first refresh.
    network->injectFlags(plimsy::ReachabilityFlag::Reachable);
    const QDeadlineTimer started(60'000);
    while (controller.refreshGeneration() == 0 && !started.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    long rssAtFirst = 0;
    qsizetype items = 0;
    for (int round = 1; round <= Rounds; ++round) {
        if (round > 1) {
            const quint64 generation = controller.refreshGeneration();
            controller.updateServers();
            if (controller.refreshGeneration() == generation) {
                std::fprintf(stderr, "round %d: the refresh did not start\n", round);
                return 1;
            }
        }
        if (!waitUntilIdle(state, controller)) {
            std::fprintf(stderr, "round %d: the refresh did not end\n", round);
            return 1;
        }
        std::printf("ready %d\n", round);
        std::fflush(stdout);
        if (!waitForHost()) {
            return 1;
        }
        items = countItems(controller.statusMenu());
        if (round == FirstMeasuredRound) {
            rssAtFirst = plimsy::bench::residentKilobytes();
        }
    }
    std::printf("rss_kb_10=%ld rss_kb_40=%ld items=%lld sites=%lld\n",
                rssAtFirst,
                plimsy::bench::residentKilobytes(),
                static_cast<long long>(items),
                static_cast<long long>(state.siteList.size()));
    std::fflush(stdout);
    return 0;
}

struct Figures
{
    double first = 0; // MiB after round 10
    double last = 0;  // MiB after round 40
    long long items = 0;
    long long sites = 0;
};

// One entry of a com.canonical.dbusmenu layout: its id and whether it leads to a submenu.
struct LayoutEntry
{
    int id = 0;
    bool hasSubmenu = false;
};

QList<LayoutEntry> children(const QDBusArgument &argument)
{
    QList<LayoutEntry> entries;
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        const QDBusArgument entry = child.variant().value<QDBusArgument>();
        int childId = 0;
        QVariantMap childProperties;
        entry.beginStructure();
        entry >> childId >> childProperties;
        entry.endStructure();
        entries.append({childId, childProperties.value(QStringLiteral("children-display")).toString() == "submenu"});
    }
    argument.endArray();
    argument.endStructure();
    return entries;
}

// What a tray host does as the user goes through the whole menu: each submenu is announced with
// "AboutToShow" and then read.
bool openEverySubmenu(const QString &item)
{
    const qsizetype slash = item.indexOf(QLatin1Char('/'));
    const QString service = slash > 0 ? item.left(slash) : item;
    const auto call = [&](const QString &method, const QVariantList &arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            service, QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), method);
        message.setArguments(arguments);
        return QDBusConnection::sessionBus().call(message, QDBus::Block, 20'000);
    };
    bool ok = true;
    const std::function<void(int)> open = [&](int id) {
        call(QStringLiteral("AboutToShow"), {id});
        const QDBusMessage layout = call(QStringLiteral("GetLayout"), {id, 1, QStringList()});
        if (layout.type() != QDBusMessage::ReplyMessage || layout.arguments().size() != 2) {
            ok = false;
            return;
        }
        for (const LayoutEntry &entry : children(layout.arguments().at(1).value<QDBusArgument>())) {
            if (entry.hasSubmenu) {
                open(entry.id);
            }
        }
    };
    open(0);
    return ok;
}

std::optional<Figures> runChild(bool openMenus)
{
    QTemporaryDir home;
    QProcessEnvironment environment =
        plimsy::bench::probeEnvironment(home, {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "TMPDIR"});
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    plimsy::test::FakeStatusNotifierWatcher watcher;
    if (!watcher.isRunning()) {
        std::fputs("no StatusNotifier watcher could be started on the session bus\n", stderr);
        return std::nullopt;
    }
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--probe")});
    QString output;
    while (probe.state() != QProcess::NotRunning || probe.canReadLine()) {
        if (!probe.canReadLine()) {
            probe.waitForReadyRead(50);
            continue;
        }
        const QString line = QString::fromUtf8(probe.readLine()).trimmed();
        if (!line.startsWith(QLatin1String("ready "))) {
            output += line;
            continue;
        }
        if (openMenus) {
            const QDeadlineTimer registered(20'000);
            while (watcher.registeredItems().isEmpty() && !registered.hasExpired()) {
                QThread::msleep(20);
            }
            if (watcher.registeredItems().isEmpty() || !openEverySubmenu(watcher.registeredItems().constFirst())) {
                std::fputs("the probe's menu could not be read over D-Bus\n", stderr);
                probe.kill();
                probe.waitForFinished();
                return std::nullopt;
            }
        }
        probe.write("\n");
    }
    probe.waitForFinished();
    const auto match =
        QRegularExpression(QStringLiteral("rss_kb_10=(\\d+) rss_kb_40=(\\d+) items=(\\d+) sites=(\\d+)")).match(output);
    if (probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0 || !match.hasMatch()) {
        std::fprintf(stderr, "the run failed: %s\n", qUtf8Printable(output));
        return std::nullopt;
    }
    return Figures{match.captured(1).toDouble() / 1024.0,
                   match.captured(2).toDouble() / 1024.0,
                   match.captured(3).toLongLong(),
                   match.captured(4).toLongLong()};
}

void printRow(const char *label, const Figures &figures)
{
    std::printf("  %-26s round %d: %7.1f MiB   round %d: %7.1f MiB   growth %6.1f MiB   %6lld items at the end\n",
                label,
                FirstMeasuredRound,
                figures.first,
                Rounds,
                figures.last,
                figures.last - figures.first,
                figures.items);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && QByteArray(argv[1]) == "--probe") {
        QApplication app(argc, argv);
        return runProbe();
    }
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !QDBusConnection::sessionBus().isConnected()) {
        std::fputs("needs an X display and a session bus: scripts/sealed bench_menu_soak\n", stderr);
        return 2;
    }
    const auto anchor = runChild(false);
    const auto subject = runChild(true);
    if (!anchor || !subject) {
        return 1;
    }
    std::printf("%d refreshes of %d servers and %lld sites in two accounts (load average %.2f):\n",
                Rounds,
                Servers,
                subject->sites,
                plimsy::bench::loadAverage());
    printRow("no submenu opened (anchor)", *anchor);
    printRow("every submenu opened", *subject);
    const double growth = subject->last - subject->first;
    std::printf("  opened / anchor: %.2fx the resident set at round %d, %.2fx at round %d\n",
                subject->first / anchor->first,
                FirstMeasuredRound,
                subject->last / anchor->last,
                Rounds);
    std::printf("  growth over rounds %d to %d with every submenu opened: %.1f MiB (aim: at most 8 MiB) %s\n",
                FirstMeasuredRound,
                Rounds,
                growth,
                growth <= 8.0 ? "ok" : "MISSED");
    return 0;
}
