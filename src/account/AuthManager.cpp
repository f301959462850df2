#include "account/AuthManager.h"

#include "account/AuthService.h"
#include "account/DeviceInfo.h"
#include "account/QueryItems.h"
#include "account/ServiceContainer.h"
#include "account/TokenStore.h"
#include "core/NotificationNames.h"
#include "core/URLConstants.h"
#include "platform/ApplicationActivation.h"
#include "platform/NotificationCenter.h"
#include "platform/SecretStore.h"
#include "platform/SystemInfo.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QHash>
#include <QUrlQuery>
#include <QUuid>

namespace plimsy {

AuthManager &AuthManager::shared()
{
    static AuthManager *s_shared =
        new AuthManager(ServiceContainer::shared(), UrlOpener::system(), UserDefaults::standard());
    return *s_shared;
}

AuthManager::AuthManager(ServiceContainer &services,
                         UrlOpener &urlOpener,
                         UserDefaults &defaults,
                         std::function<QString()> webBase,
                         std::function<void()> activate,
                         QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_urlOpener(urlOpener)
    , m_defaults(defaults)
    , m_webBase(webBase ? std::move(webBase) : [] { return URLConstants::webBase(); })
    , m_activate(activate ? std::move(activate) : [] { ApplicationActivation::activate(); })
{
}

void AuthManager::finish(const Result &result)
{
    // Taken out first: a completion may start the next sign-in.
    Completion completion = std::move(m_pendingCompletion);
    m_pendingCompletion = nullptr;
    if (completion) {
        completion(result);
    }
}

void AuthManager::startLogin(QObject *caller, Completion completion)
{
    QPointer<QObject> guard(caller);
    startLogin([guard, completion = std::move(completion)](const Result &result) {
        if (guard && completion) {
            completion(result);
        }
    });
}

void AuthManager::startLogin(Completion completion)
{
    if (m_pendingCompletion) {
        fail(AuthError::cancelled());
    }
    m_pendingCompletion = std::move(completion);

    const QString state = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    m_defaults.setValue(QString::fromLatin1(StateKey), state);

    const std::optional<QUrl> url = signInURL(state);
    if (!url) {
        fail(AuthError::invalidURL());
        return;
    }
    m_urlOpener.openUrl(*url);
}

std::optional<QUrl> AuthManager::signInURL(const QString &state) const
{
    QUrl url(m_webBase() + QStringLiteral("/auth/app"), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) {
        return std::nullopt;
    }
    const QString deviceName = SystemInfo::computerName();
    setQueryItems(url,
                  {{QStringLiteral("state"), state},
                   {QStringLiteral("redirect_uri"), QString::fromLatin1(RedirectURI)},
                   {QStringLiteral("device_identifier"), hardwareUUID()},
                   {QStringLiteral("device_name"), deviceName},
                   {QStringLiteral("os_version"), SystemInfo::osVersion()},
                   {QStringLiteral("app_version"), appVersion()}});
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

void AuthManager::handleCallback(const QUrl &url)
{
    // Finishing a sign-in is the user's own action: a locked keyring may ask to be unlocked, once.
    const SecretStore::UserAction action;
    const std::optional<QHash<QString, QString>> query = callbackParameters(url);
    if (!query) {
        fail(AuthError::unknown());
        return;
    }
    const QHash<QString, QString> &parameters = *query;

    // The state is single-use, whatever follows.
    const QString stateKey = QString::fromLatin1(StateKey);
    const QString storedState = m_defaults.contains(stateKey) ? m_defaults.string(stateKey) : QString();
    m_defaults.remove(stateKey);

    // Without a state of our own, the callback did not come from a sign-in this user started.
    if (storedState.isEmpty() || parameters.value(QStringLiteral("state")) != storedState) {
        fail(AuthError::stateMismatch());
        return;
    }

    if (parameters.contains(QStringLiteral("error"))) {
        fail(parameters.value(QStringLiteral("error")) == u"invalid_token" ? AuthError::invalidToken()
                                                                           : AuthError::serverError(0));
        return;
    }

    const QString accessToken = parameters.value(QStringLiteral("access_token"));
    if (accessToken.isEmpty()) {
        fail(AuthError::unknown());
        return;
    }

    const bool isStored = m_services.tokenStore().setAccessToken(accessToken);
    const User user{parameters.value(QStringLiteral("user_id")),
                    parameters.value(QStringLiteral("email")),
                    parameters.value(QStringLiteral("name"))};
    m_services.authService().setCurrentUser(user);

    finish(AuthResponse{user, accessToken, isStored});
    NotificationCenter::defaultCenter().post(NotificationNames::authStateChanged);
    m_activate();
}

std::optional<QHash<QString, QString>> AuthManager::callbackParameters(const QUrl &url)
{
    // Any page can send the browser to this address, so only the exact callback is taken.
    if (!url.isValid() || url.scheme() != u"plimsy" || url.host() != u"auth" || url.path() != u"/callback") {
        return std::nullopt;
    }
    QHash<QString, QString> parameters;
    for (const auto &[name, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        parameters.insert(name, value);
    }
    return parameters;
}

void AuthManager::cancelLogin()
{
    // The state goes first, so a sign-in that the completion starts keeps its own.
    m_defaults.remove(QString::fromLatin1(StateKey));
    fail(AuthError::cancelled());
}

} // namespace plimsy
