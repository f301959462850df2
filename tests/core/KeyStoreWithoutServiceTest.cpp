#include "EmptySessionBus.h"

#include <QProcess>

namespace {

// The key store and the migration when the store itself cannot be reached: a child program against a
// session bus that has no Secret Service and cannot start one.
TEST(KeyStoreWithoutServiceTest, RefusesEveryChangeAndLeavesTheMigrationUndone)
{
    plimsy::test::EmptySessionBus bus;
    const QString address = bus.start();
    ASSERT_FALSE(address.isEmpty());
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    probe.setProcessEnvironment(environment);
    probe.start(PLIMSY_KEY_STORE_PROBE, {});
    ASSERT_TRUE(probe.waitForFinished(20000)) << "the probe hung";
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
              (QStringList{"load refused", "set refused", "save refused", "key none", "migration nothing unmarked"}));
}

} // namespace
