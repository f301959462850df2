#include "forge/ForgeAPIController.h"

#include "core/APIKeyManager.h"
#include "core/Logger.h"
#include "core/URLConstants.h"
#include "forge/ForgeAPIRequestTracker.h"
#include "forge/WebhookOperationsActor.h"
#include "platform/Clock.h"
#include "platform/NetworkError.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QSysInfo>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plimsy {

namespace {

const QString PlimsyCategory = QStringLiteral("Plimsy");
constexpr std::chrono::milliseconds ConnectionRetryPause{2000};

void logTrace(const QString &text)
{
    Logger::shared().log(text, PlimsyCategory);
}

void printLine(const QString &line)
{
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

bool isVerbose()
{
    return UserDefaults::standard().boolValue(QString(VerboseLoggingKey));
}

// Texts that hold secrets or user data: environment files, Nginx configurations, deployment scripts,
// logs, site commands and SSH keys. Their bodies never reach the log, whatever the settings say.
bool isContentPath(const QString &path)
{
    const QString plain = path.left(path.indexOf(u'?'));
    static const QRegularExpression content(QStringLiteral(
        "(/environment|/nginx|/deployments/script|/deployments/[^/]+/log|/logs/[^/]+|/commands|/ssh-keys)$"));
    return content.match(plain).hasMatch();
}

std::optional<QString> utf8Text(const QByteArray &data)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

// The first `count` user-perceived characters.
QString firstCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int i = 0; i < count && end >= 0 && end < text.size(); ++i) {
        end = finder.toNextBoundary();
    }
    return end < 0 ? text : text.left(end);
}

QString bodyForTrace(const QByteArray &data, const QString &path)
{
    if (data.isEmpty()) {
        return {};
    }
    if (isContentPath(path) || !isVerbose()) {
        return QStringLiteral("<body not logged, %1 bytes>").arg(data.size());
    }
    return utf8Text(data).value_or(QStringLiteral("Can't render body; not utf8 encoded"));
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
    return QString::number(qint64(seconds));
}

void throwIfCancelled(const QPointer<CancellationToken> &cancel, const QUrl &url)
{
    if (cancel && cancel->isCancelled()) {
        throw NetworkError(NetworkError::Code::Cancelled, url);
    }
}

void logRequest(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body, const QString &path)
{
    const QUrl url = request.url();
    QString trace = QStringLiteral("\n---------- OUT ---------->\n") + url.toString() + QStringLiteral("\n\n")
                    + QString::fromLatin1(method) + u' ' + url.path(QUrl::FullyDecoded) + u'?'
                    + url.query(QUrl::FullyDecoded) + QStringLiteral(" HTTP/1.1\n") + QStringLiteral("Host: ")
                    + url.host() + u'\n';
    for (const QByteArray &name : request.rawHeaderList()) {
        const QByteArray value = name == "Authorization" ? QByteArray("<HIDDEN>") : request.rawHeader(name);
        trace += QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromUtf8(value) + u'\n';
    }
    if (!body.isEmpty()) {
        trace += u'\n' + bodyForTrace(body, path) + u'\n';
    }
    trace += QStringLiteral("\n------------------------->\n");
    logTrace(trace);
}

void logResponse(const HttpResponse &response, const QString &path)
{
    const QUrl &url = response.url;
    QString trace = QStringLiteral("\n<---------- IN ----------\n");
    if (!url.isEmpty()) {
        trace += url.toString() + QStringLiteral("\n\n");
    }
    trace += QStringLiteral("HTTP %1 ").arg(response.statusCode) + url.path(QUrl::FullyDecoded) + u'?'
             + url.query(QUrl::FullyDecoded) + u'\n';
    if (!url.host().isEmpty()) {
        trace += QStringLiteral("Host: ") + url.host() + u'\n';
    }
    auto headers = response.headers;
    std::stable_sort(headers.begin(), headers.end(), [](const auto &a, const auto &b) {
        return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
    });
    for (const auto &[name, value] : headers) {
        trace += QString::fromLatin1(name) + QStringLiteral(": ") + QString::fromUtf8(value) + u'\n';
    }
    trace += u'\n' + bodyForTrace(response.body, path) + u'\n';
    trace += QStringLiteral("<------------------------\n");
    logTrace(trace);
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

struct ForgeAPIController::State
{
    Account account;
    std::optional<QString> apiKey;
    QString keyUsername = QStringLiteral("forge");
    QString baseURL;
    HttpSession *session = nullptr;
    ForgeAPIRequestTracker *tracker = nullptr;
    WebhookOperationsActor *webhookOperations = nullptr;
    const Clock *clock = nullptr;
    Sleeper *sleeper = nullptr;
    std::function<QString()> computerName;

    QString rateLimitKey() const { return account.uuid.value_or(QStringLiteral("default")); }
};

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
    d->computerName = services.computerName ? services.computerName : [] { return QSysInfo::machineHostName(); };
    APIKeyManager &keys = services.apiKeys ? *services.apiKeys : APIKeyManager::shared();
    if (account.uuid) {
        d->apiKey = keys.apiKey(*account.uuid);
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
    printLine(QStringLiteral("[ForgeAPI] requestVoid: HTTP %1").arg(response.statusCode));
    const std::optional<QString> text = utf8Text(response.body);
    if (text && !text->isEmpty() && !isContentPath(path)) {
        printLine(QStringLiteral("[ForgeAPI] requestVoid: Response body: ") + firstCharacters(*text, 500));
    }
}

QCoro::Task<HttpResponse> ForgeAPIController::exchange(std::shared_ptr<State> state,
                                                       QString path,
                                                       HTTPMethod method,
                                                       std::optional<AnyEncodable> body,
                                                       QPointer<CancellationToken> cancel)
{
    if (!state->apiKey) {
        throw ForgeAPIError(ForgeAPIError::Case::NoAPIKeyDefined);
    }
    const QUrl url(state->baseURL + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        throw ForgeAPIError(ForgeAPIError::Case::InvalidURL);
    }
    QNetworkRequest request(url);
    // A redirect means the key was refused; following it would hand the key to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
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
    logRequest(request, method, body, path);
    state->tracker->recordRequest(key, state->clock->now());
    std::optional<NetworkError::Code> retryable;
    try {
        HttpResponse response = co_await state->session->send(request, method, body, cancel);
        if (response.statusCode <= 0) {
            logTrace(QStringLiteral("[ForgeAPI] No HTTP response received"));
            throw ForgeAPIError(ForgeAPIError::Case::NoResponse);
        }
        state->tracker->recordResponse(response, key, state->clock->now());
        logResponse(response, path);
        co_return response;
    } catch (const NetworkError &error) {
        const bool transient =
            error.code() == NetworkError::Code::TimedOut || error.code() == NetworkError::Code::NetworkConnectionLost;
        if (!allowRetry || !transient) {
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

// --- Actions -----------------------------------------------------------------------------------------

QCoro::Task<> ForgeAPIController::deploy(qint64 serverId, qint64 siteId, QString organizationSlug)
{
    return requestVoidWith(d,
                           sitePath(serverId, siteId, organizationSlug) + QStringLiteral("/deployments"),
                           HTTPMethod::POST,
                           std::nullopt);
}

} // namespace plimsy
