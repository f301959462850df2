#include "crashreporter/core/KXCrashSentry.h"

#include "crashreporter/core/KXCrashSentryCPPException.h"
#include "crashreporter/core/KXCrashSentrySignal.h"
#include "crashreporter/core/KXReservedDescriptors.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstring>

namespace kestrix {

namespace {

struct SentryRow
{
    uint32_t crashType;
    bool (*install)(KXCrashSentryContext *context);
    void (*uninstall)();
};

// Mach exception ports and Objective-C exceptions do not exist on Linux: their rows stay, not available.
constexpr SentryRow Sentries[] = {
    {KXCrashTypeMachException, nullptr, nullptr},
    {KXCrashTypeSignal, kxsentrySignalInstall, kxsentrySignalUninstall},
    {KXCrashTypeCPPException, kxsentryCPPExceptionInstall, kxsentryCPPExceptionUninstall},
    {KXCrashTypeNSException, nullptr, nullptr},
};

constexpr int StopTimeoutMilliseconds = 250;

KXCrashSentryContext *s_context = nullptr;
KXCrashCoreContext *s_owner = nullptr;
std::atomic<pid_t> s_claim{0};
std::atomic<pid_t> s_handlingThread{0};
std::atomic<bool> s_handlingFinished{false};
pid_t s_threads[KXMaxThreads];

// Clears the record but for its callbacks, the thread-tracing flag and the reserved threads.
void clearCrashFields(KXCrashSentryContext *context)
{
    const size_t keep = offsetof(KXCrashSentryContext, handlingCrash);
    memset(reinterpret_cast<char *>(context) + keep, 0, sizeof(KXCrashSentryContext) - keep);
}

} // namespace

KXCrashSentryContext *kxsentryContext()
{
    return s_context;
}

uint32_t kxsentryAvailableTypes()
{
    uint32_t types = 0;
    for (const SentryRow &row : Sentries) {
        types |= row.install != nullptr ? row.crashType : 0;
    }
    return types;
}

uint32_t kxsentryInstall(KXCrashSentryContext *context,
                         uint32_t crashTypes,
                         KXCrashReportCallback onCrash,
                         KXCrashCoreContext *owner)
{
    s_owner = owner;
    if (kxsentryIsDebuggerAttached()) {
        crashTypes = 0;
    }
    s_context = context;
    if (crashTypes != 0) {
        kxfdReserve();
    }
    clearCrashFields(context);
    context->reportCallback = onCrash;
    uint32_t installed = 0;
    for (const SentryRow &row : Sentries) {
        if ((crashTypes & row.crashType) != 0 && row.install != nullptr && row.install(context)) {
            installed |= row.crashType;
        }
    }
    return installed;
}

void kxsentryReport()
{
    if (s_context != nullptr && s_context->reportCallback != nullptr) {
        s_context->reportCallback(s_owner);
    }
}

void kxsentryUninstall(uint32_t crashTypes)
{
    for (const SentryRow &row : Sentries) {
        if ((crashTypes & row.crashType) != 0 && row.uninstall != nullptr) {
            row.uninstall();
        }
    }
}

void kxsentrySuspendAllThreads()
{
    const pid_t self = kxthreadCurrent();
    const int count = kxthreadsList(s_threads, KXMaxThreads);
    KXCrashSentryContext *context = s_context;
    if (context == nullptr) {
        kxthreadsStop(s_threads, count, self, StopTimeoutMilliseconds);
        return;
    }
    context->allThreads = s_threads;
    context->allThreadsCount = static_cast<uint32_t>(count);
    context->suspendedThreadsCount = 0;
    for (int i = 0; i < count; i++) {
        context->threadRunStates[i] = kxthreadRunState(s_threads[i]);
        if (s_threads[i] != context->reservedThreads[0] && s_threads[i] != context->reservedThreads[1]) {
            context->suspendedThreads[context->suspendedThreadsCount++] = s_threads[i];
        }
    }
    kxthreadsStop(
        context->suspendedThreads, static_cast<int>(context->suspendedThreadsCount), self, StopTimeoutMilliseconds);
}

void kxsentryResumeAllThreads()
{
    kxthreadsResume();
}

bool kxsentryBeginHandlingCrash(pid_t crashedThread)
{
    KXCrashSentryContext *context = s_context;
    pid_t unclaimed = 0;
    if (s_claim.compare_exchange_strong(unclaimed, crashedThread)) {
        s_handlingThread.store(kxthreadCurrent());
        kxfdRelease();
        clearCrashFields(context);
        context->handlingCrash = true;
        context->offendingThread = crashedThread;
        return true;
    }
    if (crashedThread != s_handlingThread.load()) {
        const timespec pause = {0, 100000000};
        while (!s_handlingFinished.load()) {
            nanosleep(&pause, nullptr);
        }
        return false;
    }
    // A crash inside crash handling: leave any further fault to the system. The record still
    // describes the first crash, which is what the minimal report is about.
    kxsentryUninstall(KXCrashTypeMachAndSignal);
    context->crashedDuringCrashHandling = true;
    context->handlingCrash = true;
    return true;
}

void kxsentryEndHandlingCrash()
{
    s_handlingFinished.store(true);
}

bool kxsentryIsDebuggerAttached()
{
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    const ssize_t length = read(fd, buffer, sizeof(buffer) - 1);
    close(fd);
    if (length <= 0) {
        return false;
    }
    buffer[length] = 0;
    const char *tracer = strstr(buffer, "TracerPid:");
    if (tracer == nullptr) {
        return false;
    }
    tracer += strlen("TracerPid:");
    while (*tracer == ' ' || *tracer == '\t') {
        tracer++;
    }
    return *tracer != '0';
}

} // namespace kestrix
