// A stored event file as the uploader left it in events/, read back and made into the payload it sends.
#include "FuzzTarget.h"
#include "crashreporter/client/KXStoredReports.h"

using namespace kestrix;

void fuzzOne(const QByteArray &input)
{
    if (const std::optional<KestrixEvent> event = kxReadStoredEvent(input)) {
        event->toJsonData({});
    }
}
