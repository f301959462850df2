#include "crashreporter/client/KestrixBreadcrumbs.h"

#include "LogCapture.h"
#include "crashreporter/client/KXNetworkBreadcrumb.h"
#include "crashreporter/client/KXNotificationBreadcrumbs.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/support/KXFileSystemQueue.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QWindow>

using namespace kestrix;

namespace {

KestrixBreadcrumb breadcrumb(int number)
{
    KestrixBreadcrumb result;
    result.message = QStringLiteral("crumb %1").arg(number);
    return result;
}

QStringList messagesOf(const std::vector<KestrixBreadcrumb> &breadcrumbs)
{
    QStringList messages;
    for (const KestrixBreadcrumb &entry : breadcrumbs) {
        messages << entry.message;
    }
    return messages;
}

class KestrixBreadcrumbsTest : public ::testing::Test
{
protected:
    QString path() const { return m_directory.filePath(QStringLiteral("breadcrumbs")); }
    QStringList files() const
    {
        KXFileSystemQueue::shared().waitUntilIdle();
        return QDir(path()).entryList(QDir::Files);
    }

    QTemporaryDir m_directory;
    KestrixConfiguration m_config{QStringLiteral("0123456789abcdef0123456789abcdef")};
};

TEST_F(KestrixBreadcrumbsTest, theHundredAndFirstReplacesTheOldestInMemoryAndOnDisk)
{
    KestrixBreadcrumbs store(m_config, path());
    store.removeAllBreadcrumbs();
    for (int i = 0; i <= 100; i++) {
        store.addBreadcrumb(breadcrumb(i));
    }
    const QStringList messages = messagesOf(store.breadcrumbs());
    ASSERT_EQ(messages.size(), 100);
    EXPECT_EQ(messages.first(), QStringLiteral("crumb 1"));
    EXPECT_EQ(messages.last(), QStringLiteral("crumb 100"));
    const QStringList written = files();
    EXPECT_EQ(written.size(), 100);
    EXPECT_FALSE(written.contains(QStringLiteral("0.json")));
    EXPECT_TRUE(written.contains(QStringLiteral("100.json")));
    EXPECT_EQ(QFile(QDir(path()).filePath(QStringLiteral("100.json"))).permissions()
                  & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());

    // The next launch reads them back in number order, skipping what is not a breadcrumb file.
    QFile stray(QDir(path()).filePath(QStringLiteral(".hidden.json")));
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.close();
    const KestrixBreadcrumbs nextLaunch(m_config, path());
    const QStringList cached = messagesOf(nextLaunch.cachedBreadcrumbs());
    ASSERT_EQ(cached.size(), 100);
    EXPECT_EQ(cached.first(), QStringLiteral("crumb 1"));
    EXPECT_EQ(cached.at(9), QStringLiteral("crumb 10"));
    EXPECT_EQ(cached.last(), QStringLiteral("crumb 100"));

    store.removeAllBreadcrumbs();
    EXPECT_TRUE(store.breadcrumbs().empty());
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(KestrixBreadcrumbsTest, limitsTypesAndCallbacks)
{
    m_config.enabledErrorTypes.ooms = false;
    m_config.enabledErrorTypes.thermalKills = false;
    m_config.addOnBreadcrumb([](KestrixBreadcrumb &entry) -> bool {
        if (entry.message == QLatin1String("crumb 2")) {
            throw std::runtime_error("callback failed");
        }
        entry.metadata.insert(QStringLiteral("seen"), true);
        return entry.message != QLatin1String("crumb 3");
    });
    KestrixBreadcrumbs store(m_config, path());
    store.removeAllBreadcrumbs();
    LogCapture log;
    for (int i = 1; i <= 3; i++) {
        store.addBreadcrumb(breadcrumb(i));
    }
    EXPECT_EQ(messagesOf(store.breadcrumbs()), (QStringList{QStringLiteral("crumb 1"), QStringLiteral("crumb 2")}));
    EXPECT_TRUE(store.breadcrumbs().front().metadata.value(QStringLiteral("seen")).toBool());
    EXPECT_EQ(log.lines(),
              QStringList{QStringLiteral("[Kestrix] [ERROR] Error from onBreadcrumb callback: callback failed")});
    EXPECT_TRUE(files().isEmpty());

    KestrixBreadcrumb old = breadcrumb(4);
    old.setTimestamp(QDateTime(QDate(2020, 1, 1), QTime(0, 0), QTimeZone::utc()));
    store.addBreadcrumb(old);
    EXPECT_EQ(messagesOf(store.breadcrumbsBeforeDate(QDateTime(QDate(2021, 1, 1), QTime(0, 0), QTimeZone::utc()))),
              QStringList{QStringLiteral("crumb 4")});

    m_config.setMaxBreadcrumbs(0);
    KestrixBreadcrumbs none(m_config, path());
    none.removeAllBreadcrumbs();
    none.addBreadcrumb(breadcrumb(5));
    EXPECT_TRUE(none.breadcrumbs().empty());
}

class RecordingSink : public KXBreadcrumbSink
{
public:
    void leaveBreadcrumb(const QString &message, const QJsonObject &metadata, KestrixBreadcrumbType type) override
    {
        left.push_back({message, metadata, type});
    }

    struct Left
    {
        QString message;
        QJsonObject metadata;
        KestrixBreadcrumbType type;
    };
    std::vector<Left> left;
};

TEST(KXNotificationBreadcrumbsTest, noticesBecomeBreadcrumbs)
{
    KXRunContextData context = {};
    kxrunContextSet(&context);
    KestrixConfiguration config(std::nullopt);
    plimsy::NotificationCenter center;
    RecordingSink sink;
    KXNotificationBreadcrumbs breadcrumbs(config, &sink, center);
    breadcrumbs.start();
    breadcrumbs.startListeningForStateChangeNotification(QStringLiteral("PlimsyRefreshNotificationDidEndNotification"));

    QWindow window;
    window.setObjectName(QStringLiteral("preferencesWindow"));
    window.setTitle(QStringLiteral("Preferences"));
    center.post(QStringLiteral("NSWindowDidBecomeKeyNotification"), &window);
    center.post(QStringLiteral("NSMenuWillSendActionNotification"),
                nullptr,
                {{QStringLiteral("MenuItem"), QStringLiteral("Refresh")}});
    center.post(QStringLiteral("PlimsyRefreshNotificationDidEndNotification"));
    center.post(QStringLiteral("NSProcessInfoThermalStateDidChangeNotification")); // still nominal
    context.thermalState = 2;
    center.post(QStringLiteral("NSProcessInfoThermalStateDidChangeNotification"));
    center.post(QStringLiteral("NSProcessInfoThermalStateDidChangeNotification"));
    kxrunContextSet(nullptr);

    ASSERT_EQ(sink.left.size(), 4u);
    EXPECT_EQ(sink.left[0].message, QStringLiteral("Window Became Key"));
    EXPECT_EQ(sink.left[0].metadata,
              (QJsonObject{{QStringLiteral("description"), QStringLiteral("QWindow(preferencesWindow)")},
                           {QStringLiteral("title"), QStringLiteral("Preferences")}}));
    EXPECT_EQ(sink.left[1].metadata, (QJsonObject{{QStringLiteral("action"), QStringLiteral("Refresh")}}));
    EXPECT_EQ(sink.left[2].message, QStringLiteral("PlimsyRefreshDidEnd"));
    EXPECT_EQ(sink.left[2].type, KestrixBreadcrumbType::State);
    EXPECT_EQ(sink.left[3].message, QStringLiteral("Thermal State Changed"));
    EXPECT_EQ(sink.left[3].metadata,
              (QJsonObject{{QStringLiteral("from"), QStringLiteral("nominal")},
                           {QStringLiteral("to"), QStringLiteral("serious")}}));

    // Only the types the configuration records are observed.
    config.enabledBreadcrumbTypes = 0x04; // user
    RecordingSink userOnly;
    KXNotificationBreadcrumbs limited(config, &userOnly, center);
    limited.start();
    sink.left.clear();
    center.post(QStringLiteral("NSApplicationDidBecomeActiveNotification"));
    center.post(QStringLiteral("NSControlTextDidBeginEditingNotification"));
    ASSERT_EQ(userOnly.left.size(), 1u);
    EXPECT_EQ(userOnly.left[0].message, QStringLiteral("Control Text Began Edit"));
    EXPECT_EQ(userOnly.left[0].type, KestrixBreadcrumbType::User);
    EXPECT_EQ(sink.left.size(), 2u);
}

TEST(KXNetworkBreadcrumbTest, describesTheRequestWithoutItsQuery)
{
    KXNetworkRequestInfo request;
    request.method = QStringLiteral("GET");
    request.url = QUrl(QStringLiteral("https://forge.example/api/servers?page=1&page=2&verbose#top"));
    request.bodyLength = 12;
    request.statusCode = 404;
    request.bytesReceived = 321;
    request.durationMilliseconds = 5'000'000'000; // past 32 bits
    const KestrixBreadcrumb breadcrumb = kxNetworkRequestBreadcrumb(request);
    EXPECT_EQ(breadcrumb.type, KestrixBreadcrumbType::Request);
    EXPECT_EQ(breadcrumb.message, QStringLiteral("NSURLSession request failed"));
    EXPECT_EQ(breadcrumb.metadata,
              QJsonDocument::fromJson(
                  R"({"duration": 5000000000, "method": "GET", "url": "https://forge.example/api/servers#top",
                                          "urlParams": {"page": ["1", "2"], "verbose": null},
                                          "requestContentLength": 12, "responseContentLength": 321, "status": 404})")
                  .object());

    request.statusCode.reset();
    EXPECT_EQ(kxNetworkRequestBreadcrumb(request).message, QStringLiteral("NSURLSession request error"));
    request.statusCode = 204;
    EXPECT_EQ(kxNetworkRequestBreadcrumb(request).message, QStringLiteral("NSURLSession request succeeded"));
}

} // namespace
