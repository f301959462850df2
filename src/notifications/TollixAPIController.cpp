#include "notifications/TollixAPIController.h"

#include "core/Logger.h"
#include "platform/HttpSession.h"
#include "platform/NetworkError.h"
#include "platform/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkRequest>
#include <QUrl>

namespace plimsy {

namespace {

// Everything but RFC 3986's unreserved characters, so "&", "=" and "+" in a name cannot split the query.
QString queryItem(const QString &name, const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name)) + QLatin1Char('=')
           + QString::fromLatin1(QUrl::toPercentEncoding(value));
}

} // namespace

TollixAPIController::TollixAPIController(QString baseURL, QString APIKey, HttpSession &session, UserDefaults &defaults)
    : m_baseURL(std::move(baseURL))
    , m_APIKey(std::move(APIKey))
    , m_session(session)
    , m_defaults(defaults)
{
}

QCoro::Task<std::optional<TollixAnswer>>
TollixAPIController::registerDevice(QString uuid, QString token, QString name) const
{
    const QString address = m_baseURL + QStringLiteral("device");
    const QUrl withoutQuery(address, QUrl::StrictMode);
    if (!withoutQuery.isValid() || withoutQuery.scheme().isEmpty()) {
        co_return std::nullopt;
    }
    const QString query = queryItem(QStringLiteral("uuid"), uuid) + QLatin1Char('&')
                          + queryItem(QStringLiteral("token"), token) + QLatin1Char('&')
                          + queryItem(QStringLiteral("name"), name);
    const QUrl withQuery = QUrl::fromEncoded(
        (withoutQuery.toString(QUrl::FullyEncoded) + QLatin1Char('?') + query).toUtf8(), QUrl::StrictMode);
    QNetworkRequest request(withQuery.isValid() ? withQuery : withoutQuery);
    request.setRawHeader("Authorization", "Bearer " + m_APIKey.toUtf8());
    request.setRawHeader("Content-Type", "application/json; charset=utf-8");
    request.setRawHeader("Accept", "application/json");

    HttpResponse response;
    try {
        QCoro::Task<HttpResponse> sending = m_session.send(request, QByteArrayLiteral("POST"));
        response = co_await std::move(sending);
    } catch (const NetworkError &error) {
        log(QStringLiteral("Cannot register for Pushes. Unknown status code"));
        co_return TollixAnswer{std::nullopt, std::nullopt, error.userMessage()};
    }
    if (response.statusCode >= 300 && response.statusCode <= 399 && response.hasHeader("Location")) {
        // The session does not follow it with the key; the relay registered nothing.
        const QString refused = NetworkError(NetworkError::Code::BadServerResponse, request.url()).userMessage();
        log(refused);
        co_return TollixAnswer{response.statusCode, std::nullopt, refused};
    }
    if (response.statusCode != 200) {
        co_return TollixAnswer{response.statusCode, std::nullopt, std::nullopt};
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(response.body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        log(QStringLiteral("Cannot catch device ID from server"));
        co_return TollixAnswer{response.statusCode, std::nullopt, parseError.errorString()};
    }
    const QJsonValue deviceId = document.object().value(QStringLiteral("device_id"));
    if (!document.isObject() || !deviceId.isString()) {
        co_return TollixAnswer{response.statusCode, std::nullopt, std::nullopt};
    }
    m_defaults.setValue(QStringLiteral("deviceID"), deviceId.toString());
    co_return TollixAnswer{response.statusCode, deviceId.toString(), std::nullopt};
}

} // namespace plimsy
