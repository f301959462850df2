#include "crashreporter/core/KXThreads.h"

#include "crashreporter/core/KXBacktrace.h"
#include "crashreporter/core/KXBinaryImages.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

using namespace kestrix;

extern "C" [[gnu::noinline]] void spinForStopTest(uint64_t *counter, const bool *running)
{
    while (__atomic_load_n(running, __ATOMIC_RELAXED)) {
        __atomic_fetch_add(counter, 1, __ATOMIC_RELAXED);
    }
}

// A genuine return address into this program, for building frame records by hand.
extern "C" [[gnu::noinline]] uintptr_t returnAddressForTest()
{
    return reinterpret_cast<uintptr_t>(__builtin_return_address(0));
}

extern "C" [[gnu::noinline]] uintptr_t callerForTest()
{
    const uintptr_t address = returnAddressForTest();
    asm volatile("" ::: "memory");
    return address;
}

namespace {

constexpr int SpinnerCount = 8;

TEST(KXThreadsTest, stopAllFreezesSpinningThreadsAndResumeRestartsThem)
{
    kximagesRefresh();
    ASSERT_TRUE(kxthreadsInstallControlSignal());
    uint64_t counter = 0;
    bool running = true;
    std::array<pid_t, SpinnerCount> spinners{};
    int started = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < SpinnerCount; i++) {
        threads.emplace_back([&, i] {
            __atomic_store_n(&spinners[i], kxthreadCurrent(), __ATOMIC_RELEASE);
            __atomic_fetch_add(&started, 1, __ATOMIC_ACQ_REL);
            spinForStopTest(&counter, &running);
        });
    }
    while (__atomic_load_n(&started, __ATOMIC_ACQUIRE) < SpinnerCount) {
        sched_yield();
    }

    EXPECT_EQ(kxthreadsStop(spinners.data(), SpinnerCount, kxthreadCurrent(), 10000), SpinnerCount);
    const uint64_t frozen = __atomic_load_n(&counter, __ATOMIC_ACQUIRE);
    for (int i = 0; i < 1000; i++) {
        sched_yield();
    }
    EXPECT_EQ(__atomic_load_n(&counter, __ATOMIC_ACQUIRE), frozen);
    for (pid_t spinner : spinners) {
        KXMachineContext context;
        ASSERT_TRUE(kxthreadsStoppedContext(spinner, &context));
        KXSymbolInfo info;
        ASSERT_TRUE(kximagesLookup(kxmcProgramCounter(&context), &info));
#if defined(__SANITIZE_THREAD__)
        // The sanitizer makes each atomic of the loop a call into its runtime, where the thread mostly
        // is when stopped; it may also be in the call's stub or still in the lambda.
        EXPECT_TRUE(info.image == kximagesMain() || std::strstr(info.image->name, "libtsan") != nullptr)
            << info.image->name;
#else
        EXPECT_STREQ(info.symbolName, "spinForStopTest");
#endif
        EXPECT_NE(kxthreadRunState(spinner), KXThreadRunStateUnknown);
    }

    kxthreadsResume();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (__atomic_load_n(&counter, __ATOMIC_ACQUIRE) == frozen && std::chrono::steady_clock::now() < limit) {
        sched_yield();
    }
    EXPECT_GT(__atomic_load_n(&counter, __ATOMIC_ACQUIRE), frozen);
    __atomic_store_n(&running, false, __ATOMIC_RELAXED);
    for (std::thread &thread : threads) {
        thread.join();
    }
    KXMachineContext context;
    EXPECT_FALSE(kxthreadsStoppedContext(spinners[0], &context));
}

// A thread that blocks the stop signal is left running and, however many stops pass, holds at most
// one of them queued; once it unblocks the signal it stops again.
TEST(KXThreadsTest, aThreadBlockingTheSignalIsPassedOverWithoutSignalsPilingUp)
{
    ASSERT_TRUE(kxthreadsInstallControlSignal());
    std::atomic<pid_t> blocker{0};
    std::atomic<int> step{0}; // 1: count what is queued and unblock; 2: done
    std::atomic<int> queued{-1};
    std::thread thread([&] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, kxthreadsControlSignal());
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        blocker.store(kxthreadCurrent());
        while (step.load() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const timespec now = {0, 0};
        int count = 0;
        while (sigtimedwait(&set, nullptr, &now) == kxthreadsControlSignal()) {
            count++;
        }
        queued.store(count);
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        while (step.load() == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (blocker.load() == 0) {
        std::this_thread::yield();
    }
    const pid_t target = blocker.load();
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(kxthreadsStop(&target, 1, kxthreadCurrent(), 10000), 0);
        kxthreadsResume();
    }
    step.store(1);
    while (queued.load() < 0) {
        std::this_thread::yield();
    }
    EXPECT_LE(queued.load(), 1);
    EXPECT_EQ(kxthreadsStop(&target, 1, kxthreadCurrent(), 10000), 1);
    kxthreadsResume();
    step.store(2);
    thread.join();
}

TEST(KXThreadsTest, listsThisThreadWithItsState)
{
    pid_t threads[KXMaxThreads];
    const int count = kxthreadsList(threads, KXMaxThreads);
    EXPECT_NE(std::find(threads, threads + count, kxthreadCurrent()), threads + count);
    EXPECT_STREQ(kxthreadRunStateName(kxthreadRunState(kxthreadCurrent())), "TH_STATE_RUNNING");
    EXPECT_EQ(kxthreadRunStateName(0), nullptr);
}

// Frame records laid out by hand in a buffer that stands for a thread's stack.
class KXBacktraceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        kximagesRefresh();
        m_return = callerForTest();
        ASSERT_TRUE(kximagesIsReturnAddress(m_return));
    }

    KXMachineContext contextAt(uintptr_t *frame)
    {
        KXMachineContext context{};
        context.registers[16] = m_return;                                   // rip
        context.registers[7] = reinterpret_cast<uintptr_t>(m_stack.data()); // rsp
        context.registers[6] = reinterpret_cast<uintptr_t>(frame);          // rbp
        return context;
    }

    KXStackBounds bounds() const
    {
        return {reinterpret_cast<uintptr_t>(m_stack.data()),
                reinterpret_cast<uintptr_t>(m_stack.data() + m_stack.size())};
    }

    alignas(16) std::array<uintptr_t, 16> m_stack{};
    uintptr_t m_return = 0;
};

TEST_F(KXBacktraceTest, followsRisingRecordsInsideTheStack)
{
    m_stack[2] = reinterpret_cast<uintptr_t>(&m_stack[6]);
    m_stack[3] = m_return;
    m_stack[6] = reinterpret_cast<uintptr_t>(&m_stack[10]);
    m_stack[7] = m_return;
    m_stack[10] = 0;
    m_stack[11] = m_return;
    const KXMachineContext context = contextAt(&m_stack[2]);
    uintptr_t addresses[8];
    int total = 0;
    EXPECT_EQ(kxbtBacktrace(&context, bounds(), addresses, 0, 8, &total), 4);
    EXPECT_EQ(total, 4);
    EXPECT_EQ(kxbtBacktrace(&context, bounds(), addresses, 3, 8, nullptr), 1);
}

TEST_F(KXBacktraceTest, stopsAtACycleAndAtRecordsOutsideTheStack)
{
    m_stack[2] = reinterpret_cast<uintptr_t>(&m_stack[6]);
    m_stack[3] = m_return;
    m_stack[6] = reinterpret_cast<uintptr_t>(&m_stack[2]); // points back down: a cycle
    m_stack[7] = m_return;
    const KXMachineContext cyclic = contextAt(&m_stack[2]);
    uintptr_t addresses[8];
    int total = 0;
    kxbtBacktrace(&cyclic, bounds(), addresses, 0, 8, &total);
    EXPECT_EQ(total, 3);

    m_stack[6] = reinterpret_cast<uintptr_t>(&m_stack[15]) + 0x100000; // leaves the stack
    const KXMachineContext escaping = contextAt(&m_stack[2]);
    kxbtBacktrace(&escaping, bounds(), addresses, 0, 8, &total);
    EXPECT_EQ(total, 3);
}

TEST_F(KXBacktraceTest, findsReturnAddressesAboveAnUnusableFramePointer)
{
    m_stack[1] = m_return; // a frame of code without frame records
    m_stack[2] = 12345;    // not an address
    m_stack[4] = reinterpret_cast<uintptr_t>(&m_stack[8]);
    m_stack[5] = m_return;
    m_stack[8] = reinterpret_cast<uintptr_t>(&m_stack[12]);
    m_stack[9] = m_return;
    KXMachineContext context = contextAt(nullptr);
    context.registers[6] = 0x10; // clobbered frame pointer
    uintptr_t addresses[8];
    int total = 0;
    kxbtBacktrace(&context, bounds(), addresses, 0, 8, &total);
    EXPECT_EQ(total, 4); // pc, the scanned frame, then two records
}

TEST(KXBinaryImagesTest, resolvesReturnAddressesAndMarksUnloadedImagesRemoved)
{
    kximagesRefresh();
    KXSymbolInfo info;
    ASSERT_TRUE(kximagesLookup(reinterpret_cast<uintptr_t>(&spinForStopTest) + 1, &info));
    EXPECT_STREQ(info.symbolName, "spinForStopTest");
    EXPECT_EQ(info.symbolAddress, reinterpret_cast<uintptr_t>(&spinForStopTest));
    // A library address far above 36 bits resolves in full.
    ASSERT_TRUE(kximagesLookup(reinterpret_cast<uintptr_t>(&strlen), &info));
    EXPECT_NE(info.image, kximagesMain());
    EXPECT_NE(kximagesMain(), nullptr);
    EXPECT_TRUE(kximagesMain()->isExecutable);
    EXPECT_NE(kximagesMain()->uuid, nullptr);

    void *library = dlopen(PLIMSY_TEST_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    KXBinaryImage *image = kximagesForName("libkx_test_plugin.so");
    ASSERT_NE(image, nullptr);
    const auto function = reinterpret_cast<uintptr_t>(dlsym(library, "pluginFunctionForTest"));
    // Found by the whole table or by the sorted one, whichever is there; then surely by the sorted one.
    for (const bool sorted : {false, true}) {
        if (sorted) {
            kximagesWaitForIndex();
            ASSERT_NE(image->functionsByAddress.load(), nullptr);
        }
        ASSERT_TRUE(kximagesLookup(function, &info));
        EXPECT_EQ(info.image, image);
        EXPECT_STREQ(info.symbolName, "pluginFunctionForTest");
    }
    dlclose(library);
    EXPECT_TRUE(image->removed.load());
    EXPECT_EQ(kximagesForAddress(function), nullptr);
}

} // namespace
