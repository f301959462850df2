#include "account/APIClient.h"

#include "account/TokenStore.h"
#include "core/DecodingError.h"
#include "core/URLConstants.h"

#include <QDateTime>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QTimer>

namespace plimsy {

QByteArray APIClient::methodText(Method method)
{
    switch (method) {
    case Method::Get:
        return QByteArrayLiteral("GET");
    case Method::Post:
        return QByteArrayLiteral("POST");
    case Method::Put:
        return QByteArrayLiteral("PUT");
    case Method::Patch:
        return QByteArrayLiteral("PATCH");
    case Method::Delete:
        return QByteArrayLiteral("DELETE");
    }
    return QByteArrayLiteral("GET");
}

APIClient &APIClient::shared()
{
    static APIClient *s_shared = new APIClient(HttpSession::shared());
    return *s_shared;
}

APIClient::APIClient(HttpSession &session, std::function<QString()> apiBase, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_apiBase(apiBase ? std::move(apiBase) : [] { return URLConstants::apiBase(); })
{
}

void APIClient::setTokenStore(std::weak_ptr<TokenStore> store)
{
    m_tokenStore = std::move(store);
}

void APIClient::setOnUnauthorized(std::function<void()> handler)
{
    m_onUnauthorized = std::move(handler);
}

QUrl APIClient::apiBaseURL() const
{
    const QString text = m_apiBase();
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") || url.host().isEmpty()) {
        qFatal("The account backend's base address is not a valid URL: %s", qPrintable(text));
    }
    return url;
}

APIClient::Request APIClient::makeRequest(const QString &path, Method method) const
{
    QUrl url = apiBaseURL();
    QString joined = url.path();
    if (!joined.endsWith(u'/')) {
        joined += u'/';
    }
    url.setPath(joined + path);

    Request request{QNetworkRequest(url), method};
    request.request.setRawHeader("Accept", "application/json");
    if (const std::shared_ptr<TokenStore> store = m_tokenStore.lock()) {
        if (const std::optional<QString> token = store->accessToken()) {
            request.request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
        }
    }
    return request;
}

QCoro::Task<QByteArray> APIClient::fetch(Request request, QPointer<CancellationToken> cancel)
{
    const HttpResponse response = co_await perform(std::move(request), QByteArray(), std::move(cancel));
    validateResponse(response, &response.body);
    co_return response.body;
}

QCoro::Task<> APIClient::send(Request request, QByteArray body, QPointer<CancellationToken> cancel)
{
    request.request.setRawHeader("Content-Type", "application/json");
    const HttpResponse response = co_await perform(std::move(request), std::move(body), std::move(cancel));
    validateResponse(response, nullptr);
}

QCoro::Task<HttpResponse> APIClient::perform(Request request, QByteArray body, QPointer<CancellationToken> cancel)
{
    const QByteArray method = methodText(request.method);
    HttpResponse response = co_await m_session.send(request.request, method, std::move(body), std::move(cancel));
    if (response.statusCode <= 0) {
        throw APIError::invalidResponse();
    }
    if (response.statusCode == 401) {
        // Later, on the GUI thread, and only while this client still exists; the request fails at once.
        QTimer::singleShot(0, this, [this] {
            if (m_onUnauthorized) {
                m_onUnauthorized();
            }
        });
        throw APIError::unauthorized();
    }
    co_return response;
}

void APIClient::validateResponse(const HttpResponse &response, const QByteArray *body)
{
    const int status = response.statusCode;
    if (status >= 200 && status <= 299) {
        return;
    }
    const auto payload = [body]() -> std::optional<QByteArray> {
        return body ? std::optional<QByteArray>(*body) : std::nullopt;
    };
    switch (status) {
    case 401:
        throw APIError::unauthorized();
    case 403:
        throw APIError::forbidden(payload());
    case 404:
        throw APIError::notFound();
    case 409:
        throw APIError::conflict(payload());
    case 422:
        throw APIError::validationError();
    default:
        break;
    }
    if (status >= 500 && status <= 599) {
        throw APIError::serverError(status);
    }
    throw APIError::httpError(status);
}

QJsonObject APIClient::answerObject(const QByteArray &body)
{
    try {
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
        if (body.trimmed().isEmpty()) {
            throw DecodingError(QString(), QStringLiteral("The answer is empty"));
        }
        if (parseError.error != QJsonParseError::NoError) {
            throw DecodingError(QString(),
                                QStringLiteral("The answer is not valid JSON (%1 at offset %2)")
                                    .arg(parseError.errorString())
                                    .arg(parseError.offset));
        }
        if (!document.isObject()) {
            throw DecodingError(QString(), QStringLiteral("The answer is not a JSON object"));
        }
        return document.object();
    } catch (const DecodingError &) {
        throw APIError::decodingError(ErrorCause::current());
    }
}

QDateTime APIClient::decodeDate(const QString &text, const QString &path)
{
    // Only the internet date-time form: a date, "T", a time and "Z" or a numeric offset.
    static const QRegularExpression internetDateTime(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(\\.\\d+)?(Z|[+-]\\d{2}:\\d{2})$"));
    if (internetDateTime.match(text).hasMatch()) {
        const QDateTime date = QDateTime::fromString(text, Qt::ISODateWithMs);
        if (date.isValid()) {
            return date;
        }
    }
    throw DecodingError(path, QStringLiteral("Cannot decode date: ") + text);
}

} // namespace plimsy
