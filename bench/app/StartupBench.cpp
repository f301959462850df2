// bench_app_startup: from process start to the first refresh request reaching FakeForge, signed in with
// one account, for plimsy and for the status menu alone (menu_startup_probe, as bench_menu_startup runs
// it). The difference is what the shell adds before the refresh (target: under 20 ms). The statistics and
// announcement endpoints answer only after 2 s, so a shell that waited on them would show it.
// The difference is broken down into the load of the libraries plimsy links beyond the menu's (two
// QCoreApplication programs, app_core_probe and menu_core_probe) and the rest of the launch sequence.
//
// It runs itself inside a private session bus with a keyring of its own, where it stores the account's
// key and the sign-in: your own keyring and settings are never touched.
//
//   bench_app_startup [runs]     (default 10)
#include "BenchProcess.h"
#include "FakeForge.h"
#include "FakeHttpServer.h"
#include "account/KeychainTokenStore.h"
#include "core/APIKeyManager.h"
#include "core/Account.h"
#include "core/AccountManager.h"
#include "platform/UserDefaults.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

using namespace plimsy;
using namespace plimsy::bench;

namespace {

constexpr auto InsideVariable = "PLIMSY_BENCH_SESSION";
constexpr std::chrono::milliseconds SlowAnswer{2000};

// Re-runs this program on a private session bus (scripts/private-bus) in a scratch profile.
int runInPrivateSession(const QStringList &arguments)
{
    const ScratchProfile profile;
    QProcessEnvironment environment = profile.environment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.insert(QString::fromLatin1(InsideVariable), QStringLiteral("1"));
    QProcess session;
    session.setProcessEnvironment(environment);
    session.setProcessChannelMode(QProcess::ForwardedChannels);
    session.start(QStringLiteral(PLIMSY_PRIVATE_BUS),
                  QStringList{QCoreApplication::applicationFilePath()} + arguments.mid(1));
    session.waitForFinished(-1);
    return session.exitStatus() == QProcess::NormalExit ? session.exitCode() : 1;
}

// A keyring of this session's own, unlocked, serving until `keyring` ends.
bool startKeyring(QProcess &keyring)
{
    keyring.setStandardOutputFile(QProcess::nullDevice());
    keyring.start(QStringLiteral("gnome-keyring-daemon"),
                  {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!keyring.waitForStarted(30'000)) {
        return false;
    }
    keyring.write("plimsy-bench");
    keyring.closeWriteChannel();
    keyring.waitForBytesWritten(30'000);
    QElapsedTimer waited;
    waited.start();
    // Until it serves, a call would start another, locked one.
    while (!QDBusConnection::sessionBus().interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets"))) {
        if (waited.elapsed() > 30'000 || keyring.state() == QProcess::NotRunning) {
            return false;
        }
        QThread::msleep(10);
    }
    return true;
}

// Start to exit of a program, in milliseconds.
double timeRun(const QString &program)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, {});
    process.waitForFinished(30'000);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Start to the first request FakeForge receives, in milliseconds; negative when none came.
double timeToFirstRequest(test::FakeForge &forge,
                          const QString &program,
                          const QStringList &arguments,
                          const QProcessEnvironment &environment)
{
    const qsizetype before = forge.requests().size();
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    double elapsed = -1;
    while (clock.elapsed() < 30'000 && process.state() != QProcess::NotRunning) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (forge.requests().size() > before) {
            elapsed = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
    }
    process.kill();
    process.waitForFinished();
    return elapsed;
}

int measureSignedIn(int runs)
{
    test::FakeForge forge;
    forge.buildAccount(1, 20, 200);
    test::FakeHttpServer backend;
    for (const char *path : {"/api/v1/stats", "/v1/announcements"}) {
        backend.route("*", QString::fromLatin1(path), test::FakeResponse::empty(204).withDelay(SlowAnswer));
    }

    UserDefaults &defaults = UserDefaults::standard();
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    defaults.setValue(QStringLiteral("migratedKeysToMultiAccount"), true);
    Account account;
    account.name = QStringLiteral("Benchmark");
    account.uuid = QStringLiteral("0B6E6C2A-5F1D-4C3B-9A8E-7D6C5B4A3F21");
    AccountManager::saveAccounts({account}, defaults);
    KeychainTokenStore tokens;
    tokens.setAccessToken(QStringLiteral("bench-token"));
    if (!APIKeyManager::shared().setAPIKey(*account.uuid, QStringLiteral("bench-key")) || !tokens.accessToken()) {
        std::fputs("the private keyring refused the key or the token\n", stderr);
        return 1;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("PLIMSY_TEST_HARNESS"));
    environment.insert(QStringLiteral("PLIMSY_FORGE_API_BASE"), forge.apiBase().toString());
    const QString base = backend.url(QStringLiteral("/")).toString().chopped(1);
    environment.insert(QStringLiteral("PLIMSY_STATS_URL"), base + QStringLiteral("/api/v1/stats"));
    environment.insert(QStringLiteral("PLIMSY_API_BASE"), base + QStringLiteral("/v1"));
    environment.insert(QStringLiteral("PLIMSY_UPDATE_FEED_URL"), base + QStringLiteral("/appcast.xml"));

    std::vector<double> shell;
    std::vector<double> menu;
    std::vector<double> shellLibraries;
    std::vector<double> menuLibraries;
    for (int i = 0; i < runs; ++i) {
        shellLibraries.push_back(timeRun(besideThisProgram("app_core_probe")));
        menuLibraries.push_back(timeRun(besideThisProgram("menu_core_probe")));
        const double probe = timeToFirstRequest(forge,
                                                besideThisProgram("menu_startup_probe"),
                                                {QStringLiteral("--full"), forge.apiBase().toString()},
                                                environment);
        const double plimsy = timeToFirstRequest(forge, besideThisProgram("plimsy"), {}, environment);
        if (probe < 0 || plimsy < 0) {
            std::fputs("a run sent no request to FakeForge\n", stderr);
            return 1;
        }
        menu.push_back(probe);
        shell.push_back(plimsy);
    }
    const double added = median(shell) - median(menu);
    std::printf("Process start to the first refresh request, %d runs (median):\n", runs);
    std::printf("  status menu alone (menu_startup_probe)  %8.1f ms\n", median(menu));
    std::printf("  plimsy, whole launch sequence          %8.1f ms (slowest %.1f; the shell's own requests "
                "answer after %lld ms)\n",
                median(shell),
                *std::max_element(shell.begin(), shell.end()),
                static_cast<long long>(SlowAnswer.count()));
    const double libraries = median(shellLibraries) - median(menuLibraries);
    std::printf("  of the difference: loading the libraries the menu does not link  %8.1f ms\n", libraries);
    std::printf("                     the launch sequence before the refresh          %8.1f ms\n", added - libraries);
    std::printf("startup added_ms=%.1f limit_ms=20 ratio=%.2f\n", added, added / 20.0);
    return 0;
}

int measure(int runs)
{
    QProcess keyring;
    if (!startKeyring(keyring)) {
        std::fputs("cannot unlock a keyring in the private session\n", stderr);
        return 1;
    }
    const int status = measureSignedIn(runs);
    keyring.kill();
    keyring.waitForFinished();
    return status;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet(InsideVariable)) {
        return runInPrivateSession(QCoreApplication::arguments());
    }
    return measure(std::max(1, QCoreApplication::arguments().value(1, QStringLiteral("10")).toInt()));
}
