#include "core/Logger.h"

#include "FakeClock.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace plimsy;
using plimsy::test::FakeClock;

namespace {

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

int modeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

class LoggerTest : public ::testing::Test
{
protected:
    QTemporaryDir root;
    const QString folder = root.filePath("nested/logs");
    FakeClock clock{QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7))};
    Logger logger{folder, &clock};

    QString stamp() const { return clock.now().toString("yyyy-MM-dd HH:mm:ss"); }
    QString file(const QString &name) const { return readFile(QDir(folder).filePath(name)); }
};

TEST_F(LoggerTest, WritesOneFilePerCategoryAndDayWithStampedLines)
{
    logger.log(QStringLiteral("[StatusMenu] refresh"), QStringLiteral("Plimsy"));
    logger.log(QStringLiteral("Failed to unarchive accounts: x"), QStringLiteral("AccountManager"));
    logger.log(QStringLiteral("example.com up ✓"), QStringLiteral("SiteMonitor"));
    logger.log(QStringLiteral("no category"), std::nullopt);
    logger.flush();

    const QString prefix = "[" + stamp() + "] ";
    EXPECT_EQ(file("Plimsy_2026_12_08.log"), prefix + "[StatusMenu] refresh\n");
    EXPECT_EQ(file("AccountManager_2026_12_08.log"), prefix + "Failed to unarchive accounts: x\n");
    EXPECT_EQ(file("SiteMonitor_2026_12_08.log"), prefix + "example.com up ✓\n");
    EXPECT_EQ(file("2026_12_08.log"), prefix + "no category\n");

    clock.set(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1)));
    logger.log(QStringLiteral("next day"), QStringLiteral("Plimsy"));
    logger.flush();
    EXPECT_EQ(file("Plimsy_2026_12_09.log"), "[2026-12-09 00:00:01] next day\n");
    EXPECT_EQ(file("Plimsy_2026_12_08.log"), prefix + "[StatusMenu] refresh\n");
}

TEST_F(LoggerTest, KeepsCallOrderAndAppends)
{
    QString expected;
    for (int i = 0; i < 300; ++i) {
        logger.log(QString::number(i), QStringLiteral("Plimsy"));
        expected += "[" + stamp() + "] " + QString::number(i) + "\n";
    }
    logger.flush();
    EXPECT_EQ(file("Plimsy_2026_12_08.log"), expected);
}

TEST_F(LoggerTest, AnAbsentMessageWritesNothing)
{
    logger.log(std::nullopt, QStringLiteral("Plimsy"));
    logger.flush();
    EXPECT_FALSE(QFileInfo::exists(QDir(folder).filePath("Plimsy_2026_12_08.log")));
}

TEST_F(LoggerTest, FolderAndFilesAreOwnerOnly)
{
    logger.log(QStringLiteral("secret-free line"), QStringLiteral("Plimsy"));
    logger.flush();
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(modeOf(QDir(folder).filePath("Plimsy_2026_12_08.log")), 0600);
}

TEST_F(LoggerTest, ClearingRemovesOnlyLogFiles)
{
    logger.log(QStringLiteral("a"), QStringLiteral("Plimsy"));
    logger.log(QStringLiteral("b"), QStringLiteral("SiteMonitor"));
    logger.log(QStringLiteral("c"), std::nullopt);
    logger.flush();
    const QDir dir(folder);
    ASSERT_TRUE(dir.mkpath("sub"));
    for (const QString &name : {QStringLiteral("notes.txt"),
                                QStringLiteral("sub/Plimsy_2026_12_08.log"),
                                QStringLiteral("Plimsy_2026_12_08.log.bak"),
                                QStringLiteral("settings.log")}) {
        QFile other(dir.filePath(name));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    }

    logger.clearLogs();
    logger.flush();

    QStringList left = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    EXPECT_EQ(left, (QStringList{"Plimsy_2026_12_08.log.bak", "notes.txt", "settings.log", "sub"}));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("sub/Plimsy_2026_12_08.log")));

    logger.log(QStringLiteral("after"), QStringLiteral("Plimsy"));
    logger.flush();
    EXPECT_EQ(file("Plimsy_2026_12_08.log"), "[" + stamp() + "] after\n");
}

TEST(LoggerSharedTest, GlobalLogWritesToThePlimsyFileOfTheApplicationFolder)
{
    const std::optional<QString> folder = Logger::shared().logDirectory();
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, AppPaths::applicationDirectory());

    const QString marker = "marker " + QString::number(QDateTime::currentMSecsSinceEpoch());
    log(marker);
    Logger::shared().flush();

    const QStringList files = QDir(*folder).entryList({"Plimsy_*.log"}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    EXPECT_TRUE(readFile(QDir(*folder).filePath(files.last())).contains("] " + marker + "\n"));
}

Q_LOGGING_CATEGORY(lcLoggerTest, "plimsy.loggertest")

TEST(LoggerSharedTest, QtWarningsReachThePlimsyFileAndTheHandlerBefore)
{
    static QStringList s_passedOn;
    const QtMessageHandler original = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &message) { s_passedOn.append(message); });
    const QtMessageHandler previous = routeQtMessagesToLog();
    const QString marker = QString::number(QDateTime::currentMSecsSinceEpoch());
    qCWarning(lcLoggerTest).noquote() << "warning" << marker;
    qCritical().noquote() << "critical" << marker;
    qCDebug(lcLoggerTest).noquote() << "debug" << marker;
    qInstallMessageHandler(original);
    Logger::shared().flush();

    EXPECT_NE(previous, nullptr);
    EXPECT_EQ(s_passedOn.filter(marker).size(), lcLoggerTest().isDebugEnabled() ? 3 : 2);
    const QString folder = *Logger::shared().logDirectory();
    QString written;
    for (const QString &name : QDir(folder).entryList({"Plimsy_*.log"}, QDir::Files)) {
        written += readFile(QDir(folder).filePath(name));
    }
    EXPECT_TRUE(written.contains("] [plimsy.loggertest] warning " + marker + "\n")) << written.toStdString();
    EXPECT_TRUE(written.contains("] [Qt] critical " + marker + "\n")) << written.toStdString();
    EXPECT_FALSE(written.contains("debug " + marker));
}

// The writer is done before the statics it uses go: a process that logs a burst and quits at once exits
// cleanly, with or without an application object; with one (as Plimsy has), every line is written first.
class LoggerAtExitTest : public testing::TestWithParam<const char *>
{
};

TEST_P(LoggerAtExitTest, LinesLoggedJustBeforeQuittingAreAllWritten)
{
    QTemporaryDir data;
    ASSERT_TRUE(data.isValid());
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", data.path());
    probe.setProcessEnvironment(environment);
    probe.start(PLIMSY_LOGGER_EXIT_PROBE, {GetParam()});
    ASSERT_TRUE(probe.waitForFinished(30000)) << "the probe hung";
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << probe.readAllStandardError().toStdString();
    EXPECT_EQ(probe.exitCode(), 0);
    if (QByteArray(GetParam()) != "with-application") {
        return;
    }

    QDirIterator logs(data.path(), {QStringLiteral("*.log")}, QDir::Files, QDirIterator::Subdirectories);
    ASSERT_TRUE(logs.hasNext());
    const QStringList lines = readFile(logs.next()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2000);
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral("] line 2000"))) << lines.last().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Quitting, LoggerAtExitTest, testing::Values("with-application", "without-application"));

} // namespace
