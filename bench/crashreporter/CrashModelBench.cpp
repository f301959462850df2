// Prints what the client's crash-time user section costs a crash report, and how long the event model
// takes to turn a report into the payload an upload sends.
//
// 1. Fault to complete report in a process of 20 threads, with the user section the client writes
//    (a session, 100 breadcrumbs, 50 feature flags, 10 KB of metadata, configuration and state) and,
//    in the same run, with an empty one, and the time of writing that section alone. Each crash is a
//    child process.
// 2. Parsing, fixing up, building and serialising the event of one of those 20-thread reports,
//    against parsing the file alone.
#include "crashreporter/client/KXCrashTimeUserSection.h"
#include "crashreporter/client/KestrixBreadcrumbs.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/model/KXCrashReportFixup.h"
#include "crashreporter/model/KestrixEvent.h"
#include "crashreporter/support/KXCompositeFeatureFlagStore.h"
#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXRunContext.h"
#include "crashreporter/support/KX_CrashCore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace kestrix;

namespace {

constexpr int Runs = 15;
constexpr int ThreadCount = 20;
constexpr int EventRounds = 200;

struct Shared
{
    int64_t faultAt;
    int64_t userSectionStart;
    int64_t userSectionEnd;
};

Shared *s_shared = nullptr;
volatile int *volatile s_null = nullptr;

int64_t now()
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void emptySection(const KXCrashReportWriter *, bool)
{
    s_shared->userSectionStart = s_shared->userSectionEnd = now();
}

void fullSection(const KXCrashReportWriter *writer, bool requiresAsyncSafety)
{
    s_shared->userSectionStart = now();
    KXCrashTimeUserSection::write(writer, requiresAsyncSafety);
    s_shared->userSectionEnd = now();
}

void fillStores(const QDir &root)
{
    KXRunContext::start(root.filePath(QStringLiteral("run_context")));
    static KestrixConfiguration config(QStringLiteral("0123456789abcdef0123456789abcdef"));
    KXCrashTimeUserSection::setConfiguration(config);

    static KestrixMetadata metadata;
    metadata.setStorageBuffer(&KXCrashTimeUserSection::metadataBuffer, root.filePath(QStringLiteral("metadata.json")));
    QJsonObject values;
    for (int i = 0; i < 100; i++) {
        values.insert(QStringLiteral("key%1").arg(i), QString(80, QLatin1Char('a' + i % 26)));
    }
    metadata.addMetadata(values, QStringLiteral("custom")); // about 10 KB
    static KestrixMetadata state(
        QJsonObject{{QStringLiteral("client"), QJsonObject{{QStringLiteral("context"), QStringLiteral("Menu")}}}});
    state.setStorageBuffer(&KXCrashTimeUserSection::stateBuffer, root.filePath(QStringLiteral("state.json")));

    KestrixSession session(QStringLiteral("5E1D6A0C-2B4F-4C39-9A47-3F6B1E2D8C10"),
                           QDateTime::currentDateTimeUtc(),
                           std::nullopt,
                           std::nullopt,
                           std::nullopt);
    KestrixSession::updateRunContext(&session);

    static KestrixBreadcrumbs breadcrumbs(config, root.filePath(QStringLiteral("breadcrumbs")));
    for (int i = 0; i < 100; i++) {
        KestrixBreadcrumb breadcrumb;
        breadcrumb.message = QStringLiteral("Breadcrumb number %1").arg(i);
        breadcrumb.metadata = {{QStringLiteral("index"), i}, {QStringLiteral("source"), QStringLiteral("bench")}};
        breadcrumbs.addBreadcrumb(breadcrumb);
    }
    static KXCompositeFeatureFlagStore flags(
        KXMemoryFeatureFlagStore(),
        std::make_unique<KXPersistentFeatureFlagStore>(root.filePath(QStringLiteral("featureFlags"))),
        KXAtomicFeatureFlagStore::store());
    for (int i = 0; i < 50; i++) {
        flags.addFeatureFlag(QStringLiteral("feature-%1").arg(i), QStringLiteral("variant-%1").arg(i));
    }
    KXFileSystemQueue::shared().waitUntilIdle();
}

[[noreturn]] void child(const QString &directory, bool full)
{
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const QDir root(directory);
    root.mkpath(QStringLiteral("breadcrumbs"));
    root.mkpath(QStringLiteral("featureFlags"));
    if (full) {
        fillStores(root);
    }
    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setThreadTracingEnabled(true);
    core.setUserSectionCallback(full ? fullSection : emptySection);
    core.install(KXCrashTypeAll, root.filePath(QStringLiteral("reports")));
    std::mutex mutex;
    std::condition_variable idle;
    std::atomic<int> waiting{0};
    std::vector<std::thread> threads;
    const int existing = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    for (int i = existing; i < ThreadCount; i++) {
        threads.emplace_back([&] {
            std::unique_lock lock(mutex);
            waiting++;
            idle.wait(lock, [] { return false; });
        });
    }
    while (waiting.load() < static_cast<int>(threads.size())) {
        std::this_thread::yield();
    }
    s_shared->faultAt = now();
    *s_null = 1;
    _exit(1);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Milliseconds per round of `work`, the median of five batches.
template <typename Work> double timePerRound(Work work)
{
    std::vector<double> batches;
    for (int batch = 0; batch < 5; batch++) {
        const int64_t start = now();
        for (int round = 0; round < EventRounds; round++) {
            work();
        }
        batches.push_back(static_cast<double>(now() - start) / 1e6 / EventRounds);
    }
    return median(batches);
}

} // namespace

int main()
{
    s_shared =
        static_cast<Shared *>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    std::vector<double> plain;
    std::vector<double> full;
    std::vector<double> sections;
    QByteArray report;
    for (int run = 0; run < 2 * Runs; run++) {
        const bool withSection = run % 2 == 1;
        QTemporaryDir directory;
        *s_shared = {};
        const pid_t pid = fork();
        if (pid == 0) {
            child(directory.path(), withSection);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFSIGNALED(status) || s_shared->userSectionEnd == 0) {
            continue;
        }
        const double milliseconds = static_cast<double>(s_shared->userSectionEnd - s_shared->faultAt) / 1e6;
        (withSection ? full : plain).push_back(milliseconds);
        if (withSection) {
            sections.push_back(static_cast<double>(s_shared->userSectionEnd - s_shared->userSectionStart) / 1e6);
        }
        if (withSection && report.isEmpty()) {
            const QDir reports(QDir(directory.path()).filePath(QStringLiteral("reports")));
            QFile file(reports.filePath(reports.entryList({QStringLiteral("CrashReport-*.json")}).value(0)));
            if (file.open(QIODevice::ReadOnly)) {
                report = file.readAll();
            }
        }
    }
    const double plainMedian = median(plain);
    const double fullMedian = median(full);
    std::printf(
        "fault to complete report, %d threads: with the client's user section %.2f ms, with an empty one "
        "%.2f ms (ratio %.2f) over %zu and %zu crashes (aim: under 20 ms); writing the section itself %.2f ms\n",
        ThreadCount,
        fullMedian,
        plainMedian,
        plainMedian > 0 ? fullMedian / plainMedian : 0,
        full.size(),
        plain.size(),
        median(sections));
    if (report.isEmpty()) {
        std::printf("no report to build events from\n");
        return 1;
    }

    const double parse = timePerRound([&report] {
        volatile bool isObject = QJsonDocument::fromJson(report).isObject();
        (void)isObject;
    });
    const std::vector<KestrixStringOrPattern> redactedKeys{QStringLiteral("password")};
    const double event = timePerRound([&report, &redactedKeys] {
        const auto built = KestrixEvent::fromCoreReport(kxFixupCrashReport(QJsonDocument::fromJson(report).object()));
        volatile qsizetype size = built->toJsonData(redactedKeys).size();
        (void)size;
    });
    std::printf("event of a %d-thread report (%lld bytes): parse, build and serialise %.3f ms; parsing alone %.3f ms "
                "(ratio %.2f; aim: under 3)\n",
                ThreadCount,
                static_cast<long long>(report.size()),
                event,
                parse,
                event / parse);
    return 0;
}
