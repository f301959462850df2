#pragma once

#include "crashreporter/core/KXThreads.h"

#include <signal.h>
#include <sys/types.h>

#include <cstdint>

namespace kestrix {

// The kinds of fatal failure, as a bit set.
enum KXCrashType : uint32_t
{
    KXCrashTypeMachException = 0x01,
    KXCrashTypeSignal = 0x02,
    KXCrashTypeCPPException = 0x04,
    KXCrashTypeNSException = 0x08,
};
inline constexpr uint32_t KXCrashTypeAll = 0x0F;
inline constexpr uint32_t KXCrashTypeMachAndSignal = KXCrashTypeMachException | KXCrashTypeSignal;

struct KXCrashCoreContext;
using KXCrashReportCallback = void (*)(KXCrashCoreContext *context);

// The one record a sentry fills when it catches a crash. Everything after `handlingCrash` is valid
// only while it is true.
struct KXCrashSentryContext
{
    KXCrashReportCallback reportCallback;
    void (*crashTimeDeliveryCallback)();
    bool threadTracingEnabled;
    pid_t reservedThreads[2]; // never stopped

    bool handlingCrash;
    bool requiresAsyncSafety;
    bool crashedDuringCrashHandling;
    bool registersAreValid;
    bool isStackOverflow;
    pid_t offendingThread;
    uintptr_t faultAddress;
    uint32_t crashType;
    const char *crashReason;
    const uintptr_t *stackTrace;
    int stackTraceLength;
    const pid_t *allThreads;
    uint32_t allThreadsCount;
    uint32_t threadRunStates[KXMaxThreads];
    pid_t suspendedThreads[KXMaxThreads];
    uint32_t suspendedThreadsCount;
    const char *cppExceptionName;
    const void *signalUserContext;
    const siginfo_t *signalInfo;
    // A crash during crash handling keeps the first crash's fields above, for its report names
    // that crash; where the second one happened is kept here.
    const void *recrashUserContext;
};

// Installs the sentries of `crashTypes` that exist here, in table order, and returns those
// installed. With a debugger attached nothing is installed.
// `owner` is handed to `onCrash`.
uint32_t kxsentryInstall(KXCrashSentryContext *context,
                         uint32_t crashTypes,
                         KXCrashReportCallback onCrash,
                         KXCrashCoreContext *owner);
void kxsentryUninstall(uint32_t crashTypes);
// The kinds that can be caught on this system.
uint32_t kxsentryAvailableTypes();

// Stops every other thread (bounded wait) and records the thread list and run states.
void kxsentrySuspendAllThreads();
void kxsentryResumeAllThreads();

// Returns whether the caller handles the crash of `crashedThread`; a second crash on the handling
// thread is handed back flagged as a crash during crash handling, with the first crash's fields
// kept; other threads wait until the first crash is handled and get false.
bool kxsentryBeginHandlingCrash(pid_t crashedThread);
void kxsentryEndHandlingCrash();

// Calls the report callback with its owner; for the sentries.
void kxsentryReport();

// The shared context of the installed sentries.
KXCrashSentryContext *kxsentryContext();

// Whether a debugger (a tracer) is attached to this process.
bool kxsentryIsDebuggerAttached();

} // namespace kestrix
