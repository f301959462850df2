// A program that installs the crash core and then fails in the way its first argument names.
// Its functions have external linkage (and the program exports them) so that reports name them.
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KX_CrashCore.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <latch>
#include <stdexcept>
#include <thread>

using namespace kestrix;

volatile bool g_keepGoing = true;
volatile int *volatile g_null = nullptr;
std::latch *g_bothReady = nullptr;

extern "C" {

[[gnu::noinline]] void crashNullWrite()
{
    *g_null = 1;
}

[[gnu::noinline]] void crashAbort()
{
    abort();
}

[[gnu::noinline]] void crashDivideByZero()
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

[[gnu::noinline]] void writeUserSection(const KXCrashReportWriter *writer, bool requiresAsyncSafety)
{
    writer->addStringElement(writer, "marker", "from the callback");
    writer->addBooleanElement(writer, "requiresAsyncSafety", requiresAsyncSafety);
    writer->addJSONElement(writer, "good", "{\"list\":[1,2]}");
    writer->addJSONElement(writer, "bad", "{\"list\":[1,2}");
    writer->beginObject(writer, "unclosed");
    writer->endContainer(writer);
    writer->endContainer(writer); // one too many: must not close the report's own containers
}

[[gnu::noinline]] void crashInCallback(const KXCrashReportWriter *, bool)
{
    *g_null = 2;
}
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
        std::fputs("usage: crash_child <kind> <directory>\n", stderr);
        return 2;
    }
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const char *kind = argv[1];
    const auto is = [kind](const char *name) { return strcmp(kind, name) == 0; };
    if (is("sigpipe_ignored")) {
        signal(SIGPIPE, SIG_IGN);
    }

    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setThreadTracingEnabled(true);
    core.setUserSectionCallback(is("callback_crash") ? crashInCallback : writeUserSection);
    const uint32_t installed = core.install(KXCrashTypeAll, QString::fromLocal8Bit(argv[2]));
    std::printf("installed=%u crashedLastLaunch=%d\n", installed, core.crashState().crashedLastLaunch ? 1 : 0);
    std::fflush(stdout);

    if (is("none")) {
        return 0;
    } else if (is("null_write") || is("callback_crash")) {
        crashNullWrite();
    } else if (is("abort")) {
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
