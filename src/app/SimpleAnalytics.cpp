#include "app/SimpleAnalytics.h"

#include "core/Logger.h"
#include "core/RunDetached.h"
#include "platform/BundleInfo.h"
#include "platform/DeviceIdentity.h"
#include "platform/HttpSession.h"
#include "platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QSysInfo>
#include <QVersionNumber>

namespace plimsy {

namespace {

// The operating system's version as three numbers ("12.0.0" for Debian 12).
QString operatingSystemVersion()
{
    const QVersionNumber version = QVersionNumber::fromString(QSysInfo::productVersion());
    return QStringLiteral("%1.%2.%3")
        .arg(version.majorVersion())
        .arg(version.minorVersion())
        .arg(version.microVersion());
}

} // namespace

SimpleAnalytics::SimpleAnalytics(QString reportingURL)
    : SimpleAnalytics(std::move(reportingURL), Services{})
{
}

SimpleAnalytics::SimpleAnalytics(QString reportingURL, Services services)
    : m_reportingURL(std::move(reportingURL))
    , m_services(std::move(services))
{
    if (!m_services.session) {
        m_services.session = &HttpSession::shared();
    }
    if (!m_services.defaults) {
        m_services.defaults = &UserDefaults::standard();
    }
    if (m_services.serialNumber.isNull()) {
        m_services.serialNumber = DeviceIdentity::system().serialNumber();
    }
}

SimpleAnalytics::~SimpleAnalytics()
{
    printLine(QStringLiteral("deinit"));
}

QString SimpleAnalytics::machineIdentifier()
{
    UserDefaults &defaults = *m_services.defaults;
    const QString key = QLatin1String(MachineIdentifierKey);
    QString identifier;
    if (defaults.object(key).typeId() == QMetaType::QString) {
        identifier = defaults.string(key);
    } else if (!m_services.serialNumber.isEmpty()) {
        identifier = QString::fromLatin1(
            QCryptographicHash::hash(m_services.serialNumber.toUtf8(), QCryptographicHash::Sha1).toHex());
    }
    if (identifier.isEmpty()) {
        defaults.remove(key);
        return QStringLiteral("unknown");
    }
    defaults.setValue(key, identifier);
    return identifier;
}

QJsonObject SimpleAnalytics::launchEvent()
{
    return {{QStringLiteral("app"), QString::fromLatin1(BundleInfo::Name)},
            {QStringLiteral("version"), QString::fromLatin1(BundleInfo::ShortVersion)},
            {QStringLiteral("uuid"), machineIdentifier()},
            {QStringLiteral("macos"), operatingSystemVersion()},
            // The statistics service counts this spelling.
            {QStringLiteral("event"), QStringLiteral("lanched")}};
}

void SimpleAnalytics::trackLaunch()
{
    const QUrl url(m_reportingURL, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return;
    }
    runDetached(send(url, QJsonDocument(launchEvent()).toJson(QJsonDocument::Compact), m_services.session));
}

QCoro::Task<> SimpleAnalytics::send(QUrl url, QByteArray body, HttpSession *session)
{
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json; charset=utf-8");
    request.setRawHeader("Accept", "application/json");
    try {
        co_await session->send(request, QByteArrayLiteral("POST"), body);
    } catch (const std::exception &) {
        // Nothing comes back to the application, failures included.
    }
}

} // namespace plimsy
