#pragma once

#include "core/Account.h"
#include "core/DecodingError.h"
#include "core/ForgeAttributes.h"
#include "core/JSONAPI.h"
#include "core/Organization.h"
#include "core/Server.h"
#include "core/Site.h"
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

// One time-out shared by the requests of one use (a refresh): once one of them has timed out, after its
// retry, the others fail at once with "timed out" instead of each waiting out a time-out of its own, so a
// stalled Forge holds a refresh for one time-out, not one per request. GUI thread only.
struct TimeOutBudget
{
    bool isSpent = false;
};

// The attribute record's name in diagnostic lines ("JSONAPIResponse<Server>").
template <typename A> inline constexpr const char *ForgeAttributeName = "Attributes";
template <> inline constexpr const char *ForgeAttributeName<Organization> = "Organization";
template <> inline constexpr const char *ForgeAttributeName<Server> = "Server";
template <> inline constexpr const char *ForgeAttributeName<Site> = "Site";
template <> inline constexpr const char *ForgeAttributeName<DeploymentAttributes> = "DeploymentAttributes";
template <> inline constexpr const char *ForgeAttributeName<DeploymentOutputAttributes> = "DeploymentOutputAttributes";
template <> inline constexpr const char *ForgeAttributeName<ContentAttributes> = "ContentAttributes";
template <> inline constexpr const char *ForgeAttributeName<Webhook> = "Webhook";

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
        std::shared_ptr<TimeOutBudget> timeOutBudget; // none: every request has its own time-out
    };

    // Pauses before one request never add up to more than this: a quota that never recovers must not
    // hold a refresh for ever. After it the request is sent and Forge's answer decides.
    static constexpr double maxPacingPerRequest = 120.0;

    explicit ForgeAPIController(Account account);
    ForgeAPIController(Account account, Services services);

    const Account &account() const;
    // Read once, at construction; absent makes every request fail with noAPIKeyDefined, or with
    // keychainUnavailable when the secret store could not be read.
    const std::optional<QString> &apiKey() const;
    QString keyUsername() const;
    // The key of the account's allowance in the tracker: its uuid, or "default".
    QString rateLimitKey() const;

    // The organisation list once fetched by this controller or a copy of it.
    std::optional<QList<Organization>> cachedOrganizations() const;

    // --- Request core ---------------------------------------------------------------------------
    // `path` is relative to the API root ("orgs?page%5Bsize%5D=50"), already percent-encoded.
    template <typename A>
    QCoro::Task<JSONAPIResponse<A>>
    request(QString path, HTTPMethod method = HTTPMethod::GET, std::optional<AnyEncodable> body = std::nullopt)
    {
        return requestDecoded<JSONAPIResponse<A>>(
            d, std::move(path), method, std::move(body), listTypeName<A>(), QPointer<CancellationToken>());
    }
    template <typename A>
    QCoro::Task<JSONAPISingleResponse<A>>
    requestSingle(QString path, HTTPMethod method = HTTPMethod::GET, std::optional<AnyEncodable> body = std::nullopt)
    {
        return requestDecoded<JSONAPISingleResponse<A>>(
            d, std::move(path), method, std::move(body), singleTypeName<A>(), QPointer<CancellationToken>());
    }
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

    // --- Listings -------------------------------------------------------------------------------
    // Page by page, 50 a page. Organisations, the servers of an organisation and the sites of a server
    // stop after 10 pages, the sites of an organisation after 200 (then incompleteResult).
    QCoro::Task<QList<Organization>> fetchOrganizations();
    // Every organisation's servers, listed in parallel; the first failure cancels the others.
    QCoro::Task<QList<Server>> fetchAllServers();
    QCoro::Task<QList<Server>> fetchServers(QString organizationSlug);
    QCoro::Task<QList<Site>> fetchSites(qint64 serverId, QString organizationSlug);
    // Throws incompleteResult when a site does not name its server.
    QCoro::Task<QList<Site>> fetchOrganizationSites(QString organizationSlug);

    // --- Site and server texts ------------------------------------------------------------------
    QCoro::Task<QList<JSONAPIResource<DeploymentAttributes>>>
    fetchDeployments(qint64 serverId, qint64 siteId, QString organizationSlug);
    // The output of the site's latest deployment; notFound when it has none.
    QCoro::Task<QString> fetchDeploymentLog(qint64 serverId, qint64 siteId, QString organizationSlug);
    QCoro::Task<QString> fetchDeploymentScript(qint64 serverId, qint64 siteId, QString organizationSlug);
    QCoro::Task<QString> fetchEnvironment(qint64 serverId, qint64 siteId, QString organizationSlug);
    QCoro::Task<QString> fetchNginxConfig(qint64 serverId, qint64 siteId, QString organizationSlug);
    QCoro::Task<QString> fetchSiteLog(qint64 serverId, qint64 siteId, QString organizationSlug);
    // `kind`: "nginx-access" or "nginx-error".
    QCoro::Task<QString> fetchServerLog(qint64 serverId, QString organizationSlug, QString kind);

    // --- Actions --------------------------------------------------------------------------------
    QCoro::Task<> deploy(qint64 serverId, qint64 siteId, QString organizationSlug);
    QCoro::Task<QList<Webhook>> fetchWebhooks(qint64 serverId, qint64 siteId, QString organizationSlug);
    // Returns the site's webhook with this URL, creating it unless it exists. Two creations for one site
    // never both post: the later one waits and looks for the earlier one's webhook.
    QCoro::Task<Webhook> createWebhook(qint64 serverId, qint64 siteId, QString organizationSlug, QString url);
    // Adds the key for the user "forge", named after this computer and the time.
    QCoro::Task<> uploadSSHKey(qint64 serverId, QString organizationSlug, QString publicKey);
    QCoro::Task<> rebootPHP(qint64 serverId, QString organizationSlug, QString phpVersion);
    QCoro::Task<> rebootServer(qint64 serverId, QString organizationSlug);
    QCoro::Task<> rebootMySQL(qint64 serverId, QString organizationSlug);
    QCoro::Task<> rebootNginx(qint64 serverId, QString organizationSlug);
    QCoro::Task<> rebootPostgres(qint64 serverId, QString organizationSlug);

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

    template <typename Response>
    static QCoro::Task<Response> requestDecoded(std::shared_ptr<State> state,
                                                QString path,
                                                HTTPMethod method,
                                                std::optional<AnyEncodable> body,
                                                QString typeName,
                                                QPointer<CancellationToken> cancel)
    {
        const HttpResponse response = co_await exchange(state, path, method, std::move(body), cancel);
        co_return decode<Response>(response.body, typeName, path);
    }

    template <typename Response>
    static Response decode(const QByteArray &data, const QString &typeName, const QString &path)
    {
        try {
            return Response::decode(data);
        } catch (const DecodingError &error) {
            reportDecodingFailure(typeName, error, data, path);
            throw;
        }
    }
    static void reportDecodingFailure(const QString &typeName,
                                      const DecodingError &error,
                                      const QByteArray &data,
                                      const QString &path);

    template <typename A> static QString listTypeName()
    {
        return QStringLiteral("JSONAPIResponse<") + QLatin1String(ForgeAttributeName<A>) + u'>';
    }
    template <typename A> static QString singleTypeName()
    {
        return QStringLiteral("JSONAPISingleResponse<") + QLatin1String(ForgeAttributeName<A>) + u'>';
    }

    // Requests the pages of one listing in turn, handing each to `onPage` until it returns false or
    // no next page is named. True when the page limit cut the listing short.
    template <typename A>
    static QCoro::Task<bool> forEachPage(std::shared_ptr<State> state,
                                         QString firstPath,
                                         int pageLimit,
                                         QPointer<CancellationToken> cancel,
                                         std::function<bool(JSONAPIResponse<A> &, int)> onPage);
    static QCoro::Task<QList<Organization>> fetchOrganizationsWith(std::shared_ptr<State> state);
    static QCoro::Task<QList<Server>> fetchAllServersWith(std::shared_ptr<State> state);
    static QCoro::Task<QList<Server>>
    fetchServersWith(std::shared_ptr<State> state, QString organizationSlug, QPointer<CancellationToken> cancel);
    struct ServerGroup;
    static QCoro::Task<>
    fetchServersInto(std::shared_ptr<State> state, QString organizationSlug, std::shared_ptr<ServerGroup> group);
    static QCoro::Task<QList<Site>>
    fetchSitesWith(std::shared_ptr<State> state, qint64 serverId, QString organizationSlug);
    static QCoro::Task<QList<Site>> fetchOrganizationSitesWith(std::shared_ptr<State> state, QString organizationSlug);
    static QCoro::Task<QString> fetchContent(std::shared_ptr<State> state, QString path);
    static QCoro::Task<QList<JSONAPIResource<DeploymentAttributes>>> fetchDeploymentsWith(std::shared_ptr<State> state,
                                                                                          QString sitePath);
    static QCoro::Task<QString> fetchDeploymentLogWith(std::shared_ptr<State> state, QString sitePath);
    static QCoro::Task<QList<Webhook>> fetchWebhooksWith(std::shared_ptr<State> state, QString sitePath);
    static QCoro::Task<Webhook>
    createWebhookWith(std::shared_ptr<State> state, QString sitePath, qint64 siteId, QString url);
    static QCoro::Task<Webhook> createWebhookBegun(std::shared_ptr<State> state, QString sitePath, QString url);
    static QCoro::Task<> rebootWith(std::shared_ptr<State> state, QString path);
    static QCoro::Task<Webhook> awaitOtherWebhookCreation(std::shared_ptr<State> state, QString sitePath, QString url);

    std::shared_ptr<State> d;
};

} // namespace plimsy
