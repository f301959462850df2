#pragma once

namespace kestrix {

struct KXCrashSentryContext;

// The fatal-signal sentry. Install puts handlers on every fatal signal once per process (they stay
// and only pass signals on while disabled) and gives every thread, present and future, its own
// alternate signal stack, so a stack overflow on any thread can still be reported.
bool kxsentrySignalInstall(KXCrashSentryContext *context);
void kxsentrySignalUninstall();

inline constexpr unsigned long KXAlternateStackSize = 0x20000;

} // namespace kestrix
