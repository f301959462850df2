#include "FakeAccountBackend.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QUrlQuery>

namespace plimsy::test {

namespace {

FakeResponse unauthenticated()
{
    return FakeResponse::json(R"({"message":"Unauthenticated."})", 401);
}

FakeResponse invalid(const QString &field)
{
    const QJsonObject errors{{field, QStringLiteral("The %1 field is required.").arg(field)}};
    return FakeResponse::json(QJsonDocument(QJsonObject{{QStringLiteral("message"), QStringLiteral("Invalid")},
                                                        {QStringLiteral("errors"), errors}})
                                  .toJson(QJsonDocument::Compact),
                              422);
}

std::optional<QJsonObject> jsonBody(const RecordedRequest &request)
{
    const QJsonDocument document = QJsonDocument::fromJson(request.body);
    if (!request.header("content-type").startsWith("application/json") || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

// A non-empty string member, as the backend's validation demands.
std::optional<QString> requiredString(const QJsonObject &json, const char *key)
{
    const QJsonValue value = json.value(QLatin1String(key));
    if (!value.isString() || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

QByteArray compact(const QJsonObject &json)
{
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

} // namespace

FakeAccountBackend::FakeAccountBackend(QObject *parent)
    : QObject(parent)
{
    const auto bind = [this](FakeResponse (FakeAccountBackend::*handler)(const RecordedRequest &)) {
        return [this, handler](const RecordedRequest &request) { return (this->*handler)(request); };
    };
    m_server.route("GET", QStringLiteral("/auth/app"), bind(&FakeAccountBackend::signInPage));
    m_server.route("POST", QStringLiteral("/v1/auth/logout"), bind(&FakeAccountBackend::logout));
    m_server.route("GET", QStringLiteral("/v1/auth/web-session"), bind(&FakeAccountBackend::webSession));
    m_server.route("POST", QStringLiteral("/v1/devices/register-push"), bind(&FakeAccountBackend::registerPush));
    m_server.route("DELETE", QStringLiteral("/v1/devices/push-token"), bind(&FakeAccountBackend::removePushToken));
    m_server.route("POST", QStringLiteral("/v1/forge/connect"), bind(&FakeAccountBackend::forgeConnect));
    m_server.route("GET", QStringLiteral("/v1/announcements"), [this](const RecordedRequest &request) {
        return announcements(request);
    });
}

QString FakeAccountBackend::apiBase() const
{
    return webBase() + QStringLiteral("/v1");
}

QString FakeAccountBackend::webBase() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.port());
}

QString FakeAccountBackend::issueToken()
{
    const QString token = QStringLiteral("token-%1-%2").arg(m_user.id).arg(++m_issued);
    m_tokens.insert(token);
    return token;
}

std::optional<FakeAccountBackend::PushRegistration>
FakeAccountBackend::pushRegistration(const QString &deviceIdentifier) const
{
    const auto found = m_devices.constFind(deviceIdentifier);
    return found == m_devices.cend() ? std::nullopt : std::optional<PushRegistration>(*found);
}

QString FakeAccountBackend::webhookUrl() const
{
    return m_webhookUrl.value_or(webBase() + QStringLiteral("/webhooks/forge/user-") + m_user.id);
}

std::optional<QString> FakeAccountBackend::validToken(const RecordedRequest &request) const
{
    const QByteArray authorization = request.header("authorization");
    if (!authorization.startsWith("Bearer ")) {
        return std::nullopt;
    }
    const QString token = QString::fromUtf8(authorization.mid(7));
    return m_tokens.contains(token) ? std::optional<QString>(token) : std::nullopt;
}

FakeResponse FakeAccountBackend::signInPage(const RecordedRequest &request)
{
    const QString redirect = request.queryValue(QStringLiteral("redirect_uri"));
    const QString state = request.queryValue(QStringLiteral("state"));
    if (redirect.isEmpty() || state.isEmpty()) {
        return FakeResponse::html("<h1>Missing state or redirect_uri</h1>", 400);
    }
    QUrl target(redirect);
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("state"), state);
    if (m_signInError) {
        query.addQueryItem(QStringLiteral("error"), *m_signInError);
    } else {
        query.addQueryItem(QStringLiteral("access_token"), issueToken());
        query.addQueryItem(QStringLiteral("user_id"), m_user.id);
        query.addQueryItem(QStringLiteral("email"), m_user.email);
        query.addQueryItem(QStringLiteral("name"), m_user.name);
    }
    target.setQuery(query);
    return FakeResponse::html("<p>Returning to the application...</p>", 302).withHeader("Location", target.toEncoded());
}

FakeResponse FakeAccountBackend::logout(const RecordedRequest &request)
{
    const std::optional<QString> token = validToken(request);
    if (!token) {
        return unauthenticated();
    }
    m_tokens.remove(*token);
    return FakeResponse::json(R"({"message":"Logged out"})");
}

FakeResponse FakeAccountBackend::webSession(const RecordedRequest &request)
{
    if (!validToken(request)) {
        return unauthenticated();
    }
    QUrl session(webBase() + QStringLiteral("/auth/session/") + QString::number(++m_issued));
    const QString redirect = request.queryValue(QStringLiteral("redirect"));
    if (!redirect.isEmpty()) {
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("redirect"), redirect);
        session.setQuery(query);
    }
    return FakeResponse::json(compact({{QStringLiteral("url"), session.toString()}}));
}

FakeResponse FakeAccountBackend::registerPush(const RecordedRequest &request)
{
    if (!validToken(request)) {
        return unauthenticated();
    }
    const std::optional<QJsonObject> body = jsonBody(request);
    if (!body) {
        return invalid(QStringLiteral("apns_token"));
    }
    const std::optional<QString> token = requiredString(*body, "apns_token");
    const std::optional<QString> device = requiredString(*body, "device_identifier");
    if (!token || !device) {
        return invalid(token ? QStringLiteral("device_identifier") : QStringLiteral("apns_token"));
    }
    const QJsonValue enabled = body->value(QLatin1String("push_enabled"));
    if (!enabled.isUndefined() && !enabled.isBool()) {
        return invalid(QStringLiteral("push_enabled"));
    }
    PushRegistration &registration = m_devices[*device];
    registration.token = *token;
    if (enabled.isBool()) {
        registration.pushEnabled = enabled.toBool();
    }
    return FakeResponse::json(R"({"success":true})");
}

FakeResponse FakeAccountBackend::removePushToken(const RecordedRequest &request)
{
    if (!validToken(request)) {
        return unauthenticated();
    }
    const std::optional<QJsonObject> body = jsonBody(request);
    const std::optional<QString> device = body ? requiredString(*body, "device_identifier") : std::nullopt;
    if (!device) {
        return invalid(QStringLiteral("device_identifier"));
    }
    if (!m_devices.remove(*device)) {
        return FakeResponse::json(R"({"message":"Device not found"})", 404);
    }
    return FakeResponse::empty(204);
}

FakeResponse FakeAccountBackend::forgeConnect(const RecordedRequest &request)
{
    if (!validToken(request)) {
        return unauthenticated();
    }
    return FakeResponse::json(compact({{QStringLiteral("webhook_url"), webhookUrl()}}));
}

FakeResponse FakeAccountBackend::announcements(const RecordedRequest &) const
{
    if (!m_announcement) {
        return FakeResponse::empty(204);
    }
    return FakeResponse::text(m_announcement->toUtf8());
}

} // namespace plimsy::test
