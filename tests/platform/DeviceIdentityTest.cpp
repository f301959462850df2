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

TEST_F(DeviceIdentityTest, TheMachineIdBecomesAnUpperCaseUuidAndTheSerialIsDerivedFromIt)
{
    const QString machineId = write("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    const DeviceIdentity identity(sources({machineId}));
    EXPECT_EQ(identity.platformUUID(), "3D1219C7-C4C5-404A-AA1F-6D2A48ADFDA4");
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{12}$").match(identity.serialNumber()).hasMatch())
        << identity.serialNumber().toStdString();
    EXPECT_FALSE(QString("3D1219C7C4C5404AAA1F6D2A48ADFDA4").contains(identity.serialNumber()));

    const DeviceIdentity again(sources({machineId}));
    EXPECT_EQ(again.platformUUID(), identity.platformUUID());
    EXPECT_EQ(again.serialNumber(), identity.serialNumber());
}

TEST_F(DeviceIdentityTest, AReadableSerialIsUsedButPlaceholdersAreNot)
{
    const QString machineId = write("machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4");
    EXPECT_EQ(DeviceIdentity(sources({machineId}, write("serial", "  PF2ABC12\n"))).serialNumber(), "PF2ABC12");
    const QString derived = DeviceIdentity(sources({machineId})).serialNumber();
    EXPECT_EQ(DeviceIdentity(sources({machineId}, write("oem", "To Be Filled By O.E.M.\n"))).serialNumber(), derived);
}

TEST_F(DeviceIdentityTest, TheNextMachineIdFileStandsInForAMissingOrBrokenOne)
{
    const QString broken = write("broken", "not-a-machine-id");
    const QString dbus = write("dbus-machine-id", "00112233445566778899aabbccddeeff");
    EXPECT_EQ(DeviceIdentity(sources({broken, dbus})).platformUUID(), "00112233-4455-6677-8899-AABBCCDDEEFF");
}

TEST_F(DeviceIdentityTest, WithoutAMachineIdAGeneratedIdentifierIsKeptAcrossRuns)
{
    const QString missing = QDir(folder.path()).filePath("missing");
    const QString first = DeviceIdentity(sources({missing})).platformUUID();
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$").match(first).hasMatch())
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
