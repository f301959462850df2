#include "FuzzTarget.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

// What every target shares: a private home (logs and defaults never reach the user's), an application
// object, and the allocation budget: a reader may hold at most 64 bytes per input byte at once, plus a
// fixed allowance. The allowance covers Qt's JSON parser, which holds about 130 bytes per open array or
// object: some 134 KB for a kilobyte of "[", and never more, as it refuses nesting past 1024 levels.
namespace {

constexpr long long BytesPerInputByte = 64;
constexpr long long FixedAllowance = 256 * 1024;

struct Budget
{
    bool measuring = false;
    long long live = 0;
    long long peak = 0;
};

// Only the fuzzing thread is measured; the logger's writer thread has its own, switched-off budget.
thread_local Budget budget;

void onAllocation(const volatile void *, size_t size)
{
    if (budget.measuring) {
        budget.live += static_cast<long long>(size);
        budget.peak = std::max(budget.peak, budget.live);
    }
}

void onRelease(const volatile void *pointer)
{
    if (budget.measuring && pointer) {
        budget.live -= static_cast<long long>(__sanitizer_get_allocated_size(const_cast<const void *>(pointer)));
    }
}

void useThrowAwayHome()
{
    static QTemporaryDir home(QDir::tempPath() + QStringLiteral("/plimsy-fuzz-XXXXXX"));
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        setenv(name, QFile::encodeName(home.path()).constData(), 1);
    }
    // No log folder can be made there, so the log lines readers write about bad input cost next to nothing
    // and fill no disk over millions of inputs.
    setenv("XDG_DATA_HOME", "/dev/null/plimsy-fuzz", 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    useThrowAwayHome();
    static QCoreApplication application(*argc, *argv);
    __sanitizer_install_malloc_and_free_hooks(onAllocation, onRelease);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    budget = Budget{true, 0, 0};
    fuzzOne(input);
    budget.measuring = false;
    const long long allowed = BytesPerInputByte * static_cast<long long>(size) + FixedAllowance;
    if (budget.peak > allowed) {
        std::fprintf(stderr,
                     "==allocation budget== %lld bytes held at once for a %zu-byte input (allowed %lld)\n",
                     budget.peak,
                     size,
                     allowed);
        std::abort();
    }
    return 0;
}
