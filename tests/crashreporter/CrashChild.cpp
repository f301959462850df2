// A program that installs the crash core and then fails in the way its first argument names.
// Its functions have external linkage (and the program exports them) so that reports name them.
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KX_CrashCore.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace kestrix;

volatile bool g_keepGoing = true;
volatile int *volatile g_null = nullptr;
std::latch *g_bothReady = nullptr;
const char *g_rawJSON = nullptr;

extern "C" {

// Under the sanitizers the faults must still reach the crash core: the address sanitizer leaves
// the fatal signals alone, and the undefined-behaviour checks stay out of the crashing functions.
const char *__asan_default_options()
{
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:detect_leaks=0";
}

[[gnu::noinline, gnu::no_sanitize("undefined")]] void crashNullWrite()
{
    *g_null = 1;
}

[[gnu::noinline]] void crashAbort()
{
    abort();
}

[[gnu::noinline, gnu::no_sanitize("undefined")]] void crashDivideByZero()
{
    volatile int numerator = 100;
    volatile int zero = 0;
    volatile int result = numerator / zero;
    (void)result;
}

[[gnu::noinline]] void crashIllegalInstruction()
{
    asm volatile("ud2");
}

[[gnu::noinline]] void crashTrap()
{
    asm volatile("int3");
}

[[gnu::noinline]] int crashStackOverflow(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (g_keepGoing) {
        crashStackOverflow(depth + 1);
    }
    return frame[0];
}

[[gnu::noinline]] void crashOnBothThreads()
{
    g_bothReady->arrive_and_wait();
    crashNullWrite();
}

// Moves the stack and frame pointers where nothing is mapped, then writes through null.
[[gnu::noinline]] void crashWithCorruptPointers()
{
#if defined(__x86_64__)
    asm volatile("mov $0x1000, %%rsp\n\tmov $0xdead0000, %%rbp\n\tmovl $0, 0" ::: "memory");
#elif defined(__aarch64__)
    asm volatile("mov x9, #0x1000\n\tmov sp, x9\n\tmov x29, #0xdead0000\n\tmov x9, #0\n\tstr wzr, [x9]" ::
                     : "memory", "x9");
#endif
}

// Converts into a character set whose module glibc loads by itself, into memory that is not mapped.
[[gnu::noinline]] void crashInGlibcModule()
{
    iconv_t conversion = iconv_open("ISO-8859-15", "UCS-4LE");
    if (conversion == reinterpret_cast<iconv_t>(-1)) {
        std::exit(5);
    }
    char input[] = {'a', 0, 0, 0, 'b', 0, 0, 0};
    char *in = input;
    size_t inLeft = sizeof(input);
    char *out = reinterpret_cast<char *>(16);
    size_t outLeft = 16;
    iconv(conversion, &in, &inLeft, &out, &outLeft);
}

// Waits for a signal that another process sends.
[[noreturn, gnu::noinline]] void waitToBeKilled()
{
    for (;;) {
        pause();
    }
}

[[gnu::noinline]] void writeUserSection(const KXCrashReportWriter *writer, bool requiresAsyncSafety)
{
    writer->addStringElement(writer, "marker", "from the callback");
    writer->addBooleanElement(writer, "requiresAsyncSafety", requiresAsyncSafety);
    writer->addJSONElement(writer, "good", "{\"list\":[1,2]}");
    writer->addJSONElement(writer, "bad", "{\"list\":[1,2}");
    if (g_rawJSON != nullptr) {
        writer->addJSONElement(writer, "raw", g_rawJSON);
    }
    writer->beginObject(writer, "unclosed");
    writer->endContainer(writer);
    writer->endContainer(writer); // one too many: must not close the report's own containers
}

[[gnu::noinline, gnu::no_sanitize("undefined")]] void crashInCallback(const KXCrashReportWriter *, bool)
{
    *g_null = 2;
}
}

// Starts `count` threads that wait for ever; the first of them blocks every signal when asked to.
// Plain POSIX threads: with no descriptor left, the sanitizers' type checks of std::thread fail.
void startIdleThreads(int count, bool firstBlocksSignals)
{
    static std::latch ready(count);
    static const auto idle = [](void *blocks) -> void * {
        if (blocks != nullptr) {
            sigset_t all;
            sigfillset(&all);
            pthread_sigmask(SIG_BLOCK, &all, nullptr);
        }
        ready.count_down();
        waitToBeKilled();
    };
    for (int i = 0; i < count; i++) {
        pthread_t thread;
        void *blocks = firstBlocksSignals && i == 0 ? &ready : nullptr;
        if (pthread_create(&thread, nullptr, idle, blocks) != 0) {
            std::exit(8);
        }
        pthread_detach(thread);
    }
    ready.wait();
}

// Opens descriptors until none is left, then gives `spare` of them back.
void exhaustDescriptors(int spare)
{
    std::vector<int> opened;
    for (int fd; (fd = open("/dev/null", O_RDONLY)) >= 0;) {
        opened.push_back(fd);
    }
    for (int i = 0; i < spare && !opened.empty(); i++) {
        close(opened.back());
        opened.pop_back();
    }
}

// Lets a child process send the signal once this process has said who it is.
// The signal may land while write() runs; libc keeps no frame pointer there, so the walk starts at
// this frame's return address and still finds the caller.
[[gnu::noinline]] void releaseSender(int fd)
{
    if (write(fd, "x", 1) != 1) {
        std::exit(7);
    }
}

[[noreturn, gnu::noinline]] void crashBySignalFromAnotherProcess()
{
    int go[2];
    if (pipe(go) != 0) {
        std::exit(6);
    }
    const pid_t sender = fork();
    if (sender == 0) {
        char byte;
        if (read(go[0], &byte, 1) == 1) {
            kill(getppid(), SIGSEGV);
        }
        _exit(0);
    }
    std::printf("sender=%d\n", static_cast<int>(sender));
    std::fflush(stdout);
    releaseSender(go[1]);
    waitToBeKilled();
}

// Faults while another thread keeps loading and unloading `library`, so that the image list is
// being refreshed when the crash comes.
[[gnu::noinline]] void crashWhileLoading(const char *library)
{
    static std::atomic<int> cycles{0};
    std::thread([library] {
        for (;;) {
            if (void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL)) {
                dlclose(handle);
            }
            cycles.fetch_add(1);
            cycles.notify_all();
        }
    }).detach();
    cycles.wait(0);
    crashNullWrite();
}

[[gnu::noinline]] void crashThrowInt()
{
    throw 42;
}

[[gnu::noinline]] void crashThrowRuntimeError()
{
    throw std::runtime_error("runtime failure");
}

[[gnu::noinline]] void throwLogicError()
{
    throw std::logic_error("thrown through noexcept");
}

[[gnu::noinline]] void crashThrowThroughNoexcept() noexcept
{
    throwLogicError();
}

[[gnu::noinline]] void crashTerminate()
{
    std::terminate();
}

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: crash_child <kind> <directory> [raw JSON for the user section, or the library to load]\n",
                   stderr);
        return 2;
    }
    g_rawJSON = argc > 3 ? argv[3] : nullptr;
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const char *kind = argv[1];
    const auto is = [kind](const char *name) { return strcmp(kind, name) == 0; };
    if (is("sigpipe_ignored")) {
        signal(SIGPIPE, SIG_IGN);
    }

    // A thread that exists before installation, as Qt's and GLib's do.
    std::atomic<bool> overflowNow{false};
    std::thread early;
    if (is("stack_overflow_early_thread")) {
        early = std::thread([&overflowNow] {
            overflowNow.wait(false);
            crashStackOverflow(0);
        });
    }

    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setThreadTracingEnabled(true);
    core.setUserSectionCallback(is("callback_crash") || is("abort_then_callback_crash") ? crashInCallback
                                                                                        : writeUserSection);
    const uint32_t installed = core.install(KXCrashTypeAll, QString::fromLocal8Bit(argv[2]));
    std::printf("installed=%u crashedLastLaunch=%d\n", installed, core.crashState().crashedLastLaunch ? 1 : 0);
    std::fflush(stdout);

    if (is("none")) {
        return 0;
    } else if (is("null_write") || is("callback_crash") || strncmp(kind, "raw_json", 8) == 0) {
        crashNullWrite();
    } else if (is("abort") || is("abort_then_callback_crash")) {
        crashAbort();
    } else if (is("divide_by_zero")) {
        crashDivideByZero();
    } else if (is("illegal_instruction")) {
        crashIllegalInstruction();
    } else if (is("trap")) {
        crashTrap();
    } else if (is("throw_int")) {
        crashThrowInt();
    } else if (is("throw_runtime_error")) {
        crashThrowRuntimeError();
    } else if (is("throw_through_noexcept")) {
        crashThrowThroughNoexcept();
    } else if (is("terminate")) {
        crashTerminate();
    } else if (is("stack_overflow")) {
        crashStackOverflow(0);
    } else if (is("stack_overflow_thread")) {
        std::thread worker([] { crashStackOverflow(0); });
        worker.join();
    } else if (is("two_threads")) {
        std::latch ready(2);
        g_bothReady = &ready;
        std::thread first(crashOnBothThreads);
        std::thread second(crashOnBothThreads);
        first.join();
        second.join();
    } else if (is("stack_overflow_early_thread")) {
        overflowNow.store(true);
        overflowNow.notify_all();
        early.join();
    } else if (is("descriptors_exhausted")) {
        exhaustDescriptors(0);
        crashNullWrite();
    } else if (is("one_descriptor_left")) {
        exhaustDescriptors(1);
        startIdleThreads(5, false);
        crashNullWrite();
    } else if (is("corrupt_pointers")) {
        crashWithCorruptPointers();
    } else if (is("signal_blocking_thread")) {
        startIdleThreads(20, true);
        crashNullWrite();
    } else if (is("glibc_module")) {
        crashInGlibcModule();
    } else if (is("sent_by_another_process")) {
        crashBySignalFromAnotherProcess();
    } else if (is("null_write_while_loading") && argc > 3) {
        g_rawJSON = nullptr; // the argument is the library
        crashWhileLoading(argv[3]);
    } else if (is("sigpipe_ignored")) {
        int fds[2];
        if (pipe(fds) != 0) {
            return 3;
        }
        close(fds[0]);
        const bool failed = write(fds[1], "x", 1) < 0;
        std::printf("write failed=%d\n", failed ? 1 : 0);
        return 0;
    }
    return 4;
}
