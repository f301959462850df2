// What the shell asks of the network: the launch event, the weekly announcement check and the update
// feed, each against a FakeHttpServer.
#include "Await.h"
#include "FakeAlertPresenter.h"
#include "FakeClock.h"
#include "FakeHttpServer.h"
#include "RecordingUrlOpener.h"
#include "app/AnnouncementChecker.h"
#include "app/SimpleAnalytics.h"
#include "app/UpdateController.h"
#include "core/NotificationNames.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class ShellRequestsFixture
{
protected:
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("Plimsy.conf"))};
    FakeHttpServer server;
    FakeClock clock;
};

// --- The launch event ---------------------------------------------------------------------------

class LaunchEventTest : public ShellRequestsFixture, public ::testing::Test
{
protected:
    QJsonObject sendLaunchEvent()
    {
        const qsizetype before = server.requestCount();
        SimpleAnalytics(server.url(QStringLiteral("/api/v1/stats")).toString(),
                        {nullptr, &defaults, QStringLiteral("C02SERIAL42")})
            .trackLaunch();
        EXPECT_TRUE(QTest::qWaitFor([&] { return server.requestCount() > before; }, 20'000));
        const RecordedRequest request = server.requests().constLast();
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, QStringLiteral("/api/v1/stats"));
        EXPECT_EQ(request.header("content-type"), "application/json; charset=utf-8");
        EXPECT_EQ(request.header("accept"), "application/json");
        return QJsonDocument::fromJson(request.body).object();
    }
};

TEST_F(LaunchEventTest, SendsFiveStringsAndKeepsTheMachineIdentifier)
{
    const QJsonObject first = sendLaunchEvent();
    EXPECT_EQ(first.keys(), (QStringList{"app", "event", "macos", "uuid", "version"}));
    for (const QJsonValue &value : first) {
        EXPECT_TRUE(value.isString());
    }
    EXPECT_EQ(first.value("app"), QStringLiteral("Plimsy"));
    EXPECT_EQ(first.value("version"), QStringLiteral("1.0.0"));
    EXPECT_EQ(first.value("event"), QStringLiteral("lanched"));
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d+\\.\\d+\\.\\d+$")).match(first.value("macos").toString()).hasMatch());
    const QString hashed =
        QString::fromLatin1(QCryptographicHash::hash("C02SERIAL42", QCryptographicHash::Sha1).toHex());
    EXPECT_EQ(first.value("uuid"), hashed);
    EXPECT_EQ(defaults.string(QStringLiteral("uuid")), hashed);

    // A stored identifier, even one edited by hand, is sent as it stands.
    defaults.setValue(QStringLiteral("uuid"), QStringLiteral("edited-by-hand"));
    EXPECT_EQ(sendLaunchEvent().value("uuid"), QStringLiteral("edited-by-hand"));
}

// --- Announcements ------------------------------------------------------------------------------

struct DueRow
{
    const char *name;
    std::optional<qint64> secondsAgo; // none: never checked
    bool isDue;
};

void PrintTo(const DueRow &row, std::ostream *out)
{
    *out << row.name;
}

class AnnouncementDueTest : public ShellRequestsFixture, public ::testing::TestWithParam<DueRow>
{
};

TEST_P(AnnouncementDueTest, ChecksAtMostOnceAWeek)
{
    if (GetParam().secondsAgo) {
        defaults.setValue(QLatin1String(AnnouncementChecker::LastCheckKey),
                          clock.now().toSecsSinceEpoch() - *GetParam().secondsAgo);
    }
    EXPECT_EQ(AnnouncementChecker(server.url().toString(), nullptr, defaults, &clock).shouldCheck(), GetParam().isDue);
}

INSTANTIATE_TEST_SUITE_P(Announcements,
                         AnnouncementDueTest,
                         ::testing::Values(DueRow{"neverChecked", std::nullopt, true},
                                           DueRow{"exactlyAWeekAgo", 604800, false},
                                           DueRow{"aWeekAndASecondAgo", 604801, true},
                                           // The clock was set back: the check counts as due.
                                           DueRow{"inTheFuture", -3600, true}),
                         [](const auto &info) { return std::string(info.param.name); });

struct AnswerRow
{
    const char *name;
    FakeResponse response;
    std::optional<QString> posted;
};

void PrintTo(const AnswerRow &row, std::ostream *out)
{
    *out << row.name;
}

class AnnouncementAnswerTest : public ShellRequestsFixture, public ::testing::TestWithParam<AnswerRow>
{
};

TEST_P(AnnouncementAnswerTest, PostsOnlyAnHttpsAddress)
{
    server.route("GET", QStringLiteral("/v1/announcements"), GetParam().response);
    QObject context;
    QStringList posted;
    NotificationCenter::defaultCenter().addObserver(
        NotificationNames::announcementAvailable, &context, [&](const Notification &notification) {
            posted << notification.userInfo.value(QStringLiteral("URL")).toString();
        });

    AnnouncementChecker checker(server.url(QStringLiteral("/v1/announcements")).toString(), nullptr, defaults, &clock);
    await(checker.check());

    EXPECT_EQ(server.requestCount("GET", QStringLiteral("/v1/announcements")), 1);
    EXPECT_EQ(posted, GetParam().posted ? QStringList{*GetParam().posted} : QStringList());
    // Recorded whatever the answer.
    EXPECT_EQ(defaults.integer(QLatin1String(AnnouncementChecker::LastCheckKey)), clock.now().toSecsSinceEpoch());
}

INSTANTIATE_TEST_SUITE_P(
    Announcements,
    AnnouncementAnswerTest,
    ::testing::Values(AnswerRow{"httpsAddressTrimmed",
                                FakeResponse::text("https://plimsy.tindrel.com/news/2\n"),
                                QStringLiteral("https://plimsy.tindrel.com/news/2")},
                      AnswerRow{"leadingBlank", FakeResponse::text(" https://plimsy.tindrel.com/news/2"), std::nullopt},
                      AnswerRow{"plainHttp", FakeResponse::text("http://plimsy.tindrel.com/news/2"), std::nullopt},
                      AnswerRow{"noContent", FakeResponse::empty(204), std::nullopt},
                      AnswerRow{
                          "serverError", FakeResponse::text("https://plimsy.tindrel.com/news/2", 500), std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Update feed --------------------------------------------------------------------------------

QByteArray feed(const QByteArray &build, const QByteArray &shortVersion, const QByteArray &link)
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" xmlns:plimsy=\"" + QByteArray(Appcast::NamespaceURI)
           + "\"><channel><title>Plimsy</title>"
             "<item><title>Older</title><link>https://plimsy.tindrel.com/old</link>"
             "<enclosure url=\"https://plimsy.tindrel.com/old\" plimsy:version=\"1\" "
             "plimsy:shortVersionString=\"0.9\"/></item>"
             "<item><title>Plimsy</title><link>"
           + link + "</link><enclosure url=\"" + link + "\" plimsy:version=\"" + build
           + "\" plimsy:shortVersionString=\"" + shortVersion + "\"/></item></channel></rss>";
}

struct FeedRow
{
    const char *name;
    QByteArray currentBuild;
    FakeResponse answer;
    // The alert a check the user asked for shows; the daily check shows only "available".
    QString title;
};

void PrintTo(const FeedRow &row, std::ostream *out)
{
    *out << row.name;
}

const QString Available = QStringLiteral("A new version of Plimsy is available!");
const QString UpToDate = QStringLiteral("You're up to date!");
const QString Failed = QStringLiteral("Update Error!");

class UpdateFeedTest : public ShellRequestsFixture, public ::testing::TestWithParam<FeedRow>
{
protected:
    std::unique_ptr<UpdateController> makeController(FakeSleeper &sleeper)
    {
        server.route("GET", QStringLiteral("/appcast.xml"), GetParam().answer);
        defaults.setValue(QLatin1String(UpdateController::LastCheckKey), clock.now().toSecsSinceEpoch());
        return std::make_unique<UpdateController>(
            UpdateController::Services{&defaults,
                                       &alerts,
                                       &opener,
                                       nullptr,
                                       &clock,
                                       &sleeper,
                                       server.url(QStringLiteral("/appcast.xml")).toString(),
                                       QStringLiteral("1.0"),
                                       QString::fromLatin1(GetParam().currentBuild)});
    }

    FakeAlertPresenter alerts;
    RecordingUrlOpener opener;
};

TEST_P(UpdateFeedTest, AUserCheckAnswersAndOnlyAnUpdateIsOfferedDaily)
{
    FakeSleeper sleeper(clock);
    sleeper.setManual(true);
    auto controller = makeController(sleeper);
    QSignalSpy finished(controller.get(), &UpdateController::checkFinished);

    controller->checkForUpdates();
    ASSERT_TRUE(finished.wait(20'000));
    ASSERT_EQ(alerts.shown().size(), 1);
    const FakeAlertPresenter::Shown shown = alerts.shown().constFirst();
    EXPECT_EQ(shown.alert.messageText, GetParam().title);
    alerts.answer(shown.id, 0);
    if (GetParam().title == Available) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !opener.opened.isEmpty(); }, 20'000));
        EXPECT_EQ(opener.opened, QList<QUrl>{QUrl(QStringLiteral("https://plimsy.tindrel.com/download"))});
    }

    // A day later the scheduled check runs and speaks only of an update.
    ASSERT_EQ(sleeper.pending(), 1);
    clock.advance(UpdateController::CheckInterval);
    ASSERT_TRUE(finished.wait(20'000));
    const qsizetype expected = GetParam().title == Available ? 2 : 1;
    EXPECT_EQ(alerts.shown().size(), expected);
    EXPECT_EQ(server.requestCount("GET", QStringLiteral("/appcast.xml")), 2);

    // The next scheduled check ends quietly once the controller is gone.
    for (const auto &open : alerts.open()) {
        alerts.close(open.id);
    }
    controller.reset();
    clock.advance(UpdateController::CheckInterval);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sleeper.pending() == 0; }, 20'000));
}

INSTANTIATE_TEST_SUITE_P(
    Updates,
    UpdateFeedTest,
    ::testing::Values(
        FeedRow{"newer", "1", FakeResponse::text(feed("2", "1.1", "https://plimsy.tindrel.com/download")), Available},
        FeedRow{"equal", "2", FakeResponse::text(feed("2", "1.0", "https://plimsy.tindrel.com/download")), UpToDate},
        FeedRow{"older", "5", FakeResponse::text(feed("2", "0.9", "https://plimsy.tindrel.com/download")), UpToDate},
        FeedRow{"build10AfterBuild9",
                "9",
                FakeResponse::text(feed("10", "1.1", "https://plimsy.tindrel.com/download")),
                Available},
        FeedRow{"malformed", "1", FakeResponse::text("<rss><channel><item>"), Failed},
        FeedRow{
            "plainHttpPage", "1", FakeResponse::text(feed("3", "1.1", "http://plimsy.tindrel.com/download")), Failed},
        FeedRow{"serverError", "1", FakeResponse::text("oops", 500), Failed}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
