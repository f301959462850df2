#include "account/HTTPAuthService.h"

#include "account/APIClient.h"
#include "account/AuthError.h"
#include "account/DeviceInfo.h"
#include "account/JsonDecoding.h"
#include "account/QueryItems.h"
#include "account/TokenStore.h"
#include "core/DecodingError.h"
#include "core/NotificationNames.h"
#include "platform/NotificationCenter.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QJsonDocument>
#include <QTimer>

namespace plimsy {

namespace {

struct LogoutRequest
{
    QString deviceIdentifier;

    QJsonObject toJson() const { return {{QStringLiteral("device_identifier"), deviceIdentifier}}; }
};

struct WebSessionResponse
{
    QString url;

    static WebSessionResponse fromJson(const QJsonObject &json, const QString &path)
    {
        return {requiredString(json, path, "url")};
    }
};

AuthError authErrorFor(const APIError &error)
{
    switch (error.errorCase()) {
    case APIError::Case::ServerError:
        return AuthError::serverError(error.status());
    case APIError::Case::NetworkError:
        return AuthError::networkError(error.cause());
    case APIError::Case::Unauthorized:
        return AuthError::expiredToken();
    default:
        return AuthError::unknown();
    }
}

// Only web addresses go to the browser; anything else in the answer is not a session link.
std::optional<QUrl> webAddress(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"https" && url.scheme() != u"http") || url.host().isEmpty()) {
        return std::nullopt;
    }
    return url;
}

} // namespace

HTTPAuthService::HTTPAuthService(APIClient &apiClient, std::shared_ptr<TokenStore> tokenStore, UserDefaults &defaults)
    : m_apiClient(apiClient)
    , m_tokenStore(std::move(tokenStore))
    , m_defaults(defaults)
{
    m_apiClient.setTokenStore(m_tokenStore);
    // The user is restored on first use: reading the token here would hold up the launch on the keyring.
}

std::optional<User> HTTPAuthService::currentUser() const
{
    if (!m_userLookedUp && m_tokenStore->accessToken()) {
        restoreCurrentUser();
    }
    return m_currentUser;
}

bool HTTPAuthService::isAuthenticated()
{
    return m_tokenStore->accessToken().has_value();
}

bool HTTPAuthService::isSignInUnavailable() const
{
    return m_tokenStore->isUnavailable();
}

void HTTPAuthService::setCurrentUser(const User &user)
{
    m_currentUser = user;
    m_userLookedUp = true;
    persistCurrentUser();
}

void HTTPAuthService::restoreCurrentUser() const
{
    m_userLookedUp = true;
    const QVariant stored = m_defaults.object(QString::fromLatin1(CurrentUserKey));
    if (!stored.isValid()) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(stored.toByteArray());
    if (!document.isObject()) {
        return;
    }
    try {
        m_currentUser = User::fromJson(document.object());
    } catch (const DecodingError &) {
        // An unreadable user is ignored; the next sign-in overwrites it.
    }
}

void HTTPAuthService::persistCurrentUser()
{
    if (!m_currentUser) {
        m_defaults.remove(QString::fromLatin1(CurrentUserKey));
        return;
    }
    m_defaults.setValue(QString::fromLatin1(CurrentUserKey),
                        QJsonDocument(m_currentUser->toJson()).toJson(QJsonDocument::Compact));
}

QCoro::Task<bool> HTTPAuthService::logout()
{
    // The request goes out first, so the backend still receives the token it is asked to end.
    APIClient::Request request = m_apiClient.makeRequest(QStringLiteral("auth/logout"), APIClient::Method::Post);
    // Bound to a local: g++ 12 destroys braced temporaries inside co_await expressions twice.
    LogoutRequest body{hardwareUUID()};
    try {
        co_await m_apiClient.sendBody(std::move(request), std::move(body));
    } catch (...) {
        // Signing out locally does not depend on the backend's answer.
    }
    co_return clearLocalState();
}

bool HTTPAuthService::clearLocalState()
{
    // Signing out is always the user's own action: a locked keyring may ask to be unlocked, once.
    const SecretStore::UserAction action;
    const bool cleared = m_tokenStore->clear();
    m_currentUser.reset();
    m_userLookedUp = true;
    m_defaults.remove(QString::fromLatin1(CurrentUserKey));
    QTimer::singleShot(0, &NotificationCenter::defaultCenter(), [] {
        NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    });
    return cleared;
}

QCoro::Task<QUrl> HTTPAuthService::webSessionURL(std::optional<QString> redirect)
{
    QUrl url = m_apiClient.apiBaseURL();
    QString path = url.path();
    while (path.endsWith(u'/')) {
        path.chop(1);
    }
    url.setPath(path + QStringLiteral("/auth/web-session"));
    if (redirect) {
        setQueryItems(url, {{QStringLiteral("redirect"), *redirect}});
    }
    if (!url.isValid()) {
        throw AuthError::invalidURL();
    }

    APIClient::Request request{QNetworkRequest(url), APIClient::Method::Get};
    request.request.setRawHeader("Accept", "application/json");
    if (const std::optional<QString> token = m_tokenStore->accessToken()) {
        request.request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    }

    WebSessionResponse answer;
    try {
        answer = co_await m_apiClient.sendRequest<WebSessionResponse>(std::move(request));
    } catch (const APIError &error) {
        throw authErrorFor(error);
    }
    const std::optional<QUrl> session = webAddress(answer.url);
    if (!session) {
        throw AuthError::invalidURL();
    }
    co_return *session;
}

} // namespace plimsy
