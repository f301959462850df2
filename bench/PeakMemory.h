#pragma once

#include <cstdio>
#include <cstring>

namespace plimsy::bench {

// This process's own peak resident set in KiB ("VmHWM"). Not getrusage's ru_maxrss: Linux carries that
// across fork and exec, so a probe would report the larger memory of the driver that started it.
inline long peakResidentKilobytes()
{
    long peak = -1;
    if (std::FILE *status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, "VmHWM:", 6) == 0) {
                std::sscanf(line + 6, "%ld", &peak);
                break;
            }
        }
        std::fclose(status);
    }
    return peak;
}

} // namespace plimsy::bench
