#include "crashreporter/core/KXMemory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/uio.h>
#include <unistd.h>

namespace kestrix {

namespace {

constexpr int MaxRegions = 8192;
// The kernel keeps this gap (stack_guard_gap, 256 pages) free below a growing stack.
constexpr uintptr_t MainStackGuardGap = 256 * 4096 + 65536;
// A fault this close to the stack pointer is the stack's own access (a push or a call).
constexpr uintptr_t FaultNearStackPointer = 65536;

KXMemoryRegion s_regions[MaxRegions];
int s_regionCount = 0;

bool parseHex(const char *&p, const char *end, uintptr_t *value)
{
    uintptr_t result = 0;
    const char *start = p;
    while (p < end) {
        const char c = *p;
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            break;
        }
        result = result * 16 + static_cast<uintptr_t>(digit);
        p++;
    }
    *value = result;
    return p > start;
}

// One line: "start-end perms offset dev inode [path]".
void parseLine(const char *line, const char *end)
{
    if (s_regionCount >= MaxRegions) {
        return;
    }
    const char *p = line;
    KXMemoryRegion region{};
    if (!parseHex(p, end, &region.start) || p >= end || *p++ != '-' || !parseHex(p, end, &region.end)) {
        return;
    }
    if (p + 5 > end || *p++ != ' ') {
        return;
    }
    region.readable = p[0] == 'r';
    region.writable = p[1] == 'w';
    region.executable = p[2] == 'x';
    static const char stackName[] = "[stack]";
    const int nameLength = sizeof(stackName) - 1;
    region.isMainStack = end - line >= nameLength && __builtin_memcmp(end - nameLength, stackName, nameLength) == 0;
    s_regions[s_regionCount++] = region;
}

const KXMemoryRegion *mainStack()
{
    for (int i = 0; i < s_regionCount; i++) {
        if (s_regions[i].isMainStack) {
            return &s_regions[i];
        }
    }
    return nullptr;
}

// Regions are listed in address order; the one that starts where `region` ends.
const KXMemoryRegion *regionAbove(const KXMemoryRegion *region)
{
    const KXMemoryRegion *next = region + 1;
    return next < s_regions + s_regionCount && next->start == region->end ? next : nullptr;
}

bool isStackGuard(uintptr_t address)
{
    const KXMemoryRegion *region = kxmemRegionContaining(address);
    if (region != nullptr) {
        // A thread stack's guard: an inaccessible region right below a readable-writable one.
        const KXMemoryRegion *above = regionAbove(region);
        return !region->readable && !region->writable && above != nullptr && above->readable && above->writable;
    }
    const KXMemoryRegion *stack = mainStack();
    if (stack == nullptr) {
        return false;
    }
    // The main stack grows down until its limit; what lies below its lowest page up to the gap is past it.
    uintptr_t limit = stack->start;
    struct rlimit rl;
    if (getrlimit(RLIMIT_STACK, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < stack->end) {
        const uintptr_t limitAddress = stack->end - rl.rlim_cur;
        limit = limitAddress < limit ? limitAddress : limit;
    }
    return address < stack->start && address + MainStackGuardGap >= limit;
}

// The kernel's query of one region of the map (linux/fs.h of 6.11 on; older headers lack it).
struct RegionQuery
{
    uint64_t size;
    uint64_t queryFlags;
    uint64_t queryAddress;
    uint64_t regionStart;
    uint64_t regionEnd;
    uint64_t regionFlags;
    uint64_t pageSize;
    uint64_t offset;
    uint64_t inode;
    uint32_t deviceMajor;
    uint32_t deviceMinor;
    uint32_t nameSize;
    uint32_t buildIDSize;
    uint64_t nameAddress;
    uint64_t buildIDAddress;
};
constexpr uint64_t RegionReadable = 0x01;
constexpr uint64_t RegionWritable = 0x02;
constexpr unsigned long QueryRegion = _IOWR('f', 17, RegionQuery);

} // namespace

bool kxmemCopySafely(const void *source, void *destination, size_t length)
{
    if (length == 0) {
        return true;
    }
    struct iovec local = {destination, length};
    struct iovec remote = {const_cast<void *>(source), length};
    const int savedErrno = errno;
    const ssize_t copied = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
    if (copied == static_cast<ssize_t>(length)) {
        errno = savedErrno;
        return true;
    }
    if (copied < 0 && (errno == ENOSYS || errno == EPERM)) {
        // Without process_vm_readv (seccomp), let the kernel check the range through a pipe.
        int fds[2];
        bool ok = pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0;
        if (ok) {
            const char *from = static_cast<const char *>(source);
            char *to = static_cast<char *>(destination);
            for (size_t done = 0; ok && done < length;) {
                const size_t piece = length - done < 4096 ? length - done : 4096;
                ok = write(fds[1], from + done, piece) == static_cast<ssize_t>(piece)
                     && read(fds[0], to + done, piece) == static_cast<ssize_t>(piece);
                done += piece;
            }
            close(fds[0]);
            close(fds[1]);
        }
        errno = savedErrno;
        return ok;
    }
    errno = savedErrno;
    return false;
}

bool kxmemLoadRegions()
{
    s_regionCount = 0;
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    size_t used = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer + used, sizeof(buffer) - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        used += static_cast<size_t>(n);
        size_t lineStart = 0;
        for (size_t i = 0; i < used; i++) {
            if (buffer[i] == '\n') {
                parseLine(buffer + lineStart, buffer + i);
                lineStart = i + 1;
            }
        }
        if (lineStart == 0 && used == sizeof(buffer)) {
            used = 0; // a line longer than the buffer: drop it
        } else {
            __builtin_memmove(buffer, buffer + lineStart, used - lineStart);
            used -= lineStart;
        }
    }
    if (used > 0) {
        parseLine(buffer, buffer + used);
    }
    close(fd);
    return s_regionCount > 0;
}

const KXMemoryRegion *kxmemRegionContaining(uintptr_t address)
{
    int low = 0;
    int high = s_regionCount - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        if (address < s_regions[middle].start) {
            high = middle - 1;
        } else if (address >= s_regions[middle].end) {
            low = middle + 1;
        } else {
            return &s_regions[middle];
        }
    }
    return nullptr;
}

bool kxmemIsReadableRange(uintptr_t address, size_t length)
{
    const uintptr_t end = address + length;
    if (end < address) {
        return false;
    }
    while (address < end) {
        const KXMemoryRegion *region = kxmemRegionContaining(address);
        if (region == nullptr || !region->readable) {
            return false;
        }
        address = region->end;
    }
    return true;
}

bool kxmemCopyChecked(const void *source, void *destination, size_t length)
{
    if (kxmemIsReadableRange(reinterpret_cast<uintptr_t>(source), length)) {
        __builtin_memcpy(destination, source, length);
        return true;
    }
    return kxmemCopySafely(source, destination, length);
}

bool kxmemStackBounds(uintptr_t stackPointer, uintptr_t *low, uintptr_t *high)
{
    const KXMemoryRegion *region = kxmemRegionContaining(stackPointer);
    if (region != nullptr && !(region->readable && region->writable)) {
        region = regionAbove(region); // the pointer sits in the guard
    } else if (region == nullptr) {
        const KXMemoryRegion *stack = mainStack();
        region = stack != nullptr && isStackGuard(stackPointer) ? stack : nullptr;
    }
    if (region == nullptr || !region->readable || !region->writable) {
        return false;
    }
    *low = region->start;
    *high = region->end;
    return true;
}

bool kxmemQueryStackBounds(uintptr_t stackPointer, uintptr_t *low, uintptr_t *high)
{
    const int savedErrno = errno;
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errno = savedErrno;
        return false;
    }
    RegionQuery query{};
    query.size = sizeof(query);
    query.queryFlags = RegionReadable | RegionWritable;
    query.queryAddress = stackPointer;
    const bool answered = ioctl(fd, QueryRegion, &query) == 0;
    close(fd);
    errno = savedErrno;
    // An answer that does not hold the address is not trusted either.
    if (!answered || query.regionStart > stackPointer || query.regionEnd <= stackPointer
        || (query.regionFlags & (RegionReadable | RegionWritable)) != (RegionReadable | RegionWritable)) {
        return false;
    }
    *low = static_cast<uintptr_t>(query.regionStart);
    *high = static_cast<uintptr_t>(query.regionEnd);
    return true;
}

bool kxmemIsStackOverflow(uintptr_t faultAddress, uintptr_t stackPointer)
{
    if (stackPointer != 0 && isStackGuard(stackPointer)) {
        return true;
    }
    const uintptr_t distance = faultAddress > stackPointer ? faultAddress - stackPointer : stackPointer - faultAddress;
    return faultAddress != 0 && distance <= FaultNearStackPointer && isStackGuard(faultAddress);
}

} // namespace kestrix
