#include "notifications/NotificationManager.h"

#include "core/LoadedRecords.h"
#include "core/Logger.h"
#include "core/RunDetached.h"
#include "core/Server.h"
#include "core/Site.h"
#include "core/URLConstants.h"
#include "notifications/LoadLogFiles.h"
#include "platform/Clock.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QUuid>

#include <cmath>

namespace plimsy {

namespace {

void print(const QString &line)
{
    printLine(QStringLiteral("[Notifications] ") + line);
}

// The text a payload value is kept as: numbers and texts as themselves, maps and lists as JSON.
QString textOf(const QVariant &value)
{
    const QJsonValue json = QJsonValue::fromVariant(value);
    if (json.isObject()) {
        return QString::fromUtf8(QJsonDocument(json.toObject()).toJson(QJsonDocument::Compact));
    }
    if (json.isArray()) {
        return QString::fromUtf8(QJsonDocument(json.toArray()).toJson(QJsonDocument::Compact));
    }
    return value.toString();
}

std::optional<qint64> integerOf(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double: {
        // Numbers decoded from JSON may arrive as doubles; only whole ones are identifiers.
        const double number = value.toDouble();
        return std::trunc(number) == number ? std::optional<qint64>(static_cast<qint64>(number)) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QVariantMap> mapOf(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap ? std::optional<QVariantMap>(value.toMap()) : std::nullopt;
}

QString pathSegment(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

} // namespace

NotificationManager &NotificationManager::shared()
{
    static auto *s_manager = new NotificationManager;
    return *s_manager;
}

NotificationManager::NotificationManager(QObject *parent)
    : NotificationManager(Services{}, parent)
{
}

NotificationManager::NotificationManager(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_center(m_services.center ? *m_services.center : UserNotificationCenter::current())
    , m_defaults(m_services.defaults ? *m_services.defaults : UserDefaults::standard())
    , m_clock(m_services.clock ? *m_services.clock : Clock::system())
    , m_urlOpener(m_services.urlOpener ? *m_services.urlOpener : UrlOpener::system())
{
    connect(&m_center,
            &UserNotificationCenter::didReceiveResponse,
            this,
            [this](const QString &, const QString &actionIdentifier, const QVariantMap &payload) {
                handleResponse(payload, actionIdentifier);
            });
    runDetached(requestAuthorization());
}

QCoro::Task<> NotificationManager::requestAuthorization()
{
    QPointer self(this);
    QCoro::Task<UserNotificationCenter::Authorization> asking = m_center.requestAuthorization();
    const UserNotificationCenter::Authorization answer = co_await std::move(asking);
    if (!self) {
        co_return;
    }
    m_isAuthorized = answer.granted;
    if (answer.error) {
        print(QStringLiteral("Authorization error: ") + *answer.error);
    } else {
        print(QStringLiteral("Authorization granted: ")
              + (answer.granted ? QStringLiteral("true") : QStringLiteral("false")));
    }
}

void NotificationManager::postNotification(const QString &title,
                                           const QString &body,
                                           const std::optional<QString> &identifier,
                                           const QVariantMap &userInfo,
                                           const std::optional<QString> &actionTitle)
{
    QVariantMap payload;
    for (auto entry = userInfo.cbegin(); entry != userInfo.cend(); ++entry) {
        payload.insert(entry.key(), textOf(entry.value()));
    }
    const QString requestIdentifier = identifier.value_or(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    runDetached(deliver(requestIdentifier, title, body, payload, actionTitle));
}

QCoro::Task<> NotificationManager::deliver(
    QString identifier, QString title, QString body, QVariantMap userInfo, std::optional<QString> actionTitle)
{
    QPointer self(this);
    NoticeRequest request{identifier, std::move(title), std::move(body), std::move(userInfo), std::move(actionTitle)};
    QCoro::Task<std::optional<QString>> adding = m_center.add(std::move(request));
    const std::optional<QString> failure = co_await std::move(adding);
    if (failure) {
        const QString line = QStringLiteral("[Notifications] Failed to deliver: ") + *failure;
        printLine(line);
        log(line);
        co_return;
    }
    print(QStringLiteral("Delivered: ") + identifier);
    if (self) {
        m_deliveredNotificationIds.insert(identifier);
    }
}

void NotificationManager::removeExpiredNotifications()
{
    const double seconds = m_defaults.doubleValue(QStringLiteral("dismissNotificationsSeconds"));
    if (!(seconds > 0)) {
        return;
    }
    const QDateTime now = m_clock.now();
    const auto age = static_cast<qint64>(seconds * 1000);
    QStringList expired;
    for (const DeliveredNotice &notice : m_center.deliveredNotifications()) {
        if (notice.date.addMSecs(age) < now) {
            expired.append(notice.identifier);
        }
    }
    if (expired.isEmpty()) {
        return;
    }
    m_center.removeDeliveredNotifications(expired);
    for (const QString &identifier : std::as_const(expired)) {
        m_deliveredNotificationIds.remove(identifier);
    }
}

void NotificationManager::removeAllDelivered()
{
    m_center.removeAllDeliveredNotifications();
    m_deliveredNotificationIds.clear();
}

void NotificationManager::handleResponse(const QVariantMap &payload, const QString &actionIdentifier)
{
    if (actionIdentifier != QLatin1String(UserNotificationCenter::ButtonActionIdentifier)
        && actionIdentifier != QLatin1String(UserNotificationCenter::DefaultActionIdentifier)) {
        return;
    }
    if (const QVariant action = payload.value(QStringLiteral("action")); action.typeId() == QMetaType::QString) {
        handleAction(action.toString());
        return;
    }
    if (const std::optional<QUrl> page = forgePageURL(payload)) {
        m_urlOpener.openUrl(*page);
        return;
    }
    openNewestLog();
}

void NotificationManager::handleAction(const QString &action)
{
    if (action == QLatin1String(NeedAPIKeyNotice)) {
        m_urlOpener.openUrl(QUrl(apiKeyHelpURL()));
    }
}

void NotificationManager::openNewestLog()
{
    const QList<QUrl> files =
        m_services.logDirectory ? LoadLogFiles(m_services.logDirectory).load() : LoadLogFiles().load();
    if (files.isEmpty() || !m_logWindowContext || !m_openLogWindow) {
        return;
    }
    QTimer::singleShot(
        0, m_logWindowContext.data(), [open = m_openLogWindow, newest = files.first()] { open(newest); });
}

void NotificationManager::setLogWindowOpener(QObject *context, std::function<void(const QUrl &)> open)
{
    m_logWindowContext = context;
    m_openLogWindow = std::move(open);
}

std::optional<QUrl> NotificationManager::forgePageURL(const QVariantMap &payload) const
{
    const std::optional<QVariantMap> site = mapOf(payload.value(QStringLiteral("site")));
    const std::optional<qint64> maybeSiteId = site ? integerOf(site->value(QStringLiteral("id"))) : std::nullopt;
    const std::optional<QVariantMap> server = mapOf(payload.value(QStringLiteral("server")));
    if (!maybeSiteId || !server || server->value(QStringLiteral("name")).typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    const qint64 siteId = *maybeSiteId;
    const QString serverName = server->value(QStringLiteral("name")).toString();

    const LoadedRecords *records = m_services.records ? m_services.records : LoadedRecords::current();
    std::optional<QString> slug;
    if (const auto loadedSite = records ? Site::find(siteId, records->sites()) : std::nullopt) {
        slug = loadedSite->organizationSlug;
    } else if (const auto serverId = integerOf(server->value(QStringLiteral("id")))) {
        if (const auto loadedServer = records ? Server::find(*serverId, records->servers()) : std::nullopt) {
            slug = loadedServer->organizationSlug;
        }
    }
    if (!slug || slug->isEmpty()) {
        return std::nullopt;
    }
    // Each part is one path segment: a "/", "?", "#" or space in a name must not change the page.
    const QString origin =
        QUrl(URLConstants::forgeWebBase())
            .adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
            .toString(QUrl::FullyEncoded);
    const QString text = origin + QLatin1Char('/') + pathSegment(*slug) + QLatin1Char('/') + pathSegment(serverName)
                         + QLatin1Char('/') + QString::number(siteId) + QStringLiteral("/deployments");
    const QUrl url = QUrl::fromEncoded(text.toUtf8(), QUrl::StrictMode);
    return url.isValid() ? std::optional<QUrl>(url) : std::nullopt;
}

} // namespace plimsy
