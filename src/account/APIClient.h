#pragma once

#include "account/APIError.h"
#include "platform/CancellationToken.h"
#include "platform/HttpSession.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <concepts>
#include <functional>
#include <memory>

namespace plimsy {

class TokenStore;

// Answer records decode from one JSON object and throw DecodingError when they cannot.
template <typename T>
concept APIAnswer = requires(const QJsonObject &json)
{
    {
        T::fromJson(json, QString())
        } -> std::same_as<T>;
};

// Body records encode into one JSON object.
template <typename T>
concept APIBody = requires(const T &body)
{
    {
        body.toJson()
        } -> std::convertible_to<QJsonObject>;
};

// The one HTTP client of the product's own account backend. It adds the signed-in user's access token,
// turns HTTP statuses into APIError and decodes JSON answers; transfer failures reach the caller as the
// HTTP layer's NetworkError, unchanged. Nothing is retried or logged here. GUI thread.
class APIClient : public QObject
{
    Q_OBJECT

public:
    enum class Method
    {
        Get,
        Post,
        Put,
        Patch,
        Delete,
    };

    // A request ready to send: the network request with its headers, and the method to send it with.
    struct Request
    {
        QNetworkRequest request;
        Method method = Method::Get;

        QUrl url() const { return request.url(); }
    };

    static QByteArray methodText(Method method);

    // Uses HttpSession::shared() and the backend base of the URL constants.
    static APIClient &shared();

    // `apiBase` gives the backend's base address, ending in "/v1"; it is asked anew for every request.
    explicit APIClient(HttpSession &session, std::function<QString()> apiBase = {}, QObject *parent = nullptr);

    // Held weakly: the service container owns the store.
    void setTokenStore(std::weak_ptr<TokenStore> store);
    std::shared_ptr<TokenStore> tokenStore() const { return m_tokenStore.lock(); }

    // Runs on the GUI thread after every 401 answer, once per answer, after the request has failed.
    void setOnUnauthorized(std::function<void()> handler);

    // The backend base; a base that is not a valid http(s) address stops the process.
    QUrl apiBaseURL() const;

    // `path` has no leading slash ("auth/logout"); it is appended to the base's path with one "/".
    Request makeRequest(const QString &path, Method method) const;

    // Sends, checks the status and decodes the answer. Throws APIError, or NetworkError for transfers.
    template <APIAnswer T> QCoro::Task<T> sendRequest(Request request, QPointer<CancellationToken> cancel = {})
    {
        const QByteArray body = co_await fetch(std::move(request), std::move(cancel));
        co_return decode<T>(body);
    }

    // Encodes the body as JSON, sends it and checks the status; the answer body is ignored.
    // Throws APIError, or NetworkError for transfers.
    template <APIBody B> QCoro::Task<> sendBody(Request request, B body, QPointer<CancellationToken> cancel = {})
    {
        QByteArray encoded = QJsonDocument(body.toJson()).toJson(QJsonDocument::Compact);
        co_await send(std::move(request), std::move(encoded), std::move(cancel));
    }

    // An answer body as the record; throws APIError (decodingError) when it is not one.
    template <APIAnswer T> static T decode(const QByteArray &body)
    {
        const QJsonObject json = answerObject(body);
        try {
            return T::fromJson(json, QString());
        } catch (const std::exception &) {
            throw APIError::decodingError(ErrorCause::current());
        }
    }

    // An ISO-8601 internet date-time with or without fractional seconds; throws DecodingError at `path`.
    static QDateTime decodeDate(const QString &text, const QString &path);

private:
    QCoro::Task<QByteArray> fetch(Request request, QPointer<CancellationToken> cancel);
    QCoro::Task<> send(Request request, QByteArray body, QPointer<CancellationToken> cancel);
    QCoro::Task<HttpResponse> perform(Request request, QByteArray body, QPointer<CancellationToken> cancel);
    static void validateResponse(const HttpResponse &response, const QByteArray *body);
    static QJsonObject answerObject(const QByteArray &body);

    HttpSession &m_session;
    std::function<QString()> m_apiBase;
    std::weak_ptr<TokenStore> m_tokenStore;
    std::function<void()> m_onUnauthorized;

    Q_DISABLE_COPY_MOVE(APIClient)
};

} // namespace plimsy
