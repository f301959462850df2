// Threads of the running process, read through the crash core's thread stop and frame walk.
#include "crashreporter/core/KXBacktrace.h"
#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXMemory.h"
#include "crashreporter/core/KXThreads.h"
#include "crashreporter/model/KestrixThread.h"

#include <execinfo.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace kestrix {

namespace {

// Long enough for a busy thread to answer; a thread that does not is left with an empty stack.
constexpr int StopTimeoutMilliseconds = 100;

// One stop at a time: a second would find the first in force and read no stacks.
std::mutex s_readMutex;

std::optional<QString> threadName(const KXThreadStat &stat)
{
    const QString name = QString::fromUtf8(stat.name).trimmed().left(63);
    return name.isEmpty() ? std::nullopt : std::optional(name);
}

std::optional<QString> stateName(uint32_t runState)
{
    const char *name = kxthreadRunStateName(runState);
    return name != nullptr ? std::optional(QString::fromLatin1(name)) : std::nullopt;
}

KXThreadStat readStat(pid_t thread)
{
    KXThreadStat stat;
    if (!kxthreadReadStat(thread, &stat)) {
        stat = {{}, KXThreadRunStateUnknown};
    }
    return stat;
}

KestrixThread
makeThread(const KXThreadStat &stat, int index, const uintptr_t *addresses, size_t count, bool isErrorReporting)
{
    KestrixThread thread;
    thread.id = QString::number(index);
    thread.name = threadName(stat);
    thread.state = stateName(stat.runState);
    thread.stacktrace = KestrixStackframe::fromBacktrace(addresses, count);
    thread.errorReportingThread = isErrorReporting;
    return thread;
}

// The stack bounds of a stopped thread: asked of the kernel for its stack pointer, or found in the
// memory map, read once per stop and only when needed.
bool stackBounds(uintptr_t stackPointer, bool *mapRead, KXStackBounds *bounds)
{
    if (kxmemQueryStackBounds(stackPointer, &bounds->low, &bounds->high)) {
        return true;
    }
    if (!*mapRead) {
        *mapRead = true;
        kxmemLoadRegions();
    }
    return kxmemStackBounds(stackPointer, &bounds->low, &bounds->high);
}

// Stops `threads` (never the caller), walks each stopped one's stack into `frames` (150 slots per
// thread) and resumes them. Nothing here may allocate: a stopped thread may hold the heap's lock.
void readStoppedStacks(const std::vector<pid_t> &threads, uintptr_t *frames, std::vector<int> &counts)
{
    const pid_t current = kxthreadCurrent();
    kxthreadsStop(threads.data(), static_cast<int>(threads.size()), current, StopTimeoutMilliseconds);
    bool mapRead = false;
    for (size_t i = 0; i < threads.size(); i++) {
        KXMachineContext context;
        if (threads[i] == current || !kxthreadsStoppedContext(threads[i], &context)) {
            continue;
        }
        KXStackBounds bounds = {0, 0};
        if (!stackBounds(kxmcStackPointer(&context), &mapRead, &bounds)) {
            continue;
        }
        counts[i] = kxbtBacktrace(&context,
                                  bounds,
                                  frames + i * KestrixThread::MaxLiveFrames,
                                  0,
                                  static_cast<int>(KestrixThread::MaxLiveFrames),
                                  nullptr);
    }
    kxthreadsResume();
}

// The stacks of `threads`, index for index: the caller's from `callerAddresses`, the others read
// while stopped. `reporting` is the error-reporting thread. Names and states are read before the
// stop, as the threads were.
std::vector<KestrixThread>
readThreads(const std::vector<pid_t> &threads, pid_t reporting, const std::vector<uintptr_t> &callerAddresses)
{
    const size_t callerCount = std::min(callerAddresses.size(), KestrixThread::MaxLiveFrames);
    // Only what the walks write is read: no need to clear 1.2 KB per thread first.
    const auto frames = std::make_unique_for_overwrite<uintptr_t[]>(threads.size() * KestrixThread::MaxLiveFrames);
    std::vector<int> counts(threads.size(), 0);
    std::vector<KXThreadStat> stats;
    stats.reserve(threads.size());
    {
        std::lock_guard lock(s_readMutex);
        kxthreadsAwaitResumed(); // threads stopped a moment ago may not be back where they were
        for (const pid_t thread : threads) {
            stats.push_back(readStat(thread));
        }
        kxthreadsInstallControlSignal();
        kximagesRefresh();
        readStoppedStacks(threads, frames.get(), counts);
    }

    const pid_t current = kxthreadCurrent();
    std::vector<KestrixThread> result;
    result.reserve(threads.size());
    for (size_t i = 0; i < threads.size(); i++) {
        const bool isCaller = threads[i] == current;
        result.push_back(makeThread(stats[i],
                                    static_cast<int>(i),
                                    isCaller ? callerAddresses.data() : frames.get() + i * KestrixThread::MaxLiveFrames,
                                    isCaller ? callerCount : static_cast<size_t>(counts[i]),
                                    threads[i] == reporting));
    }
    return result;
}

std::vector<pid_t> processThreads()
{
    std::vector<pid_t> threads(KXMaxThreads);
    threads.resize(static_cast<size_t>(kxthreadsList(threads.data(), KXMaxThreads)));
    return threads;
}

} // namespace

std::vector<KestrixThread> KestrixThread::allThreads(bool all, const std::vector<uintptr_t> &callStackReturnAddresses)
{
    const std::vector<pid_t> threads = processThreads();
    const pid_t current = kxthreadCurrent();
    if (!all) {
        const auto callerIndex = std::find(threads.begin(), threads.end(), current) - threads.begin();
        const int index = callerIndex < static_cast<qsizetype>(threads.size()) ? static_cast<int>(callerIndex) : 0;
        const size_t callerCount = std::min(callStackReturnAddresses.size(), MaxLiveFrames);
        return {makeThread(readStat(current), index, callStackReturnAddresses.data(), callerCount, true)};
    }
    return readThreads(threads, current, callStackReturnAddresses);
}

std::optional<KestrixThread> KestrixThread::mainThread()
{
    const pid_t main = getpid();
    if (kxthreadCurrent() == main) {
        return std::nullopt;
    }
    return readThreads({main}, main, {}).front();
}

std::vector<KestrixThread> KestrixThread::allThreadsFromMainThread()
{
    const pid_t main = getpid();
    if (kxthreadCurrent() == main) {
        return {};
    }
    std::vector<pid_t> threads = processThreads();
    std::erase(threads, main);
    threads.insert(threads.begin(), main);
    // The caller's own stack, read before the others stop: the walk may allocate on first use.
    void *frames[MaxLiveFrames];
    const int count = backtrace(frames, static_cast<int>(MaxLiveFrames));
    std::vector<uintptr_t> caller;
    for (int i = 1; i < count; i++) { // without this function's own frame
        caller.push_back(reinterpret_cast<uintptr_t>(frames[i]));
    }
    return readThreads(threads, main, caller);
}

} // namespace kestrix
