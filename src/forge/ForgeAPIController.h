#pragma once

#include "core/Account.h"
#include "forge/AnyEncodable.h"
#include "forge/ForgeAPIError.h"
#include "platform/CancellationToken.h"
#include "platform/HttpSession.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace plimsy {

class APIKeyManager;
class Clock;
class ForgeAPIRequestTracker;
class Sleeper;
class WebhookOperationsActor;

enum class HTTPMethod
{
    GET,
    POST,
    PUT,
    PATCH,
    DELETE,
};

QByteArray httpMethodText(HTTPMethod method);

// The client of the Forge API for one account. Made for one use (a refresh, an action, a window) and
// dropped afterwards; copies share the organisation cache. Operations may outlive the controller that
// started them: each holds what it needs.
//
// Every request carries the account's bearer key, is paced against the account's allowance, is traced
// in the log with the key hidden, and is retried once after HTTP 429 (any method) and once after a
// time-out or lost connection (GET only). Operations throw ForgeAPIError for HTTP statuses and missing
// keys, NetworkError for transport failures, and DecodingError for answers that do not decode.
// Coroutines resume on the thread that started them (the GUI thread).
class ForgeAPIController
{
public:
    // What the controller talks through; empty fields take the process-wide defaults. Tests pass their
    // own fake clock and sleeper, session, tracker and key store.
    struct Services
    {
        HttpSession *session = nullptr;
        ForgeAPIRequestTracker *tracker = nullptr;
        WebhookOperationsActor *webhookOperations = nullptr;
        APIKeyManager *apiKeys = nullptr;
        const Clock *clock = nullptr;
        Sleeper *sleeper = nullptr;
        std::optional<QString> baseURL;        // the Forge API root, ending in "/api/"
        std::function<QString()> computerName; // names uploaded SSH keys
    };

    // Pauses before one request never add up to more than this: a quota that never recovers must not
    // hold a refresh for ever. After it the request is sent and Forge's answer decides.
    static constexpr double maxPacingPerRequest = 120.0;

    explicit ForgeAPIController(Account account);
    ForgeAPIController(Account account, Services services);

    const Account &account() const;
    // Read once, at construction; absent makes every request fail with noAPIKeyDefined.
    const std::optional<QString> &apiKey() const;
    QString keyUsername() const;
    // The key of the account's allowance in the tracker: its uuid, or "default".
    QString rateLimitKey() const;

    // --- Request core ---------------------------------------------------------------------------
    // `path` is relative to the API root ("orgs?page%5Bsize%5D=50"), already percent-encoded.
    QCoro::Task<> requestVoid(QString path, HTTPMethod method, std::optional<AnyEncodable> body = std::nullopt);

    // Throws the ForgeAPIError of a status outside 200 to 299, after logging its line.
    static void mapHTTPStatus(int statusCode);

    // --- Helpers --------------------------------------------------------------------------------
    // The page a "links.next" URL names, as a path for the request operations; none without "/api/".
    static std::optional<QString> relativeAPIPath(const std::optional<QString> &link);
    static QString sanitizedSSHKeyName(const QString &name);
    static QString normalizedPHPVersion(const QString &version);
    // One path segment, percent-encoded so that a slug or an id can never change the path's shape.
    static QString pathSegment(const QString &value);
    // "orgs/<slug>/servers/<id>" and that + "/sites/<id>", each value encoded.
    static QString serverPath(qint64 serverId, const QString &organizationSlug);
    static QString sitePath(qint64 serverId, qint64 siteId, const QString &organizationSlug);

    // --- Actions --------------------------------------------------------------------------------
    QCoro::Task<> deploy(qint64 serverId, qint64 siteId, QString organizationSlug);

private:
    struct State;

    // Builds, paces, sends and status-checks one request; returns the successful answer.
    static QCoro::Task<HttpResponse> exchange(std::shared_ptr<State> state,
                                              QString path,
                                              HTTPMethod method,
                                              std::optional<AnyEncodable> body,
                                              QPointer<CancellationToken> cancel);
    static QCoro::Task<HttpResponse> perform(std::shared_ptr<State> state,
                                             QNetworkRequest request,
                                             QByteArray method,
                                             QByteArray body,
                                             QString path,
                                             QPointer<CancellationToken> cancel);
    static QCoro::Task<HttpResponse> send(std::shared_ptr<State> state,
                                          QNetworkRequest request,
                                          QByteArray method,
                                          QByteArray body,
                                          QString path,
                                          bool allowRetry,
                                          QPointer<CancellationToken> cancel);
    static QCoro::Task<>
    requestVoidWith(std::shared_ptr<State> state, QString path, HTTPMethod method, std::optional<AnyEncodable> body);

    std::shared_ptr<State> d;
};

} // namespace plimsy
