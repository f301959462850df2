#pragma once

#include "FakeHttpServer.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace plimsy::test {

// The product's account backend, in process, on a FakeHttpServer: the API under "/v1" and the sign-in
// page "/auth/app". API calls other than the announcements need a token that the sign-in page handed
// out (or `issueToken` did); others answer 401. It keeps the devices' push registrations, so unknown
// devices answer 404. Any route can be overridden through `server()` (the newest route wins), and
// every request is recorded there. Usable from a test or a small standalone program.
class FakeAccountBackend : public QObject
{
    Q_OBJECT

public:
    struct SignedInUser
    {
        QString id = QStringLiteral("42");
        QString email = QStringLiteral("robin@example.com");
        QString name = QStringLiteral("Robin Example");
    };

    struct PushRegistration
    {
        QString token;
        bool pushEnabled = true;
    };

    explicit FakeAccountBackend(QObject *parent = nullptr);

    FakeHttpServer &server() { return m_server; }
    const FakeHttpServer &server() const { return m_server; }

    // http://127.0.0.1:<port>/v1, for PLIMSY_API_BASE.
    QString apiBase() const;
    // http://127.0.0.1:<port>, for PLIMSY_WEB_BASE.
    QString webBase() const;

    // Who the sign-in page signs in.
    void setUser(SignedInUser user) { m_user = std::move(user); }
    const SignedInUser &user() const { return m_user; }

    // From now on the sign-in page sends the browser back with this "error" instead of a token
    // ("invalid_token" for a spent link); none restores sign-ins.
    void setSignInError(std::optional<QString> error) { m_signInError = std::move(error); }

    // A new valid access token, as a completed sign-in would issue.
    QString issueToken();
    bool isValidToken(const QString &token) const { return m_tokens.contains(token); }
    // Every token issued so far answers 401 from now on.
    void revokeAllTokens() { m_tokens.clear(); }

    // The registration of a device identifier, if it has one.
    std::optional<PushRegistration> pushRegistration(const QString &deviceIdentifier) const;
    void setWebhookUrl(QString url) { m_webhookUrl = std::move(url); }
    QString webhookUrl() const;
    // What GET /v1/announcements answers with; none answers 204.
    void setAnnouncement(std::optional<QString> pageUrl) { m_announcement = std::move(pageUrl); }

private:
    // The bearer token of a request when it is one of ours.
    std::optional<QString> validToken(const RecordedRequest &request) const;
    FakeResponse signInPage(const RecordedRequest &request);
    FakeResponse logout(const RecordedRequest &request);
    FakeResponse webSession(const RecordedRequest &request);
    FakeResponse registerPush(const RecordedRequest &request);
    FakeResponse removePushToken(const RecordedRequest &request);
    FakeResponse forgeConnect(const RecordedRequest &request);
    FakeResponse announcements(const RecordedRequest &request) const;

    FakeHttpServer m_server;
    SignedInUser m_user;
    std::optional<QString> m_signInError;
    QSet<QString> m_tokens;
    int m_issued = 0;
    QHash<QString, PushRegistration> m_devices;
    std::optional<QString> m_webhookUrl;
    std::optional<QString> m_announcement;

    Q_DISABLE_COPY_MOVE(FakeAccountBackend)
};

} // namespace plimsy::test
