#include "crashreporter/client/Kestrix.h"

#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KX_CrashCore.h"

namespace kestrix {

void Kestrix::start()
{
    // The core installs once; later calls return at once. Mach exceptions and Objective-C exceptions do not exist here.
    KX_CrashCore::sharedInstance().install(KXCrashTypeSignal | KXCrashTypeCPPException,
                                           KXFileLocations::current().crashCoreReports);
}

} // namespace kestrix
