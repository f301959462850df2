#pragma once

#include "FakeHttpServer.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

namespace plimsy::test {

// A fake Forge API for tests, benchmarks and the demo, speaking real HTTP on 127.0.0.1.
//
// It holds one account's contents (organisations, servers, sites with their deployments, texts,
// webhooks, SSH keys) and answers the Forge API under "/api/" in JSON:API envelopes, with paging
// through absolute "links.next" URLs. Writes change the contents, so a test can check what a POST
// did by reading the model back. Around the model it can script a bearer key, the three rate-limit
// headers and HTTP 429, added latency, and one-off faults (any status, stalls, dropped connections,
// malformed or truncated JSON, HTML error pages) for given requests.
//
// Free of GoogleTest: a plain Qt program can run it (see FakeForgeMain.cpp). Like FakeHttpServer it
// lives on the thread that made it, and the event loop must run for it to answer.
//
//     FakeForge forge;
//     forge.buildAccount(2, 5, 20); // 2 organisations, 5 servers, 20 sites
//     qputenv("PLIMSY_FORGE_API_BASE", forge.apiBase().toEncoded());
class FakeForge : public QObject
{
    Q_OBJECT

public:
    struct Organization
    {
        qint64 id = 0;
        QString name;
        QString slug;
        // When not empty, only requests with one of these bearer keys see the organisation, so one
        // FakeForge can hold the contents of several accounts.
        QStringList keys;
    };

    struct Deployment
    {
        QString id;
        QString status = QStringLiteral("finished");
        QString commitHash;
        QString commitAuthor;
        QString commitMessage;
        QString startedAt;
        QString endedAt;
        QString output;
    };

    struct Webhook
    {
        qint64 id = 0;
        QString url;
    };

    struct SshKey
    {
        qint64 id = 0;
        QString name;
        QString key;
        QString user;
    };

    struct Site
    {
        qint64 id = 0;
        qint64 serverId = 0;
        // Sent as the resource's attributes; "name" and the rest are filled by addSite, tests may edit.
        QJsonObject attributes;
        QList<Deployment> deployments; // newest first, as Forge lists them
        QString deploymentScript;
        QString environment;
        QString nginxConfig;
        QString applicationLog;
        QList<Webhook> webhooks;
        QStringList commands; // commands run on the site, oldest first

        QString name() const;
    };

    struct Server
    {
        qint64 id = 0;
        QString organizationSlug;
        // Sent as the resource's attributes; "id", "name" and the rest are filled by addServer.
        QJsonObject attributes;
        QString nginxAccessLog;
        QString nginxErrorLog;
        QList<SshKey> sshKeys;
        // Actions received, oldest first: "reboot" for the server, "<service>:<action>" for a service,
        // "php:reboot:php83" for PHP with its version.
        QStringList actions;

        QString name() const;
    };

    enum class InvalidKeyAnswer
    {
        Unauthorized, // 401 with a JSON message
        Redirect,     // 302 to the web sign-in page, as a browser session would get
    };

    // A fixed allowance per window, counted over all requests; exhausted, the API answers 429.
    struct RateLimit
    {
        int limit = 60;
        std::chrono::seconds window{60};
        bool sendRetryAfter = true; // a 429 carries "Retry-After" with the seconds to the reset
    };

    using Transform = std::function<FakeResponse(FakeResponse)>;

    explicit FakeForge(QObject *parent = nullptr);
    ~FakeForge() override;

    // "http://127.0.0.1:<port>/api/": what the client's Forge base URL must be set to.
    QUrl apiBase() const;
    // The server underneath: its request log, and routes that override the model (newest wins).
    FakeHttpServer &http() { return m_http; }
    const FakeHttpServer &http() const { return m_http; }

    // --- Contents --------------------------------------------------------------------------------
    // References stay valid for the life of the FakeForge. An empty slug is made from the name; an
    // empty id gets the next free number (a chosen one must be free).
    Organization &addOrganization(const QString &name, const QString &slug = {});
    Server &addServer(const QString &organizationSlug, const QString &name, std::optional<qint64> id = {});
    Site &addSite(qint64 serverId, const QString &name, std::optional<qint64> id = {});
    // Becomes the site's newest deployment; an empty id gets the next free number.
    Deployment &addDeployment(qint64 siteId, Deployment deployment);
    Deployment &addDeployment(qint64 siteId);
    Webhook &addWebhook(qint64 siteId, const QString &url);

    // One line for a whole account: `organizations` organisations ("org-1"...), `servers` servers
    // dealt round-robin over them ("server-001"...) and `sites` sites dealt round-robin over the
    // servers ("site-0001.example.test"...), each site with one finished deployment and its texts.
    void buildAccount(int organizations, int servers, int sites);

    Organization *organization(const QString &slug);
    Server *server(qint64 id);
    Site *site(qint64 id);
    const std::deque<Organization> &organizations() const { return m_organizations; }
    const std::deque<Server> &servers() const { return m_servers; }
    const std::deque<Site> &sites() const { return m_sites; }

    // --- Behaviour -------------------------------------------------------------------------------
    // Requests must carry "Authorization: Bearer <one of the keys>". With no keys set any bearer
    // token is accepted, but a request without one is still refused.
    void setValidKeys(QStringList keys) { m_validKeys = std::move(keys); }
    void setInvalidKeyAnswer(InvalidKeyAnswer answer) { m_invalidKeyAnswer = answer; }
    // Pages never hold more than this, whatever "page[size]" asks (default 200).
    void setMaxPageSize(int size) { m_maxPageSize = std::max(1, size); }
    // Without a rate limit no allowance headers are sent.
    void setRateLimit(std::optional<RateLimit> rateLimit);
    // The time that rate-limit windows run on; tests pass their fake clock's.
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    // Added before every answer of the model and of the faults.
    void setLatency(std::chrono::milliseconds latency) { m_latency = latency; }

    // The next `times` requests with this method ("*" for any) and decoded path (no query) get
    // `response` instead of their normal answer; later ones are answered normally again.
    void failNext(const QByteArray &method, const QString &path, FakeResponse response, int times = 1);
    // The same, but the fault is made from the normal answer: truncate it, delay it, add headers.
    void transformNext(const QByteArray &method, const QString &path, Transform transform, int times = 1);

    // --- Canned answers --------------------------------------------------------------------------
    // What Forge answers with this status: a JSON message for 4xx and 500, the HTML error page of
    // the proxy in front of it for 502, 503 and 504, the sign-in redirect for 302.
    FakeResponse errorResponse(int status) const;
    static FakeResponse htmlErrorPage(int status);
    static FakeResponse malformedJson();

    // Requests received by the API, in order (convenience over http().requests()).
    QList<RecordedRequest> requests() const { return m_http.requests(); }
    qsizetype requestCount(const QByteArray &method, const QString &path) const;

private:
    struct Fault
    {
        QByteArray method;
        QString path;
        std::optional<FakeResponse> response;
        Transform transform;
        int remaining = 1;
    };

    FakeResponse handle(const RecordedRequest &request);
    FakeResponse answer(const RecordedRequest &request, const QStringList &segments);
    FakeResponse answerSite(const RecordedRequest &request, Server &server, Site &site, const QStringList &rest);
    FakeResponse answerServer(const RecordedRequest &request, Server &server, const QStringList &rest);
    std::optional<FakeResponse> checkKey(const RecordedRequest &request) const;
    std::optional<FakeResponse> checkRateLimit(HeaderList &headers);
    FakeResponse page(const RecordedRequest &request, const QList<QJsonObject> &resources);
    // Serialises only the resources of the page asked for; with `includedServerAt`, adds the servers
    // they name as "included".
    FakeResponse page(const RecordedRequest &request,
                      qsizetype count,
                      const std::function<QByteArray(qsizetype)> &resourceAt,
                      const std::function<qint64(qsizetype)> &includedServerAt = nullptr);
    QByteArray serverJson(const Server &server) const;
    QByteArray siteJson(const Site &site) const;
    QJsonObject serverResource(const Server &server) const;
    QJsonObject siteResource(const Site &site) const;
    QString slugFor(const QString &name) const;

    FakeHttpServer m_http;
    std::deque<Organization> m_organizations;
    std::deque<Server> m_servers;
    std::deque<Site> m_sites;
    std::deque<Fault> m_faults;
    QHash<qint64, size_t> m_serverIndex;
    QHash<qint64, size_t> m_siteIndex;
    // Serialised resources, remade whenever a test has changed what they were made from.
    struct CachedJson
    {
        QJsonObject attributes;
        qint64 serverId = 0;
        QByteArray json;
    };
    mutable QHash<qint64, CachedJson> m_serverJson;
    mutable QHash<qint64, CachedJson> m_siteJson;
    qint64 m_nextOrganizationId = 1;
    qint64 m_nextServerId = 1001;
    qint64 m_nextSiteId = 10001;
    qint64 m_nextDeploymentId = 1;
    qint64 m_nextWebhookId = 1;
    qint64 m_nextSshKeyId = 1;

    QStringList m_validKeys;
    InvalidKeyAnswer m_invalidKeyAnswer = InvalidKeyAnswer::Unauthorized;
    int m_maxPageSize = 200;
    std::optional<RateLimit> m_rateLimit;
    QDateTime m_windowStart;
    int m_windowUsed = 0;
    std::function<QDateTime()> m_now;
    std::chrono::milliseconds m_latency{0};

    Q_DISABLE_COPY_MOVE(FakeForge)
};

} // namespace plimsy::test
