#pragma once

#include <cstdio>
#include <cstring>

namespace plimsy::bench {

// One "Name: <n> kB" line of this process's status, in KiB; -1 when it is not there.
inline long statusKilobytes(const char *field)
{
    long value = -1;
    const std::size_t length = std::strlen(field);
    if (std::FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, field, length) == 0) {
                std::sscanf(line + length, "%ld", &value);
                break;
            }
        }
        std::fclose(status);
    }
    return value;
}

// This process's own peak resident set in KiB ("VmHWM"). Not getrusage's ru_maxrss: Linux carries that
// across fork and exec, so a probe would report the larger memory of the driver that started it.
inline long peakResidentKilobytes()
{
    return statusKilobytes("VmHWM:");
}

// This process's resident set now, in KiB.
inline long residentKilobytes()
{
    return statusKilobytes("VmRSS:");
}

} // namespace plimsy::bench
