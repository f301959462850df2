#include "crashreporter/core/KXRunContextData.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <atomic>

namespace kestrix {

namespace {

std::atomic<KXRunContextData *> s_context{nullptr};

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

void store(uint64_t *field, uint64_t value)
{
    __atomic_store_n(field, value, __ATOMIC_RELAXED);
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
    struct sysinfo info;
    store(&context->hostMemoryFree, sysinfo(&info) == 0 ? static_cast<uint64_t>(info.freeram) * info.mem_unit : 0);
    const uint64_t footprint = residentBytes();
    store(&context->memoryFootprint, footprint);
    uint64_t limit = 0;
    uint64_t used = 0;
    if (readNumber("/sys/fs/cgroup/memory.max", &limit) && readNumber("/sys/fs/cgroup/memory.current", &used)
        && limit > used) {
        const uint64_t available = limit - used;
        store(&context->memoryAvailable, available);
        store(&context->memoryLimit, available + footprint);
    }
}

} // namespace kestrix
