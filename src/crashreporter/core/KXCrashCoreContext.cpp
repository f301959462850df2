#include "crashreporter/core/KXCrashCoreContext.h"

namespace kestrix {

KXCrashCoreContext *kxcoreContext()
{
    static KXCrashCoreContext context = {};
    return &context;
}

void kxcoreOnCrash(KXCrashCoreContext *context)
{
    if (context->sentry.crashedDuringCrashHandling) {
        kxreportFinishInterruptedStandard();
    }
    kxstateNotifyCrash(&context->state);
    if (context->sentry.crashedDuringCrashHandling) {
        kxreportWriteMinimal(context, context->recrashReportPath);
    } else {
        kxreportWriteStandard(context, context->crashReportPath);
    }
}

} // namespace kestrix
