#pragma once

#include "crashreporter/model/KestrixBreadcrumb.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace kestrix {

// What a finished HTTP request leaves for its breadcrumb.
struct KXNetworkRequestInfo
{
    QString method;
    QUrl url;
    qint64 bytesSent = 0;
    // The request body's length, used when nothing was counted as sent.
    std::optional<qint64> bodyLength;
    // Set when an HTTP response came back.
    std::optional<int> statusCode;
    qint64 bytesReceived = 0;
    qint64 durationMilliseconds = 0;
};

// A request breadcrumb: "duration", "method", "url" without its query, "urlParams",
// "requestContentLength", and with a response "responseContentLength" and "status".
KestrixBreadcrumb kxNetworkRequestBreadcrumb(const KXNetworkRequestInfo &request);

} // namespace kestrix
