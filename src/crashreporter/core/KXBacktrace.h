#pragma once

#include "crashreporter/core/KXMachineContext.h"

#include <cstdint>

namespace kestrix {

// Where a stack walk may read: a readable stack range.
struct KXStackBounds
{
    uintptr_t low;
    uintptr_t high;
};

// Walks a thread's stack from its registers: the program counter; then, when the frame pointer
// does not lead to a frame record (code built without frame pointers, such as libc, reuses it),
// the return addresses found above the stack pointer up to the first frame record; then the chain
// of frame records, whose pointers must rise and stay inside `bounds`. Where a return address
// leads into a function that keeps no frame record, the words up to the next record are searched
// for the return addresses of such frames. Stores the entries from
// index `skip` on, at most `max`, and returns how many it stored; `total` gets the whole length.
// Async-signal-safe; never reads outside `bounds`. Empty bounds (unknown) let it read any address,
// but only through checked reads, stopping at the first that fails.
int kxbtBacktrace(
    const KXMachineContext *context, const KXStackBounds &bounds, uintptr_t *addresses, int skip, int max, int *total);

// The same walk for the running code: `frame` is the caller's frame address
// (__builtin_frame_address(0)); the first entry is the caller's return address.
int kxbtBacktraceFromFrame(const void *frame, const KXStackBounds &bounds, uintptr_t *addresses, int max);

} // namespace kestrix
