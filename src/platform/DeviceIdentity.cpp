#include "platform/DeviceIdentity.h"

#include "platform/AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUuid>

namespace plimsy {

namespace {

Q_LOGGING_CATEGORY(lcDeviceIdentity, "plimsy.device")

QByteArray readTrimmed(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.read(4096).trimmed();
}

// 32 hexadecimal digits, as systemd writes it; anything else is not a machine id.
QString machineIdFrom(const QByteArray &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-fA-F]{32}$"));
    const QString id = QString::fromLatin1(text);
    return pattern.match(id).hasMatch() ? id.toUpper() : QString();
}

// Keys of Plimsy's own: machine-id(5) asks applications never to hand out the machine id itself but a
// keyed hash of it, so that nothing seen outside can be traced back to it or matched with other programs.
const QByteArray PlatformUUIDKey = QByteArrayLiteral("com.tindrel.Plimsy/platform-uuid/v1");
const QByteArray SerialNumberKey = QByteArrayLiteral("com.tindrel.Plimsy/serial-number/v1");

// HMAC-SHA256 of `message`, its first 16 bytes as an upper-case UUID with the version 4 and variant bits set.
QString derivedUuid(const QByteArray &key, const QByteArray &message)
{
    QByteArray bytes = QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256).left(16);
    bytes[6] = static_cast<char>((static_cast<quint8>(bytes[6]) & 0x0F) | 0x40);
    bytes[8] = static_cast<char>((static_cast<quint8>(bytes[8]) & 0x3F) | 0x80);
    return QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces).toUpper();
}

// Boards without a real serial carry one of these; many machines would share it.
bool isPlaceholderSerial(const QString &serial)
{
    static const QStringList placeholders{QStringLiteral("to be filled by o.e.m."),
                                          QStringLiteral("default string"),
                                          QStringLiteral("system serial number"),
                                          QStringLiteral("not specified"),
                                          QStringLiteral("not applicable"),
                                          QStringLiteral("none"),
                                          QStringLiteral("0"),
                                          QStringLiteral("0123456789")};
    return placeholders.contains(serial.toLower());
}

// A generated id kept in a file, for machines without a machine id; created on first need.
QString storedFallbackId(const QString &path)
{
    QString id = machineIdFrom(readTrimmed(path));
    if (!id.isEmpty()) {
        return id;
    }
    id = QUuid::createUuid().toString(QUuid::Id128).toUpper();
    if (path.isEmpty()) {
        return id;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(id.toLatin1() + '\n') < 0 || !file.commit()) {
        qCWarning(lcDeviceIdentity).noquote() << "Cannot keep the device identifier in" << path;
    }
    return id;
}

} // namespace

const DeviceIdentity &DeviceIdentity::system()
{
    static const DeviceIdentity s_system([] {
        Sources sources;
        const QString folder = AppPaths::applicationDirectory();
        if (!folder.isEmpty()) {
            sources.fallbackFile = QDir(folder).filePath(QStringLiteral("device-id"));
        }
        return sources;
    }());
    return s_system;
}

DeviceIdentity::DeviceIdentity(Sources sources)
{
    QString machineId;
    for (const QString &path : sources.machineIdFiles) {
        machineId = machineIdFrom(readTrimmed(path));
        if (!machineId.isEmpty()) {
            break;
        }
    }
    if (machineId.isEmpty()) {
        qCWarning(lcDeviceIdentity) << "No machine id; using a generated device identifier";
        machineId = storedFallbackId(sources.fallbackFile);
    }
    const QByteArray machineIdText = machineId.toLower().toLatin1();
    m_platformUUID = derivedUuid(PlatformUUIDKey, machineIdText);

    const QString serial = QString::fromUtf8(readTrimmed(sources.serialFile)).simplified();
    m_serialNumber = serial.isEmpty() || isPlaceholderSerial(serial) ? derivedUuid(SerialNumberKey, machineIdText)
                                                                     : derivedUuid(PlatformUUIDKey, serial.toUtf8());
}

} // namespace plimsy
