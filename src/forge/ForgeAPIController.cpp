#include "forge/ForgeAPIController.h"

#include "core/APIKeyManager.h"
#include "core/Logger.h"
#include "core/RequestBodies.h"
#include "core/URLConstants.h"
#include "forge/ForgeAPIControllerState.h"
#include "forge/ForgeAPIRequestTracker.h"
#include "forge/ForgeNumbers.h"
#include "forge/ForgeTrace.h"
#include "forge/WebhookOperationsActor.h"
#include "platform/Clock.h"
#include "platform/NetworkError.h"
#include "platform/SystemInfo.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plimsy {

namespace {

const QString PlimsyCategory = QStringLiteral("Plimsy");
constexpr std::chrono::milliseconds ConnectionRetryPause{2000};
constexpr std::chrono::milliseconds WebhookListingPause{500};
constexpr std::chrono::milliseconds ConcurrentWebhookPause{2000};

void logTrace(const QString &text)
{
    Logger::shared().log(text, PlimsyCategory);
}

QByteArray encodeBody(const AnyEncodable &body)
{
    const QJsonValue value = snakeCaseKeys(body.encode());
    if (value.isObject()) {
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    }
    // A bare value: the document form of a one-element array, without its brackets.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : wrapped.mid(1, wrapped.size() - 2);
}

std::chrono::milliseconds toDuration(double seconds)
{
    return std::chrono::milliseconds(qint64(std::ceil(std::max(0.0, seconds) * 1000.0)));
}

QString wholeSeconds(double seconds)
{
    // Under a second, tenths (rounded up): a real pause never reads as "0s".
    if (seconds > 0 && seconds < 1) {
        return QString::number(std::ceil(seconds * 10) / 10, 'f', 1);
    }
    return QString::number(qint64(seconds));
}

void throwIfCancelled(const QPointer<CancellationToken> &cancel, const QUrl &url)
{
    if (cancel && cancel->isCancelled()) {
        throw NetworkError(NetworkError::Code::Cancelled, url);
    }
}

} // namespace

QByteArray httpMethodText(HTTPMethod method)
{
    switch (method) {
    case HTTPMethod::GET:
        return "GET";
    case HTTPMethod::POST:
        return "POST";
    case HTTPMethod::PUT:
        return "PUT";
    case HTTPMethod::PATCH:
        return "PATCH";
    case HTTPMethod::DELETE:
        return "DELETE";
    }
    return "GET";
}

ForgeAPIController::ForgeAPIController(Account account)
    : ForgeAPIController(std::move(account), Services{})
{
}

ForgeAPIController::ForgeAPIController(Account account, Services services)
    : d(std::make_shared<State>())
{
    d->session = services.session ? services.session : &HttpSession::shared();
    d->tracker = services.tracker ? services.tracker : &ForgeAPIRequestTracker::shared();
    d->webhookOperations = services.webhookOperations ? services.webhookOperations : &WebhookOperationsActor::shared();
    d->clock = services.clock ? services.clock : &Clock::system();
    d->sleeper = services.sleeper ? services.sleeper : &Sleeper::system();
    d->baseURL = services.baseURL.value_or(URLConstants::forgeAPIBase());
    d->computerName = services.computerName ? services.computerName : [] { return SystemInfo::computerName(); };
    d->timeOutBudget = std::move(services.timeOutBudget);
    APIKeyManager &keys = services.apiKeys ? *services.apiKeys : APIKeyManager::shared();
    if (account.uuid) {
        const APIKeyManager::Lookup found = keys.lookup(*account.uuid);
        if (found.status == APIKeyManager::KeyStatus::Found) {
            d->apiKey = found.key;
        }
        d->isKeyStoreUnavailable = found.status == APIKeyManager::KeyStatus::StoreUnavailable;
    }
    d->account = std::move(account);
}

const Account &ForgeAPIController::account() const
{
    return d->account;
}

const std::optional<QString> &ForgeAPIController::apiKey() const
{
    return d->apiKey;
}

QString ForgeAPIController::keyUsername() const
{
    return d->keyUsername;
}

QString ForgeAPIController::rateLimitKey() const
{
    return d->rateLimitKey();
}

std::optional<QList<Organization>> ForgeAPIController::cachedOrganizations() const
{
    return d->cachedOrganizations;
}

// --- Request core ------------------------------------------------------------------------------------

QCoro::Task<> ForgeAPIController::requestVoid(QString path, HTTPMethod method, std::optional<AnyEncodable> body)
{
    return requestVoidWith(d, std::move(path), method, std::move(body));
}

QCoro::Task<> ForgeAPIController::requestVoidWith(std::shared_ptr<State> state,
                                                  QString path,
                                                  HTTPMethod method,
                                                  std::optional<AnyEncodable> body)
{
    const HttpResponse response = co_await exchange(state, path, method, std::move(body), {});
    // Standard output gets the status only: an answer may echo what was sent, a webhook address say.
    printLine(QStringLiteral("[ForgeAPI] requestVoid: HTTP %1").arg(response.statusCode));
}

QCoro::Task<HttpResponse> ForgeAPIController::exchange(std::shared_ptr<State> state,
                                                       QString path,
                                                       HTTPMethod method,
                                                       std::optional<AnyEncodable> body,
                                                       QPointer<CancellationToken> cancel)
{
    if (!state->apiKey) {
        throw ForgeAPIError(state->isKeyStoreUnavailable ? ForgeAPIError::Case::KeychainUnavailable
                                                         : ForgeAPIError::Case::NoAPIKeyDefined);
    }
    const QUrl url(state->baseURL + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        throw ForgeAPIError(ForgeAPIError::Case::InvalidURL);
    }
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer " + state->apiKey->toUtf8());
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("Content-Type", "application/json");
    const QByteArray payload = body ? encodeBody(*body) : QByteArray();
    co_return co_await perform(state, request, httpMethodText(method), payload, path, cancel);
}

QCoro::Task<HttpResponse> ForgeAPIController::perform(std::shared_ptr<State> state,
                                                      QNetworkRequest request,
                                                      QByteArray method,
                                                      QByteArray body,
                                                      QString path,
                                                      QPointer<CancellationToken> cancel)
{
    const QString key = state->rateLimitKey();
    double paused = 0;
    for (;;) {
        double delay = state->tracker->delayBeforeRequest(key, state->clock->now());
        if (delay <= 0) {
            break;
        }
        if (paused >= maxPacingPerRequest) {
            plimsy::log(QStringLiteral("[ForgeAPI] Rate limit still low after pausing %1s, sending %2")
                            .arg(wholeSeconds(paused), path));
            break;
        }
        delay = std::min(delay, maxPacingPerRequest - paused);
        plimsy::log(QStringLiteral("[ForgeAPI] Rate limit nearly used up, pausing %1s before %2")
                        .arg(wholeSeconds(delay), path));
        co_await state->sleeper->sleep(toDuration(delay));
        throwIfCancelled(cancel, request.url());
        paused += delay;
    }

    const bool allowRetry = method == "GET";
    HttpResponse response = co_await send(state, request, method, body, path, allowRetry, cancel);
    if (response.statusCode != 429) {
        mapHTTPStatus(response.statusCode);
        co_return response;
    }

    const std::optional<QByteArray> retryAfter =
        response.hasHeader("Retry-After") ? std::optional<QByteArray>(response.header("Retry-After")) : std::nullopt;
    const double delay = state->tracker->retryDelay(retryAfter, key, state->clock->now());
    plimsy::log(QStringLiteral("[ForgeAPI] HTTP 429 for %1, retrying in %2s").arg(path, wholeSeconds(delay)));
    state->tracker->noteRefreshRetry(QStringLiteral("429"));
    co_await state->sleeper->sleep(toDuration(delay));
    throwIfCancelled(cancel, request.url());
    response = co_await send(state, request, method, body, path, allowRetry, cancel);
    mapHTTPStatus(response.statusCode);
    co_return response;
}

QCoro::Task<HttpResponse> ForgeAPIController::send(std::shared_ptr<State> state,
                                                   QNetworkRequest request,
                                                   QByteArray method,
                                                   QByteArray body,
                                                   QString path,
                                                   bool allowRetry,
                                                   QPointer<CancellationToken> cancel)
{
    const QString key = state->rateLimitKey();
    // Traced and counted only when it really goes out: a listing cancelled by a failed sibling never does.
    throwIfCancelled(cancel, request.url());
    if (state->timeOutBudget && state->timeOutBudget->isSpent) {
        throw NetworkError(
            NetworkError::Code::TimedOut, request.url(), QStringLiteral("not sent: an earlier request timed out"));
    }
    ForgeTrace::logRequest(request, method, body, path);
    state->tracker->recordRequest(key, state->clock->now());
    std::optional<NetworkError::Code> retryable;
    try {
        HttpResponse response = co_await state->session->send(request, method, body, cancel);
        if (response.statusCode <= 0) {
            logTrace(QStringLiteral("[ForgeAPI] No HTTP response received"));
            throw ForgeAPIError(ForgeAPIError::Case::NoResponse);
        }
        state->tracker->recordResponse(response, key, state->clock->now());
        ForgeTrace::logResponse(response, path);
        co_return response;
    } catch (const NetworkError &error) {
        const bool timedOut = error.code() == NetworkError::Code::TimedOut;
        const bool transient = timedOut || error.code() == NetworkError::Code::NetworkConnectionLost;
        if (!allowRetry || !transient) {
            if (timedOut && state->timeOutBudget) {
                state->timeOutBudget->isSpent = true;
            }
            throw;
        }
        retryable = error.code();
    }
    // Not inside the handler: a coroutine cannot suspend there.
    const QString what =
        *retryable == NetworkError::Code::TimedOut ? QStringLiteral("Timed out") : QStringLiteral("Connection lost");
    plimsy::log(QStringLiteral("[ForgeAPI] %1 for %2, retrying in 2s").arg(what, path));
    state->tracker->noteRefreshRetry(QStringLiteral("connection"));
    co_await state->sleeper->sleep(ConnectionRetryPause);
    throwIfCancelled(cancel, request.url());
    co_return co_await send(state, request, method, body, path, false, cancel);
}

void ForgeAPIController::mapHTTPStatus(int statusCode)
{
    if (auto mapping = ForgeAPIError::forHTTPStatus(statusCode)) {
        plimsy::log(mapping->logLine);
        throw mapping->error;
    }
}

void ForgeAPIController::reportDecodingFailure(const QString &typeName,
                                               const DecodingError &error,
                                               const QByteArray &data,
                                               const QString &path)
{
    const QString line =
        QStringLiteral("[ForgeAPI] Decoding failed for type ") + typeName + QStringLiteral(": ") + error.userMessage();
    printLine(line);
    logTrace(line);
    if (const std::optional<QString> shown = ForgeTrace::loggableBody(data, path, 2000)) {
        logTrace(QStringLiteral("[ForgeAPI] Raw response: ") + *shown);
    }
}

// --- Helpers -----------------------------------------------------------------------------------------

std::optional<QString> ForgeAPIController::relativeAPIPath(const std::optional<QString> &link)
{
    if (!link) {
        return std::nullopt;
    }
    const QUrl url(*link, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    // The path stays encoded: decoding it would undo the escaping of a slug that holds "/" or "?".
    const QString path = url.path(QUrl::FullyEncoded);
    const qsizetype api = path.indexOf(QLatin1String("/api/"));
    if (api < 0) {
        return std::nullopt;
    }
    QString relative = path.mid(api + 5);
    const QString query = url.query(QUrl::FullyEncoded);
    if (!query.isEmpty()) {
        relative += u'?' + query;
    }
    return relative;
}

QString ForgeAPIController::sanitizedSSHKeyName(const QString &name)
{
    QString replaced = name;
    replaced.replace(QLatin1String("%20"), QLatin1String("-"));
    QString kept;
    for (const QChar c : std::as_const(replaced)) {
        const char16_t u = c.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '-') {
            kept.append(c);
        }
    }
    return kept;
}

QString ForgeAPIController::normalizedPHPVersion(const QString &version)
{
    static const QRegularExpression named(QStringLiteral("^php[0-9]"));
    if (named.match(version).hasMatch()) {
        return version;
    }
    QString digits;
    for (const QChar c : version) {
        if (c.isNumber()) {
            digits.append(c);
        }
    }
    return digits.isEmpty() ? version : QStringLiteral("php") + digits;
}

QString ForgeAPIController::pathSegment(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString ForgeAPIController::serverPath(qint64 serverId, const QString &organizationSlug)
{
    return QStringLiteral("orgs/") + pathSegment(organizationSlug) + QStringLiteral("/servers/")
           + QString::number(serverId);
}

QString ForgeAPIController::sitePath(qint64 serverId, qint64 siteId, const QString &organizationSlug)
{
    return serverPath(serverId, organizationSlug) + QStringLiteral("/sites/") + QString::number(siteId);
}

namespace {

// The first webhook whose address is the given one, white space at the ends aside.
std::optional<Webhook> matchingWebhook(const QList<Webhook> &webhooks, const QString &url)
{
    const QString wanted = url.trimmed();
    for (const Webhook &webhook : webhooks) {
        if (webhook.url.trimmed() == wanted) {
            return webhook;
        }
    }
    return std::nullopt;
}

} // namespace

// --- Site and server texts -------------------------------------------------------------------------

QCoro::Task<QString> ForgeAPIController::fetchContent(std::shared_ptr<State> state, QString path)
{
    const auto response = co_await requestDecoded<JSONAPISingleResponse<ContentAttributes>>(
        state, path, HTTPMethod::GET, std::nullopt, singleTypeName<ContentAttributes>(), {});
    co_return response.data.attributes.content;
}

QCoro::Task<QList<JSONAPIResource<DeploymentAttributes>>>
ForgeAPIController::fetchDeployments(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchDeploymentsWith(d, sitePath(serverId, siteId, organizationSlug));
}

QCoro::Task<QList<JSONAPIResource<DeploymentAttributes>>>
ForgeAPIController::fetchDeploymentsWith(std::shared_ptr<State> state, QString sitePath)
{
    const auto response =
        co_await requestDecoded<JSONAPIResponse<DeploymentAttributes>>(state,
                                                                       sitePath + QStringLiteral("/deployments"),
                                                                       HTTPMethod::GET,
                                                                       std::nullopt,
                                                                       listTypeName<DeploymentAttributes>(),
                                                                       {});
    co_return response.data;
}

QCoro::Task<QString> ForgeAPIController::fetchDeploymentLog(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchDeploymentLogWith(d, sitePath(serverId, siteId, organizationSlug));
}

QCoro::Task<QString> ForgeAPIController::fetchDeploymentLogWith(std::shared_ptr<State> state, QString sitePath)
{
    const auto deployments = co_await fetchDeploymentsWith(state, sitePath);
    if (deployments.isEmpty()) {
        throw ForgeAPIError(ForgeAPIError::Case::NotFound);
    }
    const QString path =
        sitePath + QStringLiteral("/deployments/") + pathSegment(deployments.first().id) + QStringLiteral("/log");
    const auto response = co_await requestDecoded<JSONAPISingleResponse<DeploymentOutputAttributes>>(
        state, path, HTTPMethod::GET, std::nullopt, singleTypeName<DeploymentOutputAttributes>(), {});
    co_return response.data.attributes.output;
}

QCoro::Task<QString> ForgeAPIController::fetchDeploymentScript(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchContent(d, sitePath(serverId, siteId, organizationSlug) + QStringLiteral("/deployments/script"));
}

QCoro::Task<QString> ForgeAPIController::fetchEnvironment(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchContent(d, sitePath(serverId, siteId, organizationSlug) + QStringLiteral("/environment"));
}

QCoro::Task<QString> ForgeAPIController::fetchNginxConfig(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchContent(d, sitePath(serverId, siteId, organizationSlug) + QStringLiteral("/nginx"));
}

QCoro::Task<QString> ForgeAPIController::fetchSiteLog(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchContent(d, sitePath(serverId, siteId, organizationSlug) + QStringLiteral("/logs/application"));
}

QCoro::Task<QString> ForgeAPIController::fetchServerLog(qint64 serverId, QString organizationSlug, QString kind)
{
    return fetchContent(d, serverPath(serverId, organizationSlug) + QStringLiteral("/logs/") + pathSegment(kind));
}

// --- Actions -----------------------------------------------------------------------------------------

QCoro::Task<> ForgeAPIController::deploy(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return requestVoidWith(d,
                           sitePath(serverId, siteId, organizationSlug) + QStringLiteral("/deployments"),
                           HTTPMethod::POST,
                           std::nullopt);
}

QCoro::Task<QList<Webhook>> ForgeAPIController::fetchWebhooks(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return fetchWebhooksWith(d, sitePath(serverId, siteId, organizationSlug));
}

QCoro::Task<QList<Webhook>> ForgeAPIController::fetchWebhooksWith(std::shared_ptr<State> state, QString sitePath)
{
    const auto response = co_await requestDecoded<JSONAPIResponse<Webhook>>(
        state, sitePath + QStringLiteral("/webhooks"), HTTPMethod::GET, std::nullopt, listTypeName<Webhook>(), {});
    QList<Webhook> webhooks;
    for (const auto &resource : response.data) {
        if (const std::optional<qint64> id = parseForgeInteger(QStringView(resource.id))) {
            Webhook webhook = resource.attributes;
            webhook.id = *id;
            webhooks.append(std::move(webhook));
        }
    }
    co_return webhooks;
}

QCoro::Task<Webhook>
ForgeAPIController::createWebhook(qint64 serverId, qint64 siteId, QString organizationSlug, QString url)
{
    return createWebhookWith(d, sitePath(serverId, siteId, organizationSlug), siteId, std::move(url));
}

QCoro::Task<Webhook>
ForgeAPIController::createWebhookWith(std::shared_ptr<State> state, QString sitePath, qint64 siteId, QString url)
{
    if (!state->webhookOperations->tryBegin(siteId)) {
        co_return co_await awaitOtherWebhookCreation(state, sitePath, url);
    }
    std::optional<Webhook> created;
    std::exception_ptr failure;
    try {
        created = co_await createWebhookBegun(state, sitePath, url);
    } catch (...) {
        failure = std::current_exception();
    }
    state->webhookOperations->end(siteId);
    if (failure) {
        std::rethrow_exception(failure);
    }
    co_return *created;
}

QCoro::Task<Webhook> ForgeAPIController::createWebhookBegun(std::shared_ptr<State> state, QString sitePath, QString url)
{
    if (const auto existing = matchingWebhook(co_await fetchWebhooksWith(state, sitePath), url)) {
        co_return *existing;
    }
    // A named task: g++ 12 destroys the body made inside a co_await expression twice, and the URL with it.
    QCoro::Task<> posting =
        requestVoidWith(state, sitePath + QStringLiteral("/webhooks"), HTTPMethod::POST, WebhookBody{url});
    co_await std::move(posting);
    co_await state->sleeper->sleep(WebhookListingPause);
    // Trimmed here as in the first check, so a webhook Forge stored without a trailing line break is
    // still recognised instead of being reported as failed and left behind.
    if (const auto listed = matchingWebhook(co_await fetchWebhooksWith(state, sitePath), url)) {
        co_return *listed;
    }
    throw ForgeAPIError(ForgeAPIError::Case::WebhookCreationFailed);
}

QCoro::Task<Webhook>
ForgeAPIController::awaitOtherWebhookCreation(std::shared_ptr<State> state, QString sitePath, QString url)
{
    co_await state->sleeper->sleep(ConcurrentWebhookPause);
    if (const auto listed = matchingWebhook(co_await fetchWebhooksWith(state, sitePath), url)) {
        co_return *listed;
    }
    throw ForgeAPIError(ForgeAPIError::Case::WebhookCreationFailed);
}

QCoro::Task<> ForgeAPIController::uploadSSHKey(qint64 serverId, QString organizationSlug, QString publicKey)
{
    static const QRegularExpression lineBreaks(QStringLiteral("[\\n\\r\\v\\f\\x{85}\\x{2028}\\x{2029}]+"));
    const QString key = publicKey.trimmed().split(lineBreaks, Qt::SkipEmptyParts).join(u' ');
    QString host = d->computerName();
    if (host.isEmpty()) {
        host = QStringLiteral("Plimsy");
    }
    // A fixed pattern in the POSIX locale: the name must not change with the user's language.
    const QString stamp = QLocale::c().toString(d->clock->now().toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
    const SSHKeyBody body{sanitizedSSHKeyName(host) + u'-' + stamp, key, d->keyUsername};
    return requestVoidWith(
        d, serverPath(serverId, organizationSlug) + QStringLiteral("/ssh-keys"), HTTPMethod::POST, body);
}

QCoro::Task<> ForgeAPIController::rebootPHP(qint64 serverId, QString organizationSlug, QString phpVersion)
{
    return requestVoidWith(d,
                           serverPath(serverId, organizationSlug) + QStringLiteral("/services/php/actions"),
                           HTTPMethod::POST,
                           PHPActionBody{QStringLiteral("reboot"), normalizedPHPVersion(phpVersion)});
}

QCoro::Task<> ForgeAPIController::rebootWith(std::shared_ptr<State> state, QString path)
{
    return requestVoidWith(
        std::move(state), std::move(path), HTTPMethod::POST, ServerActionBody{QStringLiteral("reboot")});
}

QCoro::Task<> ForgeAPIController::rebootServer(qint64 serverId, QString organizationSlug)
{
    return rebootWith(d, serverPath(serverId, organizationSlug) + QStringLiteral("/actions"));
}

QCoro::Task<> ForgeAPIController::rebootMySQL(qint64 serverId, QString organizationSlug)
{
    return rebootWith(d, serverPath(serverId, organizationSlug) + QStringLiteral("/services/mysql/actions"));
}

QCoro::Task<> ForgeAPIController::rebootNginx(qint64 serverId, QString organizationSlug)
{
    return rebootWith(d, serverPath(serverId, organizationSlug) + QStringLiteral("/services/nginx/actions"));
}

QCoro::Task<> ForgeAPIController::rebootPostgres(qint64 serverId, QString organizationSlug)
{
    return rebootWith(d, serverPath(serverId, organizationSlug) + QStringLiteral("/services/postgres/actions"));
}

} // namespace plimsy
