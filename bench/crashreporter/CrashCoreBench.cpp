// Prints how long installing the crash core takes, and how long a crash takes from the fault to a
// complete report: in a process of 20 threads, in one where a thread of the 20 blocks every signal
// (as GLib's threads do), and for a main-thread stack overflow in an executable that exports 2,500
// functions. Each run is a child process: installation happens once per process.
#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KX_CrashCore.h"

#include <QTemporaryDir>

#include <alloca.h>
#include <signal.h>
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

enum class Scenario
{
    Threads,
    ThreadsWithSignalBlocker,
    MainThreadOverflow,
};

struct Shared
{
    int64_t installNanoseconds;
    int64_t indexedNanoseconds;
    int64_t faultAt;
    int64_t userSectionAt;
};

Shared *s_shared = nullptr;
volatile int *volatile s_null = nullptr;
volatile bool s_keepGoing = true;

int64_t now()
{
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// The last section of a report: its time is that of a report all but closed.
void stampUserSection(const KXCrashReportWriter *, bool)
{
    s_shared->userSectionAt = now();
}

[[gnu::noinline]] int overflow(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (s_keepGoing) {
        overflow(depth + 1);
    }
    return frame[0];
}

// Maps the main stack in to near its limit first, so that the page faults of its growth are not
// counted as the crash core's time.
[[gnu::noinline]] void mapStack()
{
    struct rlimit limit;
    if (getrlimit(RLIMIT_STACK, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return;
    }
    const size_t bytes = limit.rlim_cur - 256 * 1024;
    volatile char *area = static_cast<volatile char *>(alloca(bytes));
    for (size_t at = bytes; at >= 4096; at -= 4096) {
        area[at - 4096] = 0;
    }
}

// Starts `count` threads that wait for ever, the first blocking every signal when asked to.
void startIdleThreads(int count, bool firstBlocksSignals)
{
    static std::mutex mutex;
    static std::condition_variable idle;
    static std::atomic<int> waiting{0};
    const int target = waiting.load() + count;
    for (int i = 0; i < count; i++) {
        std::thread([blocks = firstBlocksSignals && i == 0] {
            if (blocks) {
                sigset_t all;
                sigfillset(&all);
                pthread_sigmask(SIG_BLOCK, &all, nullptr);
            }
            std::unique_lock lock(mutex);
            waiting++;
            idle.wait(lock, [] { return false; });
        }).detach();
    }
    while (waiting.load() < target) {
        std::this_thread::yield();
    }
}

[[noreturn]] void child(const QString &directory, Scenario scenario)
{
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (scenario == Scenario::ThreadsWithSignalBlocker) {
        startIdleThreads(1, true); // present before installation, as GLib's threads are in the application
    }
    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setThreadTracingEnabled(true);
    core.setUserSectionCallback(stampUserSection);
    const int64_t start = now();
    core.install(KXCrashTypeAll, directory);
    s_shared->installNanoseconds = now() - start;
    // The functions are sorted on a thread of their own; a crash later in the run finds them so.
    kximagesWaitForIndex();
    s_shared->indexedNanoseconds = now() - start;
    if (scenario == Scenario::MainThreadOverflow) {
        mapStack();
        s_shared->faultAt = now();
        overflow(0);
    } else {
        startIdleThreads(scenario == Scenario::Threads ? ThreadCount - 1 : ThreadCount - 2, false);
        s_shared->faultAt = now();
        *s_null = 1;
    }
    _exit(1);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Figures
{
    std::vector<double> installs;
    std::vector<double> indexed;
    std::vector<double> reports;
    std::vector<double> ends;
};

void run(Scenario scenario, Figures *figures)
{
    QTemporaryDir directory;
    *s_shared = {};
    const pid_t pid = fork();
    if (pid == 0) {
        child(directory.path(), scenario);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const int64_t ended = now();
    figures->installs.push_back(static_cast<double>(s_shared->installNanoseconds) / 1e6);
    figures->indexed.push_back(static_cast<double>(s_shared->indexedNanoseconds) / 1e6);
    if (WIFSIGNALED(status) && s_shared->userSectionAt != 0) {
        figures->reports.push_back(static_cast<double>(s_shared->userSectionAt - s_shared->faultAt) / 1e6);
        figures->ends.push_back(static_cast<double>(ended - s_shared->faultAt) / 1e6);
    }
}

void printReport(const char *what, const Figures &figures, double anchor)
{
    const double report = median(figures.reports);
    std::printf("fault to complete report, %s: median %.2f ms (%.2fx the plain %d-thread case); to the process's "
                "end %.2f ms over %zu crashes (aim: under 20 ms)\n",
                what,
                report,
                anchor > 0 ? report / anchor : 0,
                ThreadCount,
                median(figures.ends),
                figures.reports.size());
}

} // namespace

int main()
{
    s_shared =
        static_cast<Shared *>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    Figures plain;
    Figures blocker;
    Figures overflows;
    // Interleaved, so that a busy machine weighs on every scenario alike.
    for (int i = 0; i < Runs; i++) {
        run(Scenario::Threads, &plain);
        run(Scenario::ThreadsWithSignalBlocker, &blocker);
        run(Scenario::MainThreadOverflow, &overflows);
    }
    std::printf("install of the crash core: median %.2f ms; with a thread that blocks every signal %.2f ms over %d "
                "processes each (aim: under 5 ms)\n",
                median(plain.installs),
                median(blocker.installs),
                Runs);
    std::printf("functions sorted for crash-time lookups, on their own thread: median %.2f ms after installation "
                "began\n",
                median(plain.indexed));
    const double anchor = median(plain.reports);
    printReport("20 threads", plain, anchor);
    printReport("20 threads, one of them blocking every signal", blocker, anchor);
    printReport("main-thread stack overflow, 2,500 exported functions", overflows, anchor);
    return 0;
}
