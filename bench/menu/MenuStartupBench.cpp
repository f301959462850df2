// bench_menu_startup: from process start to a tray menu holding every item of a 200-server, 2,000-site
// account served by FakeForge, next to a bare Qt tray application started the same way, the two runs
// taking turns. Prints the median wall time and the peak resident memory of each over several runs,
// both as multiples of the bare application's, and a row of 1,000 servers and 10,000 sites to show
// the curve.
//
//   bench_menu_startup [runs]     (default 5; the probes are looked up next to this program)
#include "FakeForge.h"
#include "LoadAverage.h"
#include "ProbeEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Run
{
    double milliseconds = 0;
    long rssKilobytes = 0;
    long long items = 0;
};

std::optional<Run> runProbe(const QString &program, const QStringList &arguments)
{
    QTemporaryDir home;
    QProcessEnvironment environment = plimsy::bench::probeEnvironment(
        home, {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"});
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    probe.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + program, arguments);
    // The fake Forge answers on this thread: keep its event loop turning while the probe runs. The time
    // ends when the probe reports its full menu, before its teardown.
    QString output;
    double elapsed = 0;
    while (probe.state() != QProcess::NotRunning || probe.bytesAvailable() > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        probe.waitForReadyRead(1);
        output += QString::fromUtf8(probe.readAllStandardOutput());
        if (elapsed == 0 && output.contains(QLatin1Char('\n'))) {
            elapsed = double(clock.nsecsElapsed()) / 1e6;
        }
    }
    probe.waitForFinished();
    const auto match = QRegularExpression(QStringLiteral("items=(\\d+) rss_kb=(\\d+)")).match(output);
    if (probe.exitCode() != 0 || !match.hasMatch()) {
        std::fprintf(stderr, "probe %s failed: %s\n", qUtf8Printable(arguments.join(' ')), qUtf8Printable(output));
        return std::nullopt;
    }
    return Run{elapsed, match.captured(2).toLong(), match.captured(1).toLongLong()};
}

struct Summary
{
    double milliseconds = 0;
    double mebibytes = 0;
};

Summary summarise(const char *label, std::vector<Run> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Run &a, const Run &b) { return a.milliseconds < b.milliseconds; });
    const Run &median = runs.at(runs.size() / 2);
    long peak = 0;
    for (const Run &run : runs) {
        peak = std::max(peak, run.rssKilobytes);
    }
    const Summary summary{median.milliseconds, double(peak) / 1024.0};
    std::printf("%-34s %9.1f ms (min %.1f, max %.1f) %9.1f MiB peak RSS %8lld menu items\n",
                label,
                summary.milliseconds,
                runs.front().milliseconds,
                runs.back().milliseconds,
                summary.mebibytes,
                median.items);
    return summary;
}

void compare(const char *label, const Summary &subject, const Summary &anchor)
{
    std::printf("%-34s %9.2fx the time, %.2fx the memory of the empty tray application\n",
                label,
                subject.milliseconds / anchor.milliseconds,
                subject.mebibytes / anchor.mebibytes);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = std::max(
        1, QCoreApplication::arguments().value(1).toInt() > 0 ? QCoreApplication::arguments().value(1).toInt() : 5);
    plimsy::test::FakeForge forge;
    forge.buildAccount(5, 200, 2000);
    plimsy::test::FakeForge large;
    large.buildAccount(10, 1000, 10000);

    std::vector<Run> empty;
    std::vector<Run> full;
    std::vector<Run> scale;
    for (int i = 0; i < runs; ++i) {
        const QString probe = QStringLiteral("menu_startup_probe");
        const auto bare = runProbe(QStringLiteral("empty_tray_probe"), {});
        const auto loaded = runProbe(probe, {QStringLiteral("--full"), forge.apiBase().toString()});
        const auto largest = runProbe(probe, {QStringLiteral("--full"), large.apiBase().toString()});
        if (!bare || !loaded || !largest) {
            return 1;
        }
        empty.push_back(*bare);
        full.push_back(*loaded);
        scale.push_back(*largest);
    }
    std::printf("Process start to full tray menu, %d runs each (median), load average %.2f:\n",
                runs,
                plimsy::bench::loadAverage());
    const Summary anchor = summarise("empty Qt tray application", empty);
    const Summary subject = summarise("200 servers, 2,000 sites", full);
    const Summary largest = summarise("1,000 servers, 10,000 sites", scale);
    compare("200 servers, 2,000 sites", subject, anchor);
    compare("1,000 servers, 10,000 sites", largest, anchor);
    std::printf("Aims for 200 servers: at most 250 ms and 60 MiB; under 5x the time and 2.5x the memory\n");
    std::printf("Requests served by FakeForge per full start: %lld\n",
                static_cast<long long>(forge.requests().size() / runs));
    return 0;
}
