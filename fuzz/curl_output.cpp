// curl's output of a site check: its header blocks on standard output, then (after the first NUL byte)
// its error text, turned into the site's state.
#include "FuzzTarget.h"
#include "notifications/SiteMonitor.h"

using plimsy::SiteMonitor;

void fuzzOne(const QByteArray &input)
{
    const qsizetype split = input.indexOf('\0');
    const QByteArray standardOutput = split < 0 ? input : input.left(split);
    const QByteArray standardError = split < 0 ? QByteArray() : input.mid(split + 1);
    const SiteMonitor::CurlResult result = SiteMonitor::readCurlOutput(standardOutput, standardError);
    SiteMonitor::mapResult(result.statusCode, result.error);
}
