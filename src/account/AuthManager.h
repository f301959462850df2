#pragma once

#include "account/AuthError.h"
#include "account/AuthResponse.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <optional>
#include <variant>

namespace plimsy {

class ServiceContainer;
class UrlOpener;
class UserDefaults;

// Signs the user in through the system browser: opens the backend's sign-in page with a one-time
// state, then checks the "plimsy://auth/callback" address the page sends the browser to, stores the
// token and the user and posts "authStateChanged". At most one sign-in waits at a time. GUI thread.
class AuthManager : public QObject
{
    Q_OBJECT

public:
    using Result = std::variant<AuthResponse, AuthError>;
    using Completion = std::function<void(const Result &)>;

    static constexpr auto StateKey = "authState";
    static constexpr auto RedirectURI = "plimsy://auth/callback";

    // Works on ServiceContainer::shared(), the desktop's URL handlers and the standard defaults.
    static AuthManager &shared();

    // `webBase` gives the backend's web address (no trailing slash); empty takes the URL constants'.
    // `activate` brings the application to the front after a sign-in; empty takes the platform's.
    AuthManager(ServiceContainer &services,
                UrlOpener &urlOpener,
                UserDefaults &defaults,
                std::function<QString()> webBase = {},
                std::function<void()> activate = {},
                QObject *parent = nullptr);

    // Ends a waiting sign-in with `cancelled`, then opens the sign-in page. The completion runs once,
    // when this sign-in ends; it may run inside this call when the page's address cannot be built.
    void startLogin(Completion completion);
    // The same, but the completion is skipped when `caller` is gone by then.
    void startLogin(QObject *caller, Completion completion);

    // The browser's return to the application. Only "plimsy://auth/callback" carrying the state of the
    // sign-in started last is accepted; anything else fails the waiting sign-in and changes nothing.
    void handleCallback(const QUrl &url);
    // The callback's query parameters (the last of a repeated name wins); none for any other address.
    static std::optional<QHash<QString, QString>> callbackParameters(const QUrl &url);

    // Ends the waiting sign-in with `cancelled` and forgets its state.
    void cancelLogin();

    bool isWaiting() const { return static_cast<bool>(m_pendingCompletion); }

private:
    void finish(const Result &result);
    void fail(const AuthError &error) { finish(error); }
    std::optional<QUrl> signInURL(const QString &state) const;

    ServiceContainer &m_services;
    UrlOpener &m_urlOpener;
    UserDefaults &m_defaults;
    std::function<QString()> m_webBase;
    std::function<void()> m_activate;
    Completion m_pendingCompletion;

    Q_DISABLE_COPY_MOVE(AuthManager)
};

} // namespace plimsy
