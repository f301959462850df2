// Prints how long installing the crash core takes, and how long a process of 20 threads takes from
// a fault to a complete crash report. Each run is a child process: installation happens once per process.
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KX_CrashCore.h"

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

struct Shared
{
    int64_t installNanoseconds;
    int64_t faultAt;
    int64_t userSectionAt;
};

Shared *s_shared = nullptr;
volatile int *volatile s_null = nullptr;

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

[[noreturn]] void child(const QString &directory, bool crash)
{
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setThreadTracingEnabled(true);
    core.setUserSectionCallback(stampUserSection);
    const int64_t start = now();
    core.install(KXCrashTypeAll, directory);
    s_shared->installNanoseconds = now() - start;
    if (!crash) {
        _exit(0);
    }
    std::mutex mutex;
    std::condition_variable idle;
    std::atomic<int> waiting{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < ThreadCount - 1; i++) {
        threads.emplace_back([&] {
            std::unique_lock lock(mutex);
            waiting++;
            idle.wait(lock, [] { return false; });
        });
    }
    while (waiting.load() < ThreadCount - 1) {
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

} // namespace

int main()
{
    s_shared =
        static_cast<Shared *>(mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    std::vector<double> installs;
    std::vector<double> reports;
    std::vector<double> ends;
    for (int run = 0; run < 2 * Runs; run++) {
        const bool crash = run % 2 == 1;
        QTemporaryDir directory;
        *s_shared = {};
        const pid_t pid = fork();
        if (pid == 0) {
            child(directory.path(), crash);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        const int64_t ended = now();
        if (!crash) {
            installs.push_back(static_cast<double>(s_shared->installNanoseconds) / 1e6);
        } else if (WIFSIGNALED(status) && s_shared->userSectionAt != 0) {
            reports.push_back(static_cast<double>(s_shared->userSectionAt - s_shared->faultAt) / 1e6);
            ends.push_back(static_cast<double>(ended - s_shared->faultAt) / 1e6);
        }
    }
    std::printf("install of the crash core: median %.2f ms over %zu processes (aim: under 5 ms)\n",
                median(installs),
                installs.size());
    std::printf("fault to complete report, %d threads: median %.2f ms; to the process's end %.2f ms over %zu "
                "crashes (aim: under 20 ms)\n",
                ThreadCount,
                median(reports),
                median(ends),
                reports.size());
    return 0;
}
