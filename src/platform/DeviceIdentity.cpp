#include "platform/DeviceIdentity.h"

#include "platform/AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
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

QString asUuid(const QString &hex)
{
    return hex.mid(0, 8) + u'-' + hex.mid(8, 4) + u'-' + hex.mid(12, 4) + u'-' + hex.mid(16, 4) + u'-'
           + hex.mid(20, 12);
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
    m_platformUUID = asUuid(machineId);

    m_serialNumber = QString::fromUtf8(readTrimmed(sources.serialFile)).simplified();
    if (m_serialNumber.isEmpty() || isPlaceholderSerial(m_serialNumber)) {
        // Hashed so that the serial does not reveal the machine id it comes from.
        const QByteArray digest =
            QCryptographicHash::hash("plimsy-serial:" + machineId.toLatin1(), QCryptographicHash::Sha256);
        m_serialNumber = QString::fromLatin1(digest.toHex().left(12)).toUpper();
    }
}

} // namespace plimsy
