#include "crashreporter/support/KXPersistentDeviceID.h"

#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KXFilesystem.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KX_SystemInfo.h"
#include "platform/BundleInfo.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QUuid>

namespace kestrix {

namespace {

QByteArray cut(const QString &text)
{
    return text.toUtf8().left(31);
}

QByteArray identityData(const QByteArray &hardwareAddress)
{
    QByteArray data = hardwareAddress;
    if (data.size() != 6 || data == QByteArray(6, 0)) {
        data = QUuid::createUuid().toRfc4122();
    }
    data += cut(KX_SystemInfo::machine());
    data += cut(KX_SystemInfo::model());
    data += KX_SystemInfo::currentArchitectureName().toUtf8();
    data += QByteArray(plimsy::BundleInfo::Identifier);
    return data;
}

QString sha1Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex());
}

} // namespace

KXPersistentDeviceID::KXPersistentDeviceID(QString external, QString internal)
    : m_external(std::move(external))
    , m_internal(std::move(internal))
{
}

const KXPersistentDeviceID &KXPersistentDeviceID::current()
{
    static const KXPersistentDeviceID id = load(KXFileLocations::current().persistentDeviceID);
    return id;
}

KXPersistentDeviceID KXPersistentDeviceID::load(const QString &path)
{
    const QJsonObject stored = KXJSONSerialization::readObjectFromFile(path).value_or(QJsonObject());
    QString external = stored.value(QStringLiteral("deviceID")).toString();
    QString internal = stored.value(QStringLiteral("internalDeviceID")).toString();
    const bool missing = external.isEmpty() || internal.isEmpty();
    // Listing the network interfaces is the slow part of a first launch: once for both.
    const QByteArray hardwareAddress = missing ? KX_SystemInfo::primaryHardwareAddress() : QByteArray();
    if (external.isEmpty()) {
        external = sha1Hex(identityData(hardwareAddress));
    }
    if (internal.isEmpty()) {
        internal = sha1Hex(identityData(hardwareAddress) + char(0xFB));
    }
    if (missing) {
        KXFilesystem::ensurePathExists(QFileInfo(path).path());
        QJsonObject object;
        object.insert(QStringLiteral("deviceID"), external);
        object.insert(QStringLiteral("internalDeviceID"), internal);
        KXJSONSerialization::writeObjectToFile(object, path);
    }
    return KXPersistentDeviceID(external, internal);
}

} // namespace kestrix
