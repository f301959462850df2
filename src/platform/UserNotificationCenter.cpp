#include "platform/UserNotificationCenter.h"

#include "platform/BundleInfo.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QCoro/QCoroDBusPendingCall>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace plimsy {

namespace {

const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString AppName = QStringLiteral("Plimsy");
// The server decides how long a notice stays.
constexpr int ServerDefaultTimeout = -1;

QString escapeMarkup(QString text)
{
    return text.replace(QLatin1Char('&'), QLatin1String("&amp;"))
        .replace(QLatin1Char('<'), QLatin1String("&lt;"))
        .replace(QLatin1Char('>'), QLatin1String("&gt;"));
}

QString errorText(const QDBusMessage &reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

// The installed icon by its name. Run from the build tree, whose share folder the notice server does not
// search, the build's own icon file by its address.
QString appIcon(const QString &identifier)
{
    const QString file = QStringLiteral("icons/hicolor/scalable/apps/%1.svg").arg(identifier);
    const QString own = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
    const QStringList found = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, file);
    const bool installed = std::any_of(found.begin(), found.end(), [&own](const QString &path) {
        return !QDir::cleanPath(path).startsWith(own + u'/');
    });
    const QString built = QDir(own).filePath(file);
    return installed || !QFile::exists(built) ? identifier : QUrl::fromLocalFile(built).toString();
}

} // namespace

UserNotificationCenter &UserNotificationCenter::current()
{
    static auto *s_center = new UserNotificationCenter;
    return *s_center;
}

UserNotificationCenter::UserNotificationCenter(QString service, const Clock *clock, QObject *parent)
    : QObject(parent)
    , m_service(std::move(service))
    , m_clock(clock ? *clock : Clock::system())
{
    subscribe(true);
}

UserNotificationCenter::~UserNotificationCenter()
{
    subscribe(false);
}

void UserNotificationCenter::subscribe(bool on)
{
    // Only the server's own signals; of those, only the ones about our notices count.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const std::pair<QString, const char *> signalSlots[] = {
        {QStringLiteral("ActionInvoked"), SLOT(handleActionInvoked(uint, QString))},
        {QStringLiteral("NotificationClosed"), SLOT(handleNotificationClosed(uint, uint))},
    };
    for (const auto &[name, slot] : signalSlots) {
        if (on) {
            bus.connect(m_service, Path, Interface, name, this, slot);
        } else {
            bus.disconnect(m_service, Path, Interface, name, this, slot);
        }
    }
}

QCoro::Task<UserNotificationCenter::Authorization> UserNotificationCenter::requestAuthorization()
{
    const QString bus = QStringLiteral("org.freedesktop.DBus");
    const QString busPath = QStringLiteral("/org/freedesktop/DBus");
    // The centre may be gone once an answer arrives: nothing of it is read after the first wait.
    const QString service = m_service;
    QDBusMessage call = QDBusMessage::createMethodCall(bus, busPath, bus, QStringLiteral("NameHasOwner"));
    call << service;
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        co_return Authorization{false, errorText(reply)};
    }
    if (reply.arguments().constFirst().toBool()) {
        co_return Authorization{true, std::nullopt};
    }
    // Most desktops start their notification server on the first notice: one the bus can start serves too.
    QDBusPendingCall listing = QDBusConnection::sessionBus().asyncCall(
        QDBusMessage::createMethodCall(bus, busPath, bus, QStringLiteral("ListActivatableNames")));
    const QDBusMessage names = co_await listing;
    if (names.type() != QDBusMessage::ReplyMessage || names.arguments().isEmpty()) {
        co_return Authorization{false, errorText(names)};
    }
    co_return Authorization{names.arguments().constFirst().toStringList().contains(service), std::nullopt};
}

QCoro::Task<std::optional<QStringList>> UserNotificationCenter::capabilities()
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, Path, Interface, QStringLiteral("GetCapabilities"));
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        co_return std::nullopt;
    }
    co_return reply.arguments().constFirst().toStringList();
}

QCoro::Task<std::optional<QString>> UserNotificationCenter::add(NoticeRequest request)
{
    QPointer self(this);
    QCoro::Task<std::optional<QStringList>> asking = capabilities();
    const std::optional<QStringList> serverCapabilities = co_await std::move(asking);
    if (!self) {
        co_return QStringLiteral("The notice centre went away");
    }
    const QStringList capabilities = serverCapabilities.value_or(QStringList());
    QStringList actions;
    // A server without actions would show them as text, or refuse the notice.
    if (capabilities.contains(QLatin1String("actions"))) {
        actions << QString::fromLatin1(DefaultActionIdentifier) << QStringLiteral("Open");
        if (request.actionTitle) {
            actions << QString::fromLatin1(ButtonActionIdentifier) << *request.actionTitle;
        }
    }
    const QString body =
        capabilities.contains(QLatin1String("body-markup")) ? escapeMarkup(request.body) : request.body;
    const qsizetype earlier = indexOfIdentifier(request.identifier);
    const uint replacesId = earlier >= 0 ? m_entries[earlier].serverId : 0;

    QDBusMessage call = QDBusMessage::createMethodCall(m_service, Path, Interface, QStringLiteral("Notify"));
    // The installed icon and desktop entry share the application's identifier: by them the desktop shows
    // whose notice it is and groups ours together.
    const QString identifier = QString::fromLatin1(BundleInfo::Identifier);
    call << AppName << replacesId << appIcon(identifier) << request.title << body << actions
         << QVariantMap{{QStringLiteral("sound-name"), QStringLiteral("message-new-instant")},
                        {QStringLiteral("desktop-entry"), identifier}}
         << ServerDefaultTimeout;
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call);
    const QDBusMessage reply = co_await pending;
    if (!self) {
        co_return QStringLiteral("The notice centre went away");
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        co_return errorText(reply);
    }
    Entry entry{{request.identifier, m_clock.now(), request.userInfo}, reply.arguments().constFirst().toUInt()};
    // The earlier notice of this identifier may have gone meanwhile: look again.
    if (const qsizetype index = indexOfIdentifier(request.identifier); index >= 0) {
        m_entries.removeAt(index);
    }
    m_entries.append(std::move(entry));
    co_return std::nullopt;
}

QList<DeliveredNotice> UserNotificationCenter::deliveredNotifications() const
{
    QList<DeliveredNotice> notices;
    notices.reserve(m_entries.size());
    for (const Entry &entry : m_entries) {
        notices.append(entry.notice);
    }
    return notices;
}

void UserNotificationCenter::removeDeliveredNotifications(const QStringList &identifiers)
{
    for (const QString &identifier : identifiers) {
        if (const qsizetype index = indexOfIdentifier(identifier); index >= 0) {
            closeOnServer(m_entries.takeAt(index).serverId);
        }
    }
}

void UserNotificationCenter::removeAllDeliveredNotifications()
{
    for (const Entry &entry : std::as_const(m_entries)) {
        closeOnServer(entry.serverId);
    }
    m_entries.clear();
}

void UserNotificationCenter::closeOnServer(uint serverId)
{
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, Path, Interface, QStringLiteral("CloseNotification"));
    call << serverId;
    // Sent without waiting for an answer: the notice is forgotten either way.
    QDBusConnection::sessionBus().send(call);
}

void UserNotificationCenter::handleActionInvoked(uint serverId, const QString &actionKey)
{
    const qsizetype index = indexOfServerId(serverId);
    if (index < 0) {
        return;
    }
    const DeliveredNotice notice = m_entries[index].notice;
    Q_EMIT didReceiveResponse(notice.identifier, actionKey, notice.userInfo);
}

void UserNotificationCenter::handleNotificationClosed(uint serverId, uint)
{
    if (const qsizetype index = indexOfServerId(serverId); index >= 0) {
        m_entries.removeAt(index);
    }
}

qsizetype UserNotificationCenter::indexOfServerId(uint serverId) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].serverId == serverId) {
            return i;
        }
    }
    return -1;
}

qsizetype UserNotificationCenter::indexOfIdentifier(const QString &identifier) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].notice.identifier == identifier) {
            return i;
        }
    }
    return -1;
}

} // namespace plimsy
