#include "platform/DeviceIdentity.h"

#include "platform/SystemInfo.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace plimsy;

namespace {

class DeviceIdentityTest : public ::testing::Test
{
protected:
    QTemporaryDir folder;

    QString write(const QString &name, const QByteArray &content) const
    {
        const QString path = QDir(folder.path()).filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    DeviceIdentity::Sources sources(QStringList machineIds, QString serial = {}) const
    {
        DeviceIdentity::Sources result;
        result.machineIdFiles = std::move(machineIds);
        result.serialFile = serial.isEmpty() ? QDir(folder.path()).filePath("no-serial") : serial;
        result.fallbackFile = QDir(folder.path()).filePath("device-id");
        return result;
    }
};

// The machine id is confidential (machine-id(5)): what leaves the machine is a keyed hash of it, the
// same in every run and every version, so the account backend keeps knowing the device.
TEST_F(DeviceIdentityTest, IdentifiersAreStableKeyedHashesNeverTheMachineIdItself)
{
    const QString machineId = write("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    const DeviceIdentity identity(sources({machineId}));
    EXPECT_EQ(identity.platformUUID(), "CF26A6A8-D29B-4460-9218-F89BF76A7B20");
    EXPECT_EQ(identity.serialNumber(), "1C92972F-E2F2-4B83-B7E1-0E2FF03DB940");
    for (const QString &derived : {identity.platformUUID(), identity.serialNumber()}) {
        EXPECT_FALSE(QString(derived).remove(QLatin1Char('-')).contains("3D1219C7", Qt::CaseInsensitive));
    }

    const DeviceIdentity again(sources({machineId}));
    EXPECT_EQ(again.platformUUID(), identity.platformUUID());
    EXPECT_EQ(again.serialNumber(), identity.serialNumber());
}

TEST_F(DeviceIdentityTest, AReadableSerialIsHashedButPlaceholdersAreNotUsed)
{
    const QString machineId = write("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4");
    EXPECT_EQ(DeviceIdentity(sources({machineId}, write("serial", "  PF2ABC12\n"))).serialNumber(),
              "7B90B290-AF5A-436E-898C-257465D2F93B");
    const QString derived = DeviceIdentity(sources({machineId})).serialNumber();
    EXPECT_EQ(DeviceIdentity(sources({machineId}, write("oem", "To Be Filled By O.E.M.\n"))).serialNumber(), derived);
}

TEST_F(DeviceIdentityTest, TheNextMachineIdFileStandsInForAMissingOrBrokenOne)
{
    const QString broken = write("broken", "not-a-machine-id");
    const QString dbus = write("dbus-machine-id", "00112233445566778899aabbccddeeff");
    EXPECT_EQ(DeviceIdentity(sources({broken, dbus})).platformUUID(), "530B573A-75E9-40DB-86B5-8E4DD8798CDB");
}

TEST_F(DeviceIdentityTest, WithoutAMachineIdAGeneratedIdentifierIsKeptAcrossRuns)
{
    const QString missing = QDir(folder.path()).filePath("missing");
    const QString first = DeviceIdentity(sources({missing})).platformUUID();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$")
                    .match(first)
                    .hasMatch())
        << first.toStdString();
    EXPECT_EQ(DeviceIdentity(sources({missing})).platformUUID(), first);
    EXPECT_EQ(DeviceIdentity::system().platformUUID(), DeviceIdentity::system().platformUUID());
}

TEST(SystemInfoTest, ReadsTheOsReleaseNames)
{
    QTemporaryDir folder;
    const auto release = [&folder](const QByteArray &content) {
        const QString path = QDir(folder.path()).filePath("os-release");
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content);
        return path;
    };
    EXPECT_EQ(
        SystemInfo::osVersion(release("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")),
        "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(SystemInfo::osVersion(release("# comment\nNAME='Arch Linux'\nVERSION=rolling\n")), "Arch Linux rolling");
    EXPECT_FALSE(SystemInfo::osVersion(QDir(folder.path()).filePath("absent")).isEmpty());
    EXPECT_FALSE(SystemInfo::computerName().isEmpty());
}

} // namespace
