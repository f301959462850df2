// The address readers as a release build compiles them (without PLIMSY_DEVELOPMENT_OVERRIDES): the
// environment's PLIMSY_* addresses are ignored, and the log says so once.
#include "LogCapture.h"
#include "core/Logger.h"
#include "core/URLConstants.h"
#include "crashreporter/model/KestrixConfiguration.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

using namespace plimsy;

namespace {

QString loggedText()
{
    Logger::shared().flush();
    QString text;
    const QDir folder(Logger::shared().logDirectory().value_or(QString()));
    for (const QString &name : folder.entryList({QStringLiteral("Plimsy_*.log")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        if (file.open(QIODevice::ReadOnly)) {
            text += QString::fromUtf8(file.readAll());
        }
    }
    return text;
}

TEST(ReleaseOverridesTest, TheEnvironmentsAddressesAreIgnoredAndThatIsLoggedOnce)
{
    qputenv("PLIMSY_FORGE_API_BASE", "http://127.0.0.1:1/api/");
    qputenv("PLIMSY_UPDATE_FEED_URL", "http://127.0.0.1:1/appcast.xml");
    const QString before = loggedText();

    EXPECT_EQ(URLConstants::forgeAPIBase(), QStringLiteral("https://forge.laravel.com/api/"));
    EXPECT_EQ(URLConstants::updateFeedURL(), QStringLiteral("https://plimsy.tindrel.com/appcast.xml"));
    EXPECT_EQ(URLConstants::forgeAPIBase(), QStringLiteral("https://forge.laravel.com/api/"));
    EXPECT_TRUE(URLConstants::productAPIBase().startsWith(QStringLiteral("https://")));
    const QString logged = loggedText().mid(before.size());
    EXPECT_EQ(logged.count(QStringLiteral("[URLConstants] This build ignores the address overrides of the "
                                          "environment: PLIMSY_FORGE_API_BASE, PLIMSY_UPDATE_FEED_URL\n")),
              1)
        << logged.toStdString();
    EXPECT_EQ(logged.count(u'\n'), 1) << logged.toStdString();
    qunsetenv("PLIMSY_FORGE_API_BASE");
    qunsetenv("PLIMSY_UPDATE_FEED_URL");

    // The crash reporter keeps the intake its settings name, not the test harness's closed port.
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("PLIMSY_CRASH_NOTIFY_URL"));
    LogCapture crashLog;
    const auto config = kestrix::KestrixConfiguration::loadConfig(
        QJsonDocument::fromJson(R"({"apiKey": "0123456789abcdef0123456789abcdef",
                                    "endpoints": {"notify": "https://a.example", "sessions": "https://b.example"}})")
            .object());
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->endpoints().notify, QStringLiteral("https://a.example"));
    EXPECT_EQ(config->endpoints().sessions, QStringLiteral("https://b.example"));
    EXPECT_EQ(crashLog.lines(),
              QStringList{QStringLiteral(
                  "[Kestrix] [WARN] This build ignores PLIMSY_CRASH_NOTIFY_URL and PLIMSY_CRASH_SESSIONS_URL")});
}

} // namespace
