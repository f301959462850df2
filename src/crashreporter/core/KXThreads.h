#pragma once

#include "crashreporter/core/KXMachineContext.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace kestrix {

inline constexpr int KXMaxThreads = 1000;
inline constexpr uint32_t KXThreadRunStateUnknown = 0xFFFFFFFF;

pid_t kxthreadCurrent();

// The process's threads from /proc/self/task, at most `max`; async-signal-safe.
int kxthreadsList(pid_t *threads, int max);

// 1 running, 2 stopped, 3 waiting, 4 uninterruptible, 5 halted; KXThreadRunStateUnknown if unreadable.
uint32_t kxthreadRunState(pid_t thread);

// What one read of a thread's stat file tells: its name (as its comm file holds it) and run state.
struct KXThreadStat
{
    char name[64];
    uint32_t runState;
};
// False when the file cannot be read or parsed. Async-signal-safe.
bool kxthreadReadStat(pid_t thread, KXThreadStat *stat);
const char *kxthreadRunStateName(uint32_t state);

// The calling thread's name; false when it has none.
bool kxthreadCurrentName(char *buffer, size_t size);

// Installs the handler of the reserved real-time signal that stops threads. Idempotent.
bool kxthreadsInstallControlSignal();
int kxthreadsControlSignal();

// Stops every listed thread except `except` and captures its registers; waits at most about
// `timeoutMilliseconds` in all. A thread that does not answer is left running; one whose blocked
// set holds the control signal is waited for a fraction of a millisecond at most, and not signalled
// again by the next stop while it still blocks it. Returns the number stopped.
// Async-signal-safe; at most one stop is in force until kxthreadsResume().
int kxthreadsStop(const pid_t *threads, int count, pid_t except, int timeoutMilliseconds);
// The registers a stopped thread was interrupted with; false for threads that did not stop.
bool kxthreadsStoppedContext(pid_t thread, KXMachineContext *context);
// Lets the stopped threads go on; they leave their handler while the caller goes on too.
void kxthreadsResume();
// Waits until the threads of the last stop have left their handler, so that their states are their
// own again; nothing to wait for while a stop is in force.
void kxthreadsAwaitResumed();

// Gives every running thread except the caller an alternate signal stack of `size` bytes when it
// has none; not for the crash path. A thread that blocks the control signal takes its stack when
// it unblocks it, without being waited for. Returns how many threads took one meanwhile.
int kxthreadsProvideAlternateStacks(size_t size, int timeoutMilliseconds);

} // namespace kestrix
