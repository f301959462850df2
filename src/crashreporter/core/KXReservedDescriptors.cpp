#include "crashreporter/core/KXReservedDescriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace kestrix {

namespace {

// The report, the crash state or a /proc file, and the pipe of a checked memory read can be
// open at one time.
constexpr int ReserveSize = 4;

int s_reserve[ReserveSize] = {-1, -1, -1, -1};
std::atomic<bool> s_isReserved{false};

} // namespace

bool kxfdReserve()
{
    if (s_isReserved.exchange(true)) {
        return true;
    }
    bool ok = true;
    for (int &fd : s_reserve) {
        const int opened = open("/dev/null", O_RDONLY | O_CLOEXEC);
        // Kept off the standard streams, which a process that closed them may open again.
        fd = opened >= 0 && opened <= STDERR_FILENO ? fcntl(opened, F_DUPFD_CLOEXEC, STDERR_FILENO + 1) : opened;
        if (opened >= 0 && opened != fd) {
            close(opened);
        }
        ok = ok && fd >= 0;
    }
    return ok;
}

void kxfdRelease()
{
    if (!s_isReserved.exchange(false)) {
        return;
    }
    for (int &fd : s_reserve) {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }
}

} // namespace kestrix
