// A crash report file as the crash core left it, read into the event that delivery sends.
#include "FuzzTarget.h"
#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/model/KXCrashReportFixup.h"
#include "crashreporter/model/KestrixEvent.h"
#include "crashreporter/support/KXJSONSerialization.h"

using namespace kestrix;

namespace {

// The application indexes its loaded images once, when the crash reporter starts; so does this process,
// before the first input, or that one-time index would count against the input that first needed it.
const bool imagesIndexed = [] {
    kximagesRefresh();
    kximagesIndexInBackground();
    kximagesWaitForIndex();
    return true;
}();

} // namespace

void fuzzOne(const QByteArray &input)
{
    const std::optional<QJsonObject> report = KXJSONSerialization::objectFromData(input);
    if (!report) {
        return;
    }
    if (const std::optional<KestrixEvent> event = KestrixEvent::fromCoreReport(kxFixupCrashReport(*report))) {
        event->toJsonData({});
    }
}
