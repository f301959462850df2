// Prints how long starting the crash client adds to launch with a previous run's crash report and
// hang file waiting (the run before left its files: device id, state, run context), beside
// installing the crash core alone; and, in a process of 20 threads that
// sends every thread, how long a handled notify holds its caller and how long until its payload lies
// in events/ while the intake answers 503. Each run is a child process: the client starts once per
// process.
#include "FakeCrashIntake.h"
#include "crashreporter/client/Kestrix.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KX_CrashCore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace kestrix;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Runs = 15;
constexpr int ThreadCount = 20;

double millisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

QJsonObject settings(const char *sendThreads)
{
    return {{"kestrix",
             QJsonObject{{"apiKey", "0123456789abcdef0123456789abcdef"},
                         {"sendThreads", sendThreads},
                         {"appHangThresholdMillis", 250}}}};
}

void copy(const QString &from, const QString &to)
{
    QFile::remove(to);
    QFile::copy(from, to);
}

// Child: the run before, which launched and left its files.
int previousRun()
{
    Kestrix::startWithSettings(settings("unhandledOnly"));
    Kestrix::markLaunchCompleted();
    Kestrix::client()->waitForDeliveries(std::chrono::seconds(10));
    std::_Exit(0);
}

// Child: a previous run's report and hang file, then the start call.
int timeStart(bool clientToo)
{
    const KXFileLocations &locations = KXFileLocations::current();
    copy(QStringLiteral(PLIMSY_CRASH_FIXTURES "/null_write.report.json"),
         QDir(locations.crashCoreReports).filePath(QStringLiteral("CrashReport-BENCH.json")));
    copy(QStringLiteral(PLIMSY_CRASH_FIXTURES "/runtime_error.event.json"), locations.appHangEvent);
    plimsy::UserDefaults::standard(); // Plimsy has read its defaults before it starts the client
    const auto start = Clock::now();
    if (clientToo) {
        Kestrix::startWithSettings(settings("unhandledOnly"));
    } else {
        KX_CrashCore::sharedInstance().install(0x06, locations.crashCoreReports);
    }
    std::printf("%f\n", millisSince(start));
    std::fflush(stdout);
    std::_Exit(0); // the client's threads run to the end of the process
}

// Child: 20 threads, every thread sent, the intake answering 503 on a thread of its own.
int timeNotify()
{
    QThread intakeThread;
    QObject onIntakeThread;
    onIntakeThread.moveToThread(&intakeThread);
    intakeThread.start();
    plimsy::test::FakeCrashIntake *intake = nullptr;
    QMetaObject::invokeMethod(
        &onIntakeThread,
        [&] {
            intake = new plimsy::test::FakeCrashIntake;
            intake->answerEvents(plimsy::test::FakeResponse::empty(503));
        },
        Qt::BlockingQueuedConnection);
    qputenv("PLIMSY_CRASH_NOTIFY_URL", intake->notifyURL().toEncoded());
    qputenv("PLIMSY_CRASH_SESSIONS_URL", intake->sessionsURL().toEncoded());

    std::atomic<bool> running{true};
    std::vector<std::thread> threads;
    for (int i = 1; i < ThreadCount; i++) {
        threads.emplace_back([&running] {
            while (running) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    Kestrix::startWithSettings(settings("always"));
    Kestrix::client()->waitForDeliveries(std::chrono::seconds(10));
    const QDir events(KXFileLocations::current().events);
    const qsizetype before = events.entryList(QDir::Files).size();

    const auto start = Clock::now();
    Kestrix::notify(std::runtime_error("bench"));
    const double held = millisSince(start);
    while (events.entryList(QDir::Files).size() == before && millisSince(start) < 10'000) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::printf("%f %f\n", held, millisSince(start));
    running = false;
    for (auto &thread : threads) {
        thread.join();
    }
    std::fflush(stdout);
    std::_Exit(0); // the client's threads run to the end of the process
}

QByteArray runChild(const QString &home, const QString &mode)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home);
    environment.insert("XDG_CONFIG_HOME", home);
    environment.insert("PLIMSY_TEST_HARNESS", "1");
    environment.insert("PLIMSY_CRASH_NOTIFY_URL", "http://127.0.0.1:9/");
    environment.insert("PLIMSY_CRASH_SESSIONS_URL", "http://127.0.0.1:9/");
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {mode});
    child.waitForFinished(60'000);
    return child.readAllStandardOutput();
}

// `afterPreviousRun`: each measured child follows one that ran in the same home.
std::vector<double> runChildren(const QString &mode, int column, bool afterPreviousRun = false)
{
    std::vector<double> values;
    for (int run = 0; run < Runs; run++) {
        QTemporaryDir home;
        if (afterPreviousRun) {
            runChild(home.path(), QStringLiteral("previous"));
        }
        const QList<QByteArray> fields = runChild(home.path(), mode).trimmed().split(' ');
        values.push_back(fields.value(column).toDouble());
    }
    std::sort(values.begin(), values.end());
    return values;
}

void print(const char *what, const std::vector<double> &values)
{
    std::printf("%-48s median %8.3f ms  min %8.3f ms  max %8.3f ms\n",
                what,
                values[values.size() / 2],
                values.front(),
                values.back());
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode == QLatin1String("start")) {
        return timeStart(true);
    }
    if (mode == QLatin1String("install")) {
        return timeStart(false);
    }
    if (mode == QLatin1String("notify")) {
        return timeNotify();
    }
    if (mode == QLatin1String("previous")) {
        return previousRun();
    }
    const auto install = runChildren(QStringLiteral("install"), 0, true);
    const auto start = runChildren(QStringLiteral("start"), 0, true);
    const auto firstStart = runChildren(QStringLiteral("start"), 0);
    print("crash core install alone (anchor)", install);
    print("Kestrix start, report and hang file waiting", start);
    std::printf("start / install (medians): %.2f\n", start[start.size() / 2] / install[install.size() / 2]);
    print("Kestrix start, first run (report and hang file)", firstStart);
    print("handled notify, caller held (20 threads)", runChildren(QStringLiteral("notify"), 0));
    print("handled notify, until stored in events/ (503)", runChildren(QStringLiteral("notify"), 1));
    return 0;
}
