// bench_app_handover: a second start of plimsy handing a URL to the running one, from exec to exit, next
// to a program that links the same libraries and only builds a QCoreApplication. Prints the medians and
// the difference (target: at most 30 ms).
//
//   bench_app_handover [runs]     (default 20)
#include "BenchProcess.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <unistd.h>

#include <cstdio>

using namespace plimsy::bench;

namespace {

// Start to exit of one run, in milliseconds; negative when it failed.
double timeRun(const QProcessEnvironment &environment, const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(30'000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = std::max(1, QCoreApplication::arguments().value(1, QStringLiteral("20")).toInt());
    const ScratchProfile profile;
    QProcessEnvironment environment = profile.environment();
    // No session bus and no reachable service: the running instance touches no keyring and no network.
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + profile.home.filePath("no-bus"));
    for (const char *name :
         {"PLIMSY_STATS_URL", "PLIMSY_API_BASE", "PLIMSY_UPDATE_FEED_URL", "PLIMSY_FORGE_API_BASE"}) {
        environment.insert(QString::fromLatin1(name), QStringLiteral("http://127.0.0.1:9/"));
    }

    QProcess first;
    first.setProcessEnvironment(environment);
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.setStandardOutputFile(QProcess::nullDevice());
    first.start(besideThisProgram("plimsy"));
    const QString socket = QDir(environment.value(QStringLiteral("XDG_RUNTIME_DIR")))
                               .filePath(QStringLiteral("com.tindrel.Plimsy.%1.socket").arg(::getuid()));
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(socket) && waited.elapsed() < 30'000) {
        QThread::msleep(10);
    }
    if (!QFileInfo::exists(socket)) {
        std::fputs("the first plimsy did not start listening\n", stderr);
        return 1;
    }

    std::vector<double> handOver;
    std::vector<double> floor;
    for (int i = 0; i < runs; ++i) {
        const double core = timeRun(environment, besideThisProgram("app_core_probe"), {});
        const double second = timeRun(environment, besideThisProgram("plimsy"), {QStringLiteral("plimsy://bench/run")});
        if (core < 0 || second < 0) {
            std::fputs("a run failed\n", stderr);
            return 1;
        }
        floor.push_back(core);
        handOver.push_back(second);
    }
    first.kill();
    first.waitForFinished();
    const double added = median(handOver) - median(floor);
    std::printf("Second start handing over a URL, %d runs (median):\n", runs);
    std::printf("  QCoreApplication only, same libraries  %8.1f ms\n", median(floor));
    std::printf("  plimsy plimsy://bench/run              %8.1f ms\n", median(handOver));
    std::printf("handover added_ms=%.1f limit_ms=30 ratio=%.2f\n", added, added / 30.0);
    return 0;
}
