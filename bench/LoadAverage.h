#pragma once

#include <cstdlib>

namespace plimsy::bench {

// The machine's load over the last minute, printed beside every figure: a busy machine slows anchor
// and subject alike, so their ratio still holds where the times do not.
inline double loadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace plimsy::bench
