#include "notifications/LoadLogFiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace plimsy;

TEST(LoadLogFilesTest, TheTwentyNewestSiteMonitorFilesOnlyNewestFirst)
{
    QTemporaryDir root;
    // A folder whose own path holds the prefix must not let every file in.
    const QString folder = root.filePath(QStringLiteral("SiteMonitor_logs"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto touch = [&folder](const QString &name) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    };
    QStringList expected;
    for (int day = 0; day < 25; ++day) {
        const QString name = QStringLiteral("SiteMonitor_%1.log")
                                 .arg(QDate(2026, 1, 2).addDays(day * 7).toString(QStringLiteral("yyyy_MM_dd")));
        touch(name);
        expected.prepend(QDir(folder).filePath(name));
    }
    touch(QStringLiteral("Plimsy_2027_01_01.log"));
    ASSERT_TRUE(QDir(folder).mkdir(QStringLiteral("SiteMonitor_2099_01_01.log")));

    QStringList listed;
    for (const QUrl &file : LoadLogFiles(folder).load()) {
        listed << file.toLocalFile();
    }
    EXPECT_EQ(listed, expected.mid(0, 20));

    EXPECT_TRUE(LoadLogFiles(std::nullopt).load().isEmpty());
    EXPECT_TRUE(LoadLogFiles(root.filePath(QStringLiteral("missing"))).load().isEmpty());
}
