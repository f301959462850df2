#include "FakeForge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <vector>

namespace plimsy::test {

namespace {

constexpr int DefaultPageSize = 30;

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

FakeResponse message(int status, const QString &text)
{
    return FakeResponse::json(compact(QJsonObject{{QStringLiteral("message"), text}}), status);
}

FakeResponse document(const QJsonValue &data, int status = 200)
{
    return FakeResponse::json(compact(QJsonObject{{QStringLiteral("data"), data}}), status);
}

QJsonObject resource(const QString &id, const QString &type, const QJsonObject &attributes)
{
    return QJsonObject{
        {QStringLiteral("id"), id}, {QStringLiteral("type"), type}, {QStringLiteral("attributes"), attributes}};
}

FakeResponse contentDocument(const QString &id, const QString &type, const QString &content)
{
    return document(resource(id, type, QJsonObject{{QStringLiteral("content"), content}}));
}

QByteArray pathOf(const RecordedRequest &request)
{
    const qsizetype query = request.rawTarget.indexOf('?');
    return query < 0 ? request.rawTarget : request.rawTarget.left(query);
}

QString queryValue(const RecordedRequest &request, const QString &key, const QString &fallback = {})
{
    for (const auto &[name, value] : request.query.queryItems(QUrl::FullyDecoded)) {
        if (name == key) {
            return value;
        }
    }
    return fallback;
}

// The request path split at its slashes, each segment decoded on its own, so that an escaped "/"
// inside a slug stays inside its segment.
std::optional<QStringList> apiSegments(const RecordedRequest &request)
{
    const QByteArray path = pathOf(request);
    if (!path.startsWith("/api/")) {
        return std::nullopt;
    }
    QStringList segments;
    for (const QByteArray &segment : path.mid(5).split('/')) {
        segments.append(QUrl::fromPercentEncoding(segment));
    }
    return segments;
}

std::optional<qint64> idOf(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (!digits.match(text).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}

// The JSON object of a write's body, or the 400/422 answer it deserves.
struct Body
{
    QJsonObject object;
    std::optional<FakeResponse> refusal;
};

Body parseBody(const RecordedRequest &request, const QStringList &required)
{
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(request.body, &error);
    if (error.error != QJsonParseError::NoError || !json.isObject()) {
        return {{}, message(400, QStringLiteral("The request body is not a JSON object."))};
    }
    QJsonObject errors;
    for (const QString &field : required) {
        if (!json.object().value(field).isString() || json.object().value(field).toString().isEmpty()) {
            errors.insert(field, QJsonArray{QStringLiteral("The %1 field is required.").arg(field)});
        }
    }
    if (!errors.isEmpty()) {
        const QJsonObject answer{{QStringLiteral("message"), QStringLiteral("The given data was invalid.")},
                                 {QStringLiteral("errors"), errors}};
        return {{}, FakeResponse::json(compact(answer), 422)};
    }
    return {json.object(), std::nullopt};
}

FakeResponse methodNotAllowed()
{
    return message(405, QStringLiteral("The method is not supported for this route."));
}

FakeResponse notFound()
{
    return message(404, QStringLiteral("Not Found"));
}

} // namespace

QString FakeForge::Site::name() const
{
    return attributes.value(QStringLiteral("name")).toString();
}

QString FakeForge::Server::name() const
{
    return attributes.value(QStringLiteral("name")).toString();
}

FakeForge::FakeForge(QObject *parent)
    : QObject(parent)
{
    m_http.routePattern("*", QRegularExpression(QStringLiteral(".*")), [this](const RecordedRequest &request) {
        return handle(request);
    });
}

FakeForge::~FakeForge() = default;

QUrl FakeForge::apiBase() const
{
    return m_http.url(QStringLiteral("/api/"));
}

qsizetype FakeForge::requestCount(const QByteArray &method, const QString &path) const
{
    return m_http.requestCount(method, path);
}

// --- Contents ------------------------------------------------------------------------------------

QString FakeForge::slugFor(const QString &name) const
{
    QString slug = name.toLower();
    slug.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
    return slug;
}

FakeForge::Organization &FakeForge::addOrganization(const QString &name, const QString &slug)
{
    m_organizations.push_back(Organization{m_nextOrganizationId++, name, slug.isEmpty() ? slugFor(name) : slug, {}});
    return m_organizations.back();
}

FakeForge::Server &
FakeForge::addServer(const QString &organizationSlug, const QString &name, std::optional<qint64> chosen)
{
    const qint64 id = chosen ? *chosen : m_nextServerId++;
    const int host = int(id % 254) + 1;
    Server server;
    server.id = id;
    server.organizationSlug = organizationSlug;
    server.attributes = QJsonObject{
        {QStringLiteral("id"), id},
        {QStringLiteral("credential_id"), 1},
        {QStringLiteral("name"), name},
        {QStringLiteral("size"), QStringLiteral("2GB")},
        {QStringLiteral("region"), QStringLiteral("eu-west")},
        {QStringLiteral("ip_address"), QStringLiteral("203.0.113.%1").arg(host)},
        {QStringLiteral("private_ip_address"), QStringLiteral("10.0.%1.%2").arg(id / 254 % 256).arg(host)},
        {QStringLiteral("php_version"), QStringLiteral("php83")},
        {QStringLiteral("php_cli_version"), QStringLiteral("php83")},
        {QStringLiteral("revoked"), false},
        {QStringLiteral("type"), QStringLiteral("app")},
        {QStringLiteral("ubuntu_version"), QStringLiteral("22.04")},
        {QStringLiteral("ssh_port"), 22},
        {QStringLiteral("provider"), QStringLiteral("custom")},
        {QStringLiteral("identifier"), QStringLiteral("srv-%1").arg(id)},
        {QStringLiteral("opcache_status"), QStringLiteral("enabled")},
        {QStringLiteral("database_type"), QStringLiteral("mysql8")},
        {QStringLiteral("db_status"), QStringLiteral("installed")},
        {QStringLiteral("redis_status"), QStringLiteral("installed")},
        {QStringLiteral("connection_status"), QStringLiteral("successful")},
        {QStringLiteral("timezone"), QStringLiteral("UTC")},
        {QStringLiteral("local_public_key"),
         QStringLiteral("ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIFake%1 worker").arg(id)},
        {QStringLiteral("is_ready"), true},
    };
    server.nginxAccessLog =
        QStringLiteral("203.0.113.9 - - [08/Dec/2026:12:00:00 +0000] \"GET / HTTP/1.1\" 200 612 \"-\" \"probe\"\n");
    server.nginxErrorLog = QStringLiteral("2026/12/08 12:00:00 [error] 812#812: *1 upstream timed out\n");
    m_serverIndex.insert(id, m_servers.size());
    m_servers.push_back(std::move(server));
    return m_servers.back();
}

FakeForge::Site &FakeForge::addSite(qint64 serverId, const QString &name, std::optional<qint64> chosen)
{
    const qint64 id = chosen ? *chosen : m_nextSiteId++;
    const QString home = QStringLiteral("/home/forge/%1").arg(name);
    Site site;
    site.id = id;
    site.serverId = serverId;
    site.deploymentScript = QStringLiteral("cd %1\ngit pull origin main\ncomposer install --no-interaction\n"
                                           "php artisan migrate --force\n")
                                .arg(home);
    site.attributes = QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("status"), QStringLiteral("installed")},
        {QStringLiteral("url"), QStringLiteral("https://%1").arg(name)},
        {QStringLiteral("user"), QStringLiteral("forge")},
        {QStringLiteral("https"), true},
        {QStringLiteral("web_directory"), home + QStringLiteral("/public")},
        {QStringLiteral("root_directory"), home},
        {QStringLiteral("aliases"), QJsonArray{QStringLiteral("www.%1").arg(name)}},
        {QStringLiteral("php_version"), QStringLiteral("php83")},
        {QStringLiteral("deployment_status"), QJsonValue::Null},
        {QStringLiteral("quick_deploy"), false},
        {QStringLiteral("isolated"), false},
        {QStringLiteral("database"), QStringLiteral("site_%1").arg(id)},
        {QStringLiteral("maintenance_mode"),
         QJsonObject{{QStringLiteral("enabled"), false}, {QStringLiteral("status"), QJsonValue::Null}}},
        {QStringLiteral("zero_downtime_deployments"), false},
        {QStringLiteral("deployment_script"), site.deploymentScript},
        {QStringLiteral("wildcards"), false},
        {QStringLiteral("app_type"), QStringLiteral("php")},
        {QStringLiteral("uses_envoyer"), false},
        {QStringLiteral("deployment_url"), m_http.url(QStringLiteral("/deploy/%1?token=fake").arg(id)).toString()},
        {QStringLiteral("healthcheck_url"), QJsonValue::Null},
        {QStringLiteral("repository"),
         QJsonObject{{QStringLiteral("provider"), QStringLiteral("github")},
                     {QStringLiteral("url"), QStringLiteral("git@example.test:team/%1.git").arg(name)},
                     {QStringLiteral("branch"), QStringLiteral("main")},
                     {QStringLiteral("status"), QStringLiteral("installed")}}},
    };
    site.environment = QStringLiteral("APP_NAME=%1\nAPP_ENV=production\nAPP_KEY=base64:fakekey%2\n"
                                      "DB_PASSWORD=secret-%2\n")
                           .arg(name)
                           .arg(id);
    site.nginxConfig =
        QStringLiteral("server {\n    listen 80;\n    server_name %1;\n    root %2/public;\n}\n").arg(name, home);
    site.applicationLog = QStringLiteral("[2026-12-08 12:00:00] production.INFO: %1 is up\n").arg(name);
    m_siteIndex.insert(id, m_sites.size());
    m_sites.push_back(std::move(site));
    return m_sites.back();
}

FakeForge::Deployment &FakeForge::addDeployment(qint64 siteId, Deployment deployment)
{
    Site *target = site(siteId);
    Q_ASSERT(target);
    if (deployment.id.isEmpty()) {
        deployment.id = QString::number(m_nextDeploymentId++);
    }
    target->deployments.prepend(std::move(deployment));
    return target->deployments.first();
}

FakeForge::Deployment &FakeForge::addDeployment(qint64 siteId)
{
    return addDeployment(siteId, Deployment());
}

FakeForge::Webhook &FakeForge::addWebhook(qint64 siteId, const QString &url)
{
    Site *target = site(siteId);
    Q_ASSERT(target);
    target->webhooks.append(Webhook{m_nextWebhookId++, url});
    return target->webhooks.last();
}

void FakeForge::buildAccount(int organizations, int servers, int sites)
{
    const qsizetype firstOrganization = qsizetype(m_organizations.size());
    for (int i = 1; i <= organizations; ++i) {
        addOrganization(QStringLiteral("Organisation %1").arg(i), QStringLiteral("org-%1").arg(i));
    }
    const qsizetype firstServer = qsizetype(m_servers.size());
    for (int i = 0; i < servers && organizations > 0; ++i) {
        const Organization &owner = m_organizations[size_t(firstOrganization + i % organizations)];
        addServer(owner.slug, QStringLiteral("server-%1").arg(i + 1, 3, 10, QLatin1Char('0')));
    }
    for (int i = 0; i < sites && servers > 0; ++i) {
        const qint64 serverId = m_servers[size_t(firstServer + i % servers)].id;
        const Site &added =
            addSite(serverId, QStringLiteral("site-%1.example.test").arg(i + 1, 4, 10, QLatin1Char('0')));
        Deployment deployment;
        deployment.commitHash = QStringLiteral("%1").arg(added.id * 7919, 12, 16, QLatin1Char('0'));
        deployment.commitAuthor = QStringLiteral("Dana Developer");
        deployment.commitMessage = QStringLiteral("Release %1").arg(i + 1);
        deployment.startedAt = QStringLiteral("2026-12-08T11:58:00.000000Z");
        deployment.endedAt = QStringLiteral("2026-12-08T11:59:10.000000Z");
        deployment.output = QStringLiteral("Deploying %1\nDone.\n").arg(added.name());
        addDeployment(added.id, deployment);
    }
}

FakeForge::Organization *FakeForge::organization(const QString &slug)
{
    for (Organization &candidate : m_organizations) {
        if (candidate.slug == slug) {
            return &candidate;
        }
    }
    return nullptr;
}

FakeForge::Server *FakeForge::server(qint64 id)
{
    const auto found = m_serverIndex.constFind(id);
    return found == m_serverIndex.constEnd() ? nullptr : &m_servers[*found];
}

FakeForge::Site *FakeForge::site(qint64 id)
{
    const auto found = m_siteIndex.constFind(id);
    return found == m_siteIndex.constEnd() ? nullptr : &m_sites[*found];
}

// --- Behaviour -----------------------------------------------------------------------------------

void FakeForge::setRateLimit(std::optional<RateLimit> rateLimit)
{
    m_rateLimit = rateLimit;
    m_windowStart = QDateTime();
    m_windowUsed = 0;
}

void FakeForge::failNext(const QByteArray &method, const QString &path, FakeResponse response, int times)
{
    m_faults.push_back(Fault{method, path, std::move(response), {}, times});
}

void FakeForge::transformNext(const QByteArray &method, const QString &path, Transform transform, int times)
{
    m_faults.push_back(Fault{method, path, std::nullopt, std::move(transform), times});
}

FakeResponse FakeForge::errorResponse(int status) const
{
    switch (status) {
    case 302:
        return FakeResponse::html("<html><body>Redirecting to the sign-in page</body></html>", 302)
            .withHeader("Location", m_http.url(QStringLiteral("/login")).toEncoded());
    case 400:
        return message(400, QStringLiteral("Bad Request"));
    case 401:
        return message(401, QStringLiteral("Unauthenticated."));
    case 403:
        return message(403, QStringLiteral("This action is unauthorized."));
    case 404:
        return notFound();
    case 422:
        return FakeResponse::json(
            R"({"message":"The given data was invalid.","errors":{"name":["The name field is required."]}})", 422);
    case 429:
        return message(429, QStringLiteral("Too Many Attempts."));
    case 502:
    case 503:
    case 504:
        return htmlErrorPage(status);
    default:
        return message(status, status >= 500 ? QStringLiteral("Server Error") : QStringLiteral("Error"));
    }
}

FakeResponse FakeForge::htmlErrorPage(int status)
{
    const QByteArray code = QByteArray::number(status);
    return FakeResponse::html("<!DOCTYPE html>\n<html><head><title>" + code + "</title></head><body><center><h1>" + code
                                  + " Error</h1></center><hr><center>proxy</center></body></html>\n",
                              status);
}

FakeResponse FakeForge::malformedJson()
{
    return FakeResponse::json(R"({"data": [{"id": "1", "type": "servers", "attributes": {"name": "half)");
}

FakeResponse FakeForge::handle(const RecordedRequest &request)
{
    std::optional<FakeResponse> response;
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if ((it->method == "*" || it->method == request.method) && it->path == request.path) {
            Fault fault = *it;
            if (--it->remaining <= 0) {
                m_faults.erase(it);
            }
            if (fault.response) {
                response = *fault.response;
            } else {
                const auto segments = apiSegments(request);
                response = fault.transform(segments ? answer(request, *segments) : notFound());
            }
            break;
        }
    }
    if (!response) {
        const auto segments = apiSegments(request);
        response = segments ? answer(request, *segments) : notFound();
    }
    if (response->delay.count() == 0) {
        response->delay = m_latency;
    }
    return *response;
}

namespace {

QString bearerToken(const RecordedRequest &request)
{
    const QByteArray authorization = request.header("authorization");
    return authorization.startsWith("Bearer") ? QString::fromUtf8(authorization.mid(6)).trimmed() : QString();
}

bool isVisibleTo(const FakeForge::Organization &organization, const RecordedRequest &request)
{
    return organization.keys.isEmpty() || organization.keys.contains(bearerToken(request));
}

} // namespace

std::optional<FakeResponse> FakeForge::checkKey(const RecordedRequest &request) const
{
    const QString token = bearerToken(request);
    if (!token.isEmpty() && (m_validKeys.isEmpty() || m_validKeys.contains(token))) {
        return std::nullopt;
    }
    return errorResponse(m_invalidKeyAnswer == InvalidKeyAnswer::Redirect ? 302 : 401);
}

std::optional<FakeResponse> FakeForge::checkRateLimit(HeaderList &headers)
{
    if (!m_rateLimit) {
        return std::nullopt;
    }
    const QDateTime now = m_now ? m_now() : QDateTime::currentDateTimeUtc();
    const qint64 windowMs = qint64(m_rateLimit->window.count()) * 1000;
    if (!m_windowStart.isValid() || m_windowStart.msecsTo(now) >= windowMs) {
        m_windowStart = now;
        m_windowUsed = 0;
    }
    const QDateTime reset = m_windowStart.addMSecs(windowMs);
    const bool exhausted = m_windowUsed >= m_rateLimit->limit;
    if (!exhausted) {
        ++m_windowUsed;
    }
    headers.append({"X-RateLimit-Limit", QByteArray::number(m_rateLimit->limit)});
    headers.append({"X-RateLimit-Remaining", QByteArray::number(m_rateLimit->limit - m_windowUsed)});
    headers.append(
        {"X-RateLimit-Reset", QByteArray::number(std::ceil(double(reset.toMSecsSinceEpoch()) / 1000.0), 'f', 0)});
    if (!exhausted) {
        return std::nullopt;
    }
    FakeResponse refusal = errorResponse(429);
    if (m_rateLimit->sendRetryAfter) {
        const qint64 seconds = std::max<qint64>(1, (now.msecsTo(reset) + 999) / 1000);
        refusal.withHeader("Retry-After", QByteArray::number(seconds));
    }
    return refusal;
}

FakeResponse FakeForge::answer(const RecordedRequest &request, const QStringList &segments)
{
    if (auto refusal = checkKey(request)) {
        return *refusal;
    }
    HeaderList allowance;
    if (auto refusal = checkRateLimit(allowance)) {
        refusal->headers.append(allowance);
        return *refusal;
    }
    FakeResponse response = [&]() -> FakeResponse {
        if (segments.isEmpty() || segments.first() != QLatin1String("orgs")) {
            return notFound();
        }
        if (segments.size() == 1) {
            if (request.method != "GET") {
                return methodNotAllowed();
            }
            QList<QJsonObject> resources;
            for (const Organization &org : m_organizations) {
                if (!isVisibleTo(org, request)) {
                    continue;
                }
                resources.append(resource(QString::number(org.id),
                                          QStringLiteral("organizations"),
                                          QJsonObject{{QStringLiteral("id"), org.id},
                                                      {QStringLiteral("name"), org.name},
                                                      {QStringLiteral("slug"), org.slug}}));
            }
            return page(request, resources);
        }
        const QString slug = segments[1];
        if (!organization(slug) || !isVisibleTo(*organization(slug), request) || segments.size() < 3) {
            return notFound();
        }
        if (segments.size() == 3 && segments[2] == QLatin1String("servers")) {
            if (request.method != "GET") {
                return methodNotAllowed();
            }
            QList<const Server *> listed;
            for (const Server &server : m_servers) {
                if (server.organizationSlug == slug) {
                    listed.append(&server);
                }
            }
            return page(request, listed.size(), [&](qsizetype i) { return serverJson(*listed[i]); });
        }
        if (segments.size() == 3 && segments[2] == QLatin1String("sites")) {
            if (request.method != "GET") {
                return methodNotAllowed();
            }
            // The organisation's servers first: one lookup per site instead of a server and its slug.
            std::vector<qint64> owners;
            for (const Server &server : m_servers) {
                if (server.organizationSlug == slug) {
                    owners.push_back(server.id);
                }
            }
            std::sort(owners.begin(), owners.end());
            QList<const Site *> listed;
            for (const Site &site : m_sites) {
                if (std::binary_search(owners.begin(), owners.end(), site.serverId)) {
                    listed.append(&site);
                }
            }
            const bool include = queryValue(request, QStringLiteral("include")).split(u',').contains(u"server");
            const auto serverOf = [&listed](qsizetype i) { return listed[i]->serverId; };
            return page(
                request,
                listed.size(),
                [&](qsizetype i) { return siteJson(*listed[i]); },
                include ? std::function<qint64(qsizetype)>(serverOf) : nullptr);
        }
        if (segments[2] != QLatin1String("servers") || segments.size() < 5) {
            return notFound();
        }
        const auto serverId = idOf(segments[3]);
        Server *target = serverId ? server(*serverId) : nullptr;
        if (!target || target->organizationSlug != slug) {
            return notFound();
        }
        return answerServer(request, *target, segments.mid(4));
    }();
    response.headers.append(allowance);
    return response;
}

FakeResponse FakeForge::answerServer(const RecordedRequest &request, Server &server, const QStringList &rest)
{
    const QByteArray &method = request.method;
    const QString first = rest.value(0);
    if (first == QLatin1String("sites") && rest.size() == 1) {
        if (method != "GET") {
            return methodNotAllowed();
        }
        QList<const Site *> listed;
        for (const Site &site : m_sites) {
            if (site.serverId == server.id) {
                listed.append(&site);
            }
        }
        return page(request, listed.size(), [&](qsizetype i) { return siteJson(*listed[i]); });
    }
    if (first == QLatin1String("sites")) {
        const auto siteId = idOf(rest[1]);
        Site *target = siteId ? site(*siteId) : nullptr;
        if (!target || target->serverId != server.id) {
            return notFound();
        }
        return answerSite(request, server, *target, rest.mid(2));
    }
    if (first == QLatin1String("logs") && rest.size() == 2) {
        if (method != "GET") {
            return methodNotAllowed();
        }
        if (rest[1] == QLatin1String("nginx-access")) {
            return contentDocument(rest[1], QStringLiteral("logs"), server.nginxAccessLog);
        }
        if (rest[1] == QLatin1String("nginx-error")) {
            return contentDocument(rest[1], QStringLiteral("logs"), server.nginxErrorLog);
        }
        return notFound();
    }
    if (first == QLatin1String("ssh-keys") && rest.size() == 1) {
        if (method != "POST") {
            return methodNotAllowed();
        }
        const Body body = parseBody(request, {QStringLiteral("name"), QStringLiteral("key"), QStringLiteral("user")});
        if (body.refusal) {
            return *body.refusal;
        }
        const SshKey key{m_nextSshKeyId++,
                         body.object.value(QStringLiteral("name")).toString(),
                         body.object.value(QStringLiteral("key")).toString(),
                         body.object.value(QStringLiteral("user")).toString()};
        server.sshKeys.append(key);
        return document(resource(QString::number(key.id),
                                 QStringLiteral("sshKeys"),
                                 QJsonObject{{QStringLiteral("name"), key.name}, {QStringLiteral("user"), key.user}}),
                        201);
    }
    if (first == QLatin1String("actions") && rest.size() == 1) {
        if (method != "POST") {
            return methodNotAllowed();
        }
        const Body body = parseBody(request, {QStringLiteral("action")});
        if (body.refusal) {
            return *body.refusal;
        }
        server.actions.append(body.object.value(QStringLiteral("action")).toString());
        return FakeResponse::empty(202);
    }
    if (first == QLatin1String("services") && rest.size() == 3 && rest[2] == QLatin1String("actions")) {
        static const QStringList services{
            QStringLiteral("php"), QStringLiteral("mysql"), QStringLiteral("nginx"), QStringLiteral("postgres")};
        if (!services.contains(rest[1])) {
            return notFound();
        }
        if (method != "POST") {
            return methodNotAllowed();
        }
        const bool isPHP = rest[1] == QLatin1String("php");
        const Body body = parseBody(request,
                                    isPHP ? QStringList{QStringLiteral("action"), QStringLiteral("version")}
                                          : QStringList{QStringLiteral("action")});
        if (body.refusal) {
            return *body.refusal;
        }
        QString action = rest[1] + u':' + body.object.value(QStringLiteral("action")).toString();
        if (isPHP) {
            action += u':' + body.object.value(QStringLiteral("version")).toString();
        }
        server.actions.append(action);
        return FakeResponse::empty(202);
    }
    return notFound();
}

FakeResponse FakeForge::answerSite(const RecordedRequest &request, Server &, Site &site, const QStringList &rest)
{
    const QByteArray &method = request.method;
    const QString siteId = QString::number(site.id);
    // A text of the site that can be read and, where Forge allows it, replaced with PUT.
    const auto text = [&](QString &value, const QString &type, const QString &bodyKey) -> FakeResponse {
        if (method == "GET") {
            return contentDocument(siteId, type, value);
        }
        if (method != "PUT" || bodyKey.isEmpty()) {
            return methodNotAllowed();
        }
        const Body body = parseBody(request, {});
        if (body.refusal) {
            return *body.refusal;
        }
        if (!body.object.value(bodyKey).isString()) {
            return FakeResponse::json(
                compact(QJsonObject{{QStringLiteral("message"), QStringLiteral("The given data was invalid.")},
                                    {QStringLiteral("errors"),
                                     QJsonObject{{bodyKey, QJsonArray{QStringLiteral("The field is required.")}}}}}),
                422);
        }
        value = body.object.value(bodyKey).toString();
        return FakeResponse::empty(204);
    };

    const QString first = rest.value(0);
    if (rest == QStringList{QStringLiteral("deployments")}) {
        if (method == "GET") {
            QList<QJsonObject> resources;
            for (const Deployment &deployment : site.deployments) {
                resources.append(resource(deployment.id,
                                          QStringLiteral("deployments"),
                                          QJsonObject{{QStringLiteral("status"), deployment.status},
                                                      {QStringLiteral("commitHash"), deployment.commitHash},
                                                      {QStringLiteral("commitAuthor"), deployment.commitAuthor},
                                                      {QStringLiteral("commitMessage"), deployment.commitMessage},
                                                      {QStringLiteral("startedAt"), deployment.startedAt},
                                                      {QStringLiteral("endedAt"), deployment.endedAt}}));
            }
            return page(request, resources);
        }
        if (method != "POST") {
            return methodNotAllowed();
        }
        Deployment started;
        started.status = QStringLiteral("deploying");
        started.output = QStringLiteral("Deploying %1\n").arg(site.name());
        const Deployment &added = addDeployment(site.id, started);
        return document(resource(added.id, QStringLiteral("deployments"), {{QStringLiteral("status"), added.status}}),
                        201);
    }
    if (rest == QStringList{QStringLiteral("deployments"), QStringLiteral("script")}) {
        return text(site.deploymentScript, QStringLiteral("deploymentScripts"), QStringLiteral("content"));
    }
    if (first == QLatin1String("deployments") && rest.size() == 3 && rest[2] == QLatin1String("log")) {
        if (method != "GET") {
            return methodNotAllowed();
        }
        for (const Deployment &deployment : site.deployments) {
            if (deployment.id == rest[1]) {
                return document(resource(deployment.id,
                                         QStringLiteral("deploymentOutputs"),
                                         QJsonObject{{QStringLiteral("output"), deployment.output}}));
            }
        }
        return notFound();
    }
    if (rest == QStringList{QStringLiteral("environment")}) {
        return text(site.environment, QStringLiteral("environments"), QStringLiteral("environment"));
    }
    if (rest == QStringList{QStringLiteral("nginx")}) {
        return text(site.nginxConfig, QStringLiteral("nginxConfigurations"), QStringLiteral("config"));
    }
    if (rest == QStringList{QStringLiteral("logs"), QStringLiteral("application")}) {
        return text(site.applicationLog, QStringLiteral("logs"), QString());
    }
    if (rest == QStringList{QStringLiteral("webhooks")}) {
        if (method == "GET") {
            QList<QJsonObject> resources;
            for (const Webhook &webhook : site.webhooks) {
                resources.append(resource(QString::number(webhook.id),
                                          QStringLiteral("webhooks"),
                                          QJsonObject{{QStringLiteral("url"), webhook.url}}));
            }
            return page(request, resources);
        }
        if (method != "POST") {
            return methodNotAllowed();
        }
        const Body body = parseBody(request, {QStringLiteral("url")});
        if (body.refusal) {
            return *body.refusal;
        }
        const Webhook &added = addWebhook(site.id, body.object.value(QStringLiteral("url")).toString());
        return document(resource(QString::number(added.id),
                                 QStringLiteral("webhooks"),
                                 QJsonObject{{QStringLiteral("url"), added.url}}),
                        201);
    }
    if (first == QLatin1String("webhooks") && rest.size() == 2) {
        if (method != "DELETE") {
            return methodNotAllowed();
        }
        const auto webhookId = idOf(rest[1]);
        const qsizetype removed = site.webhooks.removeIf([&](const Webhook &w) { return webhookId == w.id; });
        return removed > 0 ? FakeResponse::empty(204) : notFound();
    }
    if (rest == QStringList{QStringLiteral("commands")}) {
        if (method != "POST") {
            return methodNotAllowed();
        }
        const Body body = parseBody(request, {QStringLiteral("command")});
        if (body.refusal) {
            return *body.refusal;
        }
        site.commands.append(body.object.value(QStringLiteral("command")).toString());
        return document(resource(QString::number(site.commands.size()),
                                 QStringLiteral("commands"),
                                 QJsonObject{{QStringLiteral("command"), site.commands.last()},
                                             {QStringLiteral("status"), QStringLiteral("waiting")}}),
                        201);
    }
    return notFound();
}

FakeResponse FakeForge::page(const RecordedRequest &request, const QList<QJsonObject> &resources)
{
    return page(request, resources.size(), [&resources](qsizetype i) { return compact(resources[i]); });
}

FakeResponse FakeForge::page(const RecordedRequest &request,
                             qsizetype count,
                             const std::function<QByteArray(qsizetype)> &resourceAt,
                             const std::function<qint64(qsizetype)> &includedServerAt)
{
    const int requested = queryValue(request, QStringLiteral("page[size]")).toInt();
    const int size = std::min(requested > 0 ? requested : DefaultPageSize, m_maxPageSize);
    const int pageCount = std::max<int>(1, int((count + size - 1) / size));
    const int number = std::max(1, queryValue(request, QStringLiteral("page[number]"), QStringLiteral("1")).toInt());

    // Put together from each resource's cached text, in one buffer of the exact size: large listings
    // stay cheap to serve.
    QByteArrayList pieces;
    QList<qint64> includedServers;
    const qsizetype first = qsizetype(number - 1) * size;
    for (qsizetype i = first; i < std::min<qsizetype>(count, qsizetype(number) * size); ++i) {
        pieces.append(resourceAt(i));
        if (includedServerAt && !includedServers.contains(includedServerAt(i))) {
            includedServers.append(includedServerAt(i));
        }
    }

    // Links repeat the request's own query apart from the paging items, as absolute URLs.
    QString otherItems;
    for (const auto &[key, value] : request.query.queryItems(QUrl::FullyDecoded)) {
        if (!key.startsWith(QLatin1String("page["))) {
            otherItems +=
                QString::fromLatin1(QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value) + '&');
        }
    }
    const QString path = QString::fromLatin1(pathOf(request));
    // Built by concatenation: escapes such as "%2F" in the path would read as placeholders of arg().
    const auto link = [&](int target) -> QJsonValue {
        return m_http
            .url(path + u'?' + otherItems + QStringLiteral("page%5Bnumber%5D=") + QString::number(target)
                 + QStringLiteral("&page%5Bsize%5D=") + QString::number(size))
            .toString(QUrl::FullyEncoded);
    };
    const QJsonObject links{{QStringLiteral("first"), link(1)},
                            {QStringLiteral("last"), link(pageCount)},
                            {QStringLiteral("prev"), number > 1 ? link(number - 1) : QJsonValue::Null},
                            {QStringLiteral("next"), number < pageCount ? link(number + 1) : QJsonValue::Null}};
    QByteArrayList included;
    if (includedServerAt) {
        for (const qint64 id : std::as_const(includedServers)) {
            if (const Server *owner = server(id)) {
                included.append(serverJson(*owner));
            }
        }
    }
    const QByteArray linksJson = compact(links);
    qsizetype length = 64 + linksJson.size();
    for (const QByteArrayList *list : {&pieces, &included}) {
        for (const QByteArray &piece : *list) {
            length += piece.size() + 1;
        }
    }
    QByteArray body;
    body.reserve(length);
    const auto appendList = [&body](const QByteArrayList &list) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            body += i > 0 ? "," : "";
            body += list[i];
        }
    };
    body += "{\"data\":[";
    appendList(pieces);
    body += "],\"links\":";
    body += linksJson;
    if (includedServerAt) {
        body += ",\"included\":[";
        appendList(included);
        body += ']';
    }
    body += '}';
    return FakeResponse::json(body);
}

QByteArray FakeForge::serverJson(const Server &server) const
{
    CachedJson &cached = m_serverJson[server.id];
    if (cached.json.isEmpty() || cached.attributes != server.attributes) {
        cached = CachedJson{server.attributes, 0, compact(serverResource(server))};
    }
    return cached.json;
}

QByteArray FakeForge::siteJson(const Site &site) const
{
    CachedJson &cached = m_siteJson[site.id];
    if (cached.json.isEmpty() || cached.serverId != site.serverId || cached.attributes != site.attributes) {
        cached = CachedJson{site.attributes, site.serverId, compact(siteResource(site))};
    }
    return cached.json;
}

QJsonObject FakeForge::serverResource(const Server &server) const
{
    return resource(QString::number(server.id), QStringLiteral("servers"), server.attributes);
}

QJsonObject FakeForge::siteResource(const Site &site) const
{
    QJsonObject object = resource(QString::number(site.id), QStringLiteral("sites"), site.attributes);
    object.insert(QStringLiteral("relationships"),
                  QJsonObject{{QStringLiteral("server"),
                               QJsonObject{{QStringLiteral("data"),
                                            QJsonObject{{QStringLiteral("type"), QStringLiteral("servers")},
                                                        {QStringLiteral("id"), QString::number(site.serverId)}}}}}});
    return object;
}

} // namespace plimsy::test
