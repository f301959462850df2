#pragma once

#include <QString>
#include <QStringList>

namespace plimsy {

// The machine's identifiers for the account backend and the statistics ping. Both are worked out once
// per instance and never change while the machine keeps its machine id.
class DeviceIdentity
{
public:
    struct Sources
    {
        QStringList machineIdFiles{QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")};
        QString serialFile = QStringLiteral("/sys/class/dmi/id/product_serial");
        // Keeps a generated identifier for machines without a machine id; empty keeps it in memory only.
        QString fallbackFile;
    };

    // The real machine; the fallback identifier lives in the application's own folder.
    static const DeviceIdentity &system();

    explicit DeviceIdentity(Sources sources);

    // Derived from the machine id, never the id itself (which is confidential): HMAC-SHA256 under a key
    // of Plimsy's own, as an upper-case version 4 UUID, 36 characters.
    const QString &platformUUID() const { return m_platformUUID; }

    // Derived the same way from the firmware's serial number when readable, else from the machine id
    // under a second key.
    const QString &serialNumber() const { return m_serialNumber; }

private:
    QString m_platformUUID;
    QString m_serialNumber;
};

} // namespace plimsy
