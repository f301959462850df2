#include "notifications/NotificationManager.h"
#include "platform/UserDefaults.h"
#include "platform/UserNotificationCenter.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace plimsy;

// The desktop's own server: dunst, started by the session bus on the first notice, on the X display.
TEST(NotificationDunstTest, ANoticeReachesTheDesktopServerAndGoesAgain)
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/dunst"))) {
        GTEST_SKIP() << "dunst is not installed (scripts/install-deps installs it)";
    }
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("defaults.conf")));
    // The application's own centre, as the process-wide manager uses it.
    UserNotificationCenter &center = UserNotificationCenter::current();
    NotificationManager::Services services;
    services.center = &center;
    services.defaults = &defaults;
    NotificationManager manager(services);
    manager.postNotification(QStringLiteral("Add Laravel Forge API Key"),
                             QStringLiteral("You need to add an Laravel Forge API key"),
                             QStringLiteral("accountsChanged"),
                             {{QStringLiteral("action"), QStringLiteral("needAPIKeyNotice")}},
                             QStringLiteral("Help…"));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return manager.deliveredNotificationIds().contains("accountsChanged"); }, 30'000));

    const QDBusMessage information = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QString::fromLatin1(UserNotificationCenter::DefaultService),
                                       QStringLiteral("/org/freedesktop/Notifications"),
                                       QStringLiteral("org.freedesktop.Notifications"),
                                       QStringLiteral("GetServerInformation")));
    ASSERT_EQ(information.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(information.arguments().value(0).toString(), QStringLiteral("dunst"));

    manager.removeAllDelivered();
    EXPECT_TRUE(center.deliveredNotifications().isEmpty());
}
