#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/core/KXCrashState.h"

#include <limits.h>

#include <cstdint>

namespace kestrix {

// Everything the crash path needs, prepared while the process is healthy.
struct KXCrashCoreContext
{
    char reportID[37];
    char processName[256];
    const char *systemInfoJSON; // never freed once set
    uint32_t crashTypes;
    KXCrashUserSectionCallback userSectionCallback;
    char reportDirectory[PATH_MAX];
    char crashReportPath[PATH_MAX];
    char recrashReportPath[PATH_MAX];
    KXCrashState state;
    KXCrashSentryContext sentry;
};

// The one context of the process.
KXCrashCoreContext *kxcoreContext();

// The report callback of the sentries: records the crash in the crash state, then writes the
// standard report, or the minimal one for a crash during crash handling.
void kxcoreOnCrash(KXCrashCoreContext *context);

} // namespace kestrix
