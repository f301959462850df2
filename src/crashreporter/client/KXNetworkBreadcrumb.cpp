#include "crashreporter/client/KXNetworkBreadcrumb.h"

#include <QJsonArray>
#include <QJsonObject>

namespace kestrix {

namespace {

// Query items by name: null for an item without a value, a list for a name that occurs again.
QJsonObject queryParameters(const QString &query)
{
    QJsonObject parameters;
    for (const QString &item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString name = QUrl::fromPercentEncoding(item.left(equals < 0 ? item.size() : equals).toUtf8());
        const QJsonValue value = equals < 0 ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(QUrl::fromPercentEncoding(item.mid(equals + 1).toUtf8()));
        const QJsonValue existing = parameters.value(name);
        if (existing.isUndefined()) {
            parameters.insert(name, value);
        } else if (existing.isArray()) {
            QJsonArray values = existing.toArray();
            values.append(value);
            parameters.insert(name, values);
        } else {
            parameters.insert(name, QJsonArray{existing, value});
        }
    }
    return parameters;
}

} // namespace

KestrixBreadcrumb kxNetworkRequestBreadcrumb(const KXNetworkRequestInfo &request)
{
    QJsonObject metadata{{QStringLiteral("duration"), request.durationMilliseconds},
                         {QStringLiteral("method"), request.method}};
    if (!request.url.isEmpty()) {
        metadata.insert(QStringLiteral("url"), request.url.toString(QUrl::RemoveQuery | QUrl::FullyEncoded));
        if (request.url.hasQuery()) {
            metadata.insert(QStringLiteral("urlParams"), queryParameters(request.url.query(QUrl::FullyEncoded)));
        }
    }
    if (request.bytesSent != 0) {
        metadata.insert(QStringLiteral("requestContentLength"), request.bytesSent);
    } else if (request.bodyLength) {
        metadata.insert(QStringLiteral("requestContentLength"), *request.bodyLength);
    }
    QString message = QStringLiteral("NSURLSession request error");
    if (request.statusCode) {
        metadata.insert(QStringLiteral("responseContentLength"), request.bytesReceived);
        metadata.insert(QStringLiteral("status"), *request.statusCode);
        if (*request.statusCode >= 100 && *request.statusCode < 400) {
            message = QStringLiteral("NSURLSession request succeeded");
        } else if (*request.statusCode >= 400 && *request.statusCode < 500) {
            message = QStringLiteral("NSURLSession request failed");
        }
    }
    KestrixBreadcrumb breadcrumb;
    breadcrumb.type = KestrixBreadcrumbType::Request;
    breadcrumb.message = message;
    breadcrumb.metadata = metadata;
    return breadcrumb;
}

} // namespace kestrix
