#include "platform/SystemInfo.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace plimsy::SystemInfo {

namespace {

// hostnamed starts on demand; a slow or missing one must not hold up the caller for long.
constexpr int HostnamedTimeoutMs = 500;

QString prettyHostName()
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        return {};
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.hostname1"),
                                                       QStringLiteral("/org/freedesktop/hostname1"),
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("Get"));
    call << QStringLiteral("org.freedesktop.hostname1") << QStringLiteral("PrettyHostname");
    const QDBusMessage reply = bus.call(call, QDBus::Block, HostnamedTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().constFirst().value<QDBusVariant>().variant().toString().trimmed();
}

// The value of one KEY=value line, without the shell quoting os-release allows.
QString unquoted(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
        value.replace(QStringLiteral("\\\""), QStringLiteral("\""));
        value.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    }
    return value;
}

} // namespace

QString computerName()
{
    const QString pretty = prettyHostName();
    if (!pretty.isEmpty()) {
        return pretty;
    }
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("localhost") : host;
}

QString loginName()
{
    const long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<std::size_t>(bufferSize > 0 ? bufferSize : 16384));
    passwd entry{};
    passwd *found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return {};
    }
    return QString::fromLocal8Bit(found->pw_name);
}

QString osVersion(const QString &osReleaseFile)
{
    QHash<QString, QString> fields;
    QFile file(osReleaseFile);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            const qsizetype equals = line.indexOf(u'=');
            if (line.startsWith(u'#') || equals <= 0) {
                continue;
            }
            fields.insert(line.left(equals), unquoted(line.mid(equals + 1)));
        }
    }
    if (!fields.value(QStringLiteral("PRETTY_NAME")).isEmpty()) {
        return fields.value(QStringLiteral("PRETTY_NAME"));
    }
    const QString named =
        (fields.value(QStringLiteral("NAME")) + u' ' + fields.value(QStringLiteral("VERSION"))).trimmed();
    return named.isEmpty() ? QSysInfo::prettyProductName() : named;
}

bool isGnomeDesktop()
{
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    return desktops.contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
}

} // namespace plimsy::SystemInfo
