#pragma once

namespace kestrix {

struct KXCrashSentryContext;

// The C++ exception sentry: a terminate handler, and a __cxa_throw hook that keeps the throw
// site's backtrace so that the report shows where the exception came from.
bool kxsentryCPPExceptionInstall(KXCrashSentryContext *context);
void kxsentryCPPExceptionUninstall();

} // namespace kestrix
