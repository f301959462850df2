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

    // The machine id as an upper-case UUID ("0F1E...-..."), 36 characters.
    const QString &platformUUID() const { return m_platformUUID; }

    // The firmware's serial number when readable, else 12 upper-case characters derived from the machine id.
    const QString &serialNumber() const { return m_serialNumber; }

private:
    QString m_platformUUID;
    QString m_serialNumber;
};

} // namespace plimsy
