// A Forge answer that is not a success: its status, the allowance headers the request tracker reads and
// the body the log shows. The input is "status\nName: value\n...\n\nbody".
#include "FuzzTarget.h"
#include "core/Logger.h"
#include "forge/ForgeAPIError.h"
#include "forge/ForgeAPIRequestTracker.h"
#include "forge/ForgeTrace.h"
#include "platform/UserDefaults.h"

#include <QDateTime>

using namespace plimsy;

namespace {

HttpResponse responseOf(const QByteArray &input)
{
    HttpResponse response;
    const qsizetype headEnd = input.indexOf("\n\n");
    const QByteArray head = headEnd < 0 ? input : input.left(headEnd);
    response.body = headEnd < 0 ? QByteArray() : input.mid(headEnd + 2);
    const QList<QByteArray> lines = head.split('\n');
    response.statusCode = lines.first().trimmed().toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0) {
            response.headers.append({lines[i].left(colon), lines[i].mid(colon + 1).trimmed()});
        }
    }
    return response;
}

} // namespace

void fuzzOne(const QByteArray &input)
{
    // Bodies reach the log only while verbose logging is on.
    static const bool verbose = [] {
        UserDefaults::standard().setValue(QString(VerboseLoggingKey), true);
        return true;
    }();
    Q_UNUSED(verbose);

    const HttpResponse response = responseOf(input);
    ForgeAPIError::forHTTPStatus(response.statusCode);
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1'765'000'000, Qt::UTC);
    ForgeAPIRequestTracker tracker;
    tracker.recordResponse(response, QStringLiteral("account"), now);
    tracker.delayBeforeRequest(QStringLiteral("account"), now);
    const std::optional<QByteArray> retryAfter =
        response.hasHeader("Retry-After") ? std::optional<QByteArray>(response.header("Retry-After")) : std::nullopt;
    tracker.retryDelay(retryAfter, QStringLiteral("account"), now);
    ForgeTrace::loggableBody(response.body, QStringLiteral("orgs/tindrel/servers"), 2000);
}
