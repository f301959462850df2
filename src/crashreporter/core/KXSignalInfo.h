#pragma once

namespace kestrix {

// The signals the crash core catches, in the order they are installed.
const int *kxsignalFatalSignals();
int kxsignalFatalSignalsCount();

// Names for Linux's numbering; null when a signal or code has no name.
const char *kxsignalName(int signal);
const char *kxsignalCodeName(int signal, int code);

} // namespace kestrix
