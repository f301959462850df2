#include "crashreporter/core/KXRunContextData.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <atomic>

namespace kestrix {

namespace {

std::atomic<KXRunContextData *> s_context{nullptr};

// Odd while a refresh writes the memory figures. It lives outside the mapped file, whose layout is
// fixed; only this process's readers need it.
std::atomic<uint32_t> s_memorySequence{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<KXRunContextData *>::is_always_lock_free);

// Reads the first decimal number of a small file; false when absent or not a number ("max").
bool readNumber(const char *path, uint64_t *value)
{
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[64];
    ssize_t length;
    do {
        length = read(fd, buffer, sizeof(buffer) - 1);
    } while (length < 0 && errno == EINTR);
    close(fd);
    if (length <= 0 || buffer[0] < '0' || buffer[0] > '9') {
        return false;
    }
    uint64_t result = 0;
    for (ssize_t i = 0; i < length && buffer[i] >= '0' && buffer[i] <= '9'; i++) {
        result = result * 10 + static_cast<uint64_t>(buffer[i] - '0');
    }
    *value = result;
    return true;
}

// /proc/self/statm: the second number is the resident set in pages.
uint64_t residentBytes()
{
    const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char buffer[128];
    const ssize_t length = read(fd, buffer, sizeof(buffer) - 1);
    close(fd);
    if (length <= 0) {
        return 0;
    }
    ssize_t i = 0;
    while (i < length && buffer[i] != ' ') {
        i++;
    }
    uint64_t pages = 0;
    for (i++; i < length && buffer[i] >= '0' && buffer[i] <= '9'; i++) {
        pages = pages * 10 + static_cast<uint64_t>(buffer[i] - '0');
    }
    return pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

// Release stores and acquire loads order the figures after the odd count that opens a refresh, as
// a reader that sees a figure of that refresh then sees the count odd, without fences.
void store(uint64_t *field, uint64_t value)
{
    __atomic_store_n(field, value, __ATOMIC_RELEASE);
}

uint64_t load(const uint64_t *field)
{
    return __atomic_load_n(field, __ATOMIC_ACQUIRE);
}

} // namespace

KXRunContextData *kxrunContext()
{
    return s_context.load(std::memory_order_acquire);
}

void kxrunContextSet(KXRunContextData *context)
{
    s_context.store(context, std::memory_order_release);
}

void kxrunContextRefreshMemory(KXRunContextData *context)
{
    if (context == nullptr) {
        return;
    }
    // The sources are read first, so that readers wait only for the stores.
    struct sysinfo info;
    const uint64_t hostFree = sysinfo(&info) == 0 ? static_cast<uint64_t>(info.freeram) * info.mem_unit : 0;
    const uint64_t footprint = residentBytes();
    uint64_t limit = 0;
    uint64_t used = 0;
    const bool limited = readNumber("/sys/fs/cgroup/memory.max", &limit)
                         && readNumber("/sys/fs/cgroup/memory.current", &used) && limit > used;

    uint32_t sequence = s_memorySequence.load(std::memory_order_relaxed);
    if ((sequence & 1) != 0
        || !s_memorySequence.compare_exchange_strong(sequence, sequence + 1, std::memory_order_acquire)) {
        return;
    }
    store(&context->hostMemoryFree, hostFree);
    store(&context->memoryFootprint, footprint);
    if (limited) {
        store(&context->memoryAvailable, limit - used);
        store(&context->memoryLimit, limit - used + footprint);
    }
    s_memorySequence.store(sequence + 2, std::memory_order_release);
}

KXRunMemory kxrunContextMemory(const KXRunContextData *context)
{
    KXRunMemory memory{};
    if (context == nullptr) {
        return memory;
    }
    // A refresh takes microseconds; a reader interrupting one on its own thread would wait forever.
    for (int attempt = 0; attempt < 1000; attempt++) {
        const uint32_t before = s_memorySequence.load(std::memory_order_acquire);
        memory = {load(&context->hostMemoryFree),
                  load(&context->memoryAvailable),
                  load(&context->memoryFootprint),
                  load(&context->memoryLimit)};
        if ((before & 1) == 0 && s_memorySequence.load(std::memory_order_relaxed) == before) {
            break;
        }
    }
    return memory;
}

} // namespace kestrix
