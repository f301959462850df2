#include "crashreporter/core/KXCrashSentrySignal.h"

#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/core/KXSignalInfo.h"
#include "crashreporter/core/KXThreads.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>

namespace kestrix {

namespace {

constexpr int MaxFatalSignals = 16;
constexpr int AlternateStackTimeoutMilliseconds = 250;

std::atomic<bool> s_enabled{false};
std::atomic<bool> s_handlersInstalled{false};
std::atomic<bool> s_stacksForNewThreads{false};
struct sigaction s_previous[MaxFatalSignals];

// Maps an alternate stack for the calling thread unless it has one; removes it on destruction.
class AlternateStack
{
public:
    AlternateStack()
    {
        stack_t current;
        if (sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) {
            return;
        }
        void *memory =
            mmap(nullptr, KXAlternateStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (memory == MAP_FAILED) {
            return;
        }
        stack_t stack = {};
        stack.ss_sp = memory;
        stack.ss_size = KXAlternateStackSize;
        if (sigaltstack(&stack, nullptr) != 0) {
            munmap(memory, KXAlternateStackSize);
            return;
        }
        m_memory = memory;
    }

    ~AlternateStack()
    {
        if (m_memory != nullptr) {
            stack_t disabled = {};
            disabled.ss_flags = SS_DISABLE;
            sigaltstack(&disabled, nullptr);
            munmap(m_memory, KXAlternateStackSize);
        }
    }

    // Keeps the stack for the rest of the thread's life (the thread that installs the sentries).
    void release() { m_memory = nullptr; }

    AlternateStack(const AlternateStack &) = delete;
    AlternateStack &operator=(const AlternateStack &) = delete;

private:
    void *m_memory = nullptr;
};

void handOn(int signal, siginfo_t *info, void *userContext)
{
    const int *signals = kxsignalFatalSignals();
    for (int i = 0; i < kxsignalFatalSignalsCount(); i++) {
        if (signals[i] != signal) {
            continue;
        }
        const struct sigaction &previous = s_previous[i];
        if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
            previous.sa_sigaction(signal, info, userContext);
            return;
        }
        if (previous.sa_handler == SIG_IGN) {
            return;
        }
        if (previous.sa_handler != SIG_DFL) {
            previous.sa_handler(signal);
            return;
        }
        break;
    }
    struct sigaction defaultAction = {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signal, &defaultAction, nullptr);
    raise(signal);
}

void handleSignal(int signal, siginfo_t *info, void *userContext)
{
    const int savedErrno = errno;
    if (s_enabled.load() && kxsentryBeginHandlingCrash(kxthreadCurrent())) {
        KXCrashSentryContext *context = kxsentryContext();
        if (context->crashedDuringCrashHandling) {
            context->recrashUserContext = userContext;
        } else {
            // Recorded before anything else, so that a crash while stopping the threads is still
            // reported as this one.
            context->crashType = KXCrashTypeSignal;
            context->requiresAsyncSafety = true;
            context->registersAreValid = true;
            context->faultAddress = kxsignalIsSent(info) ? 0 : reinterpret_cast<uintptr_t>(info->si_addr);
            context->signalUserContext = userContext;
            context->signalInfo = info;
            kxsentrySuspendAllThreads();
        }
        kxsentryReport();
        kxsentryUninstall(KXCrashTypeMachAndSignal);
        kxsentryResumeAllThreads();
        kxsentryEndHandlingCrash();
    }
    errno = savedErrno;
    handOn(signal, info, userContext);
}

bool installHandlers()
{
    const int *signals = kxsignalFatalSignals();
    const int count = kxsignalFatalSignalsCount();
    struct sigaction action = {};
    action.sa_sigaction = handleSignal;
    // SA_NODEFER lets a crash inside the handler reach it again, to be written as a recrash.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < count; i++) {
        if (sigaction(signals[i], &action, &s_previous[i]) != 0) {
            for (int j = i - 1; j >= 0; j--) {
                sigaction(signals[j], &s_previous[j], nullptr);
            }
            return false;
        }
        if (signals[i] == SIGPIPE && s_previous[i].sa_handler == SIG_IGN) {
            sigaction(SIGPIPE, &s_previous[i], nullptr); // a process that ignored SIGPIPE keeps ignoring it
        }
    }
    return true;
}

struct ThreadStart
{
    void *(*routine)(void *);
    void *argument;
};

void *startThread(void *data)
{
    const ThreadStart start = *static_cast<ThreadStart *>(data);
    free(data);
    AlternateStack stack;
    return start.routine(start.argument);
}

} // namespace

bool kxsentrySignalInstall(KXCrashSentryContext *)
{
    if (!s_handlersInstalled.load()) {
        if (!kxthreadsInstallControlSignal() || !installHandlers()) {
            return false;
        }
        AlternateStack own;
        own.release();
        s_stacksForNewThreads.store(true);
        kxthreadsProvideAlternateStacks(KXAlternateStackSize, AlternateStackTimeoutMilliseconds);
        s_handlersInstalled.store(true);
    }
    s_enabled.store(true);
    return true;
}

void kxsentrySignalUninstall()
{
    s_enabled.store(false);
}

} // namespace kestrix

// A sanitizer linked into the program has its own pthread_create, which this one replaces; skipping it
// would hide every new thread from it (LeakSanitizer would not scan their stacks and report what they
// hold as leaked), so the chain goes through it when it is there.
extern "C" int __interceptor_pthread_create(pthread_t *, const pthread_attr_t *, void *(*)(void *),
                                            void *) __attribute__((weak));

// Threads started after installation get their alternate stack on the way in.
extern "C" int
pthread_create(pthread_t *thread, const pthread_attr_t *attributes, void *(*routine)(void *), void *argument) noexcept
{
    using CreateFunc = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static CreateFunc next = __interceptor_pthread_create != nullptr
        ? __interceptor_pthread_create
        : reinterpret_cast<CreateFunc>(dlsym(RTLD_NEXT, "pthread_create"));
    if (!kestrix::s_stacksForNewThreads.load()) {
        return next(thread, attributes, routine, argument);
    }
    auto *start = static_cast<kestrix::ThreadStart *>(malloc(sizeof(kestrix::ThreadStart)));
    if (start == nullptr) {
        return next(thread, attributes, routine, argument);
    }
    start->routine = routine;
    start->argument = argument;
    const int result = next(thread, attributes, kestrix::startThread, start);
    if (result != 0) {
        free(start);
    }
    return result;
}
