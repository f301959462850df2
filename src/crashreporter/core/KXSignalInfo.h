#pragma once

#include <signal.h>

namespace kestrix {

// The signals the crash core catches, in the order they are installed.
const int *kxsignalFatalSignals();
int kxsignalFatalSignalsCount();

// Names for Linux's numbering; null when a signal or code has no name.
const char *kxsignalName(int signal);
const char *kxsignalCodeName(int signal, int code);

// Whether a process sent the signal (kill, tgkill, sigqueue, raise, abort): its address field then
// holds no address.
bool kxsignalIsSent(const siginfo_t *info);
// The sending process, for the codes that name one; 0 otherwise.
pid_t kxsignalSenderPID(const siginfo_t *info);

} // namespace kestrix
