// A verbose session through the real menu, Forge client and account client: none of the user's secrets
// may reach standard output, standard error or any log file.
#include "FakeAccountBackend.h"
#include "StatusMenuFixture.h"
#include "menu/MenuTags.h"

#include <QDir>
#include <QDirIterator>

#include <unistd.h>

#include <cstdio>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// Standard output and error of this process go to files while it lives, also what Qt and C print.
class OutputCapture
{
public:
    OutputCapture()
    {
        for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            std::fflush(nullptr);
            m_saved.push_back(::dup(fd));
            const QByteArray path = QFile::encodeName(m_folder.filePath(QString::number(fd)));
            FILE *file = std::fopen(path.constData(), "w");
            ::dup2(::fileno(file), fd);
            std::fclose(file);
        }
    }
    ~OutputCapture() { restore(); }

    // Everything written, once the streams are back.
    QString text()
    {
        restore();
        QString all;
        for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
            QFile file(m_folder.filePath(QString::number(fd)));
            all += file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        }
        return all;
    }

private:
    void restore()
    {
        std::fflush(nullptr);
        for (size_t i = 0; i < m_saved.size(); ++i) {
            ::dup2(m_saved[i], i == 0 ? STDOUT_FILENO : STDERR_FILENO);
            ::close(m_saved[i]);
        }
        m_saved.clear();
    }

    QTemporaryDir m_folder;
    std::vector<int> m_saved;
};

QString logFiles()
{
    Logger::shared().flush();
    QString all;
    QDirIterator files(*Logger::shared().logDirectory(), QDir::Files);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly)) {
            all += QString::fromUtf8(file.readAll());
        }
    }
    return all;
}

class NoSecretsTest : public StatusMenuFixture
{
protected:
    QAction *siteAction(qint64 siteId, const QString &titlePrefix) const
    {
        QAction *site = MenuItems::findItem(menu(), MenuTag::site(siteId));
        QMenu *siteMenu = site ? MenuItems::submenu(site) : nullptr;
        if (!siteMenu) {
            return nullptr;
        }
        for (QAction *item : MenuItems::items(siteMenu)) {
            if (item->text().startsWith(titlePrefix)) {
                return item;
            }
        }
        return nullptr;
    }

    FakeAccountBackend backend;
    HttpSession backendSession;
    APIClient backendClient{backendSession, [this] { return backend.apiBase(); }};
    ServiceContainer backendServices{
        backendClient, std::make_shared<KeychainTokenStore>(std::make_unique<MemoryKeychain>()), defaults};
};

} // namespace

TEST_F(NoSecretsTest, AVerboseSessionWritesNoSecretAnywhere)
{
    UserDefaults::standard().setValue(QString(VerboseLoggingKey), true);
    const QString apiKey = QStringLiteral("forge-key-5d41402abc4b2a76");
    const QString accessToken = backend.issueToken();
    backendServices.tokenStore().setAccessToken(accessToken);
    const QString webhookAddress = backend.webhookUrl();
    addAccount(QStringLiteral("Main"), apiKey);
    forge.setValidKeys({apiKey});
    const QString slug = forge.addOrganization(QStringLiteral("Acme")).slug;
    const qint64 serverId = forge.addServer(slug, QStringLiteral("web")).id;
    FakeForge::Site &site = forge.addSite(serverId, QStringLiteral("shop.example"));
    const qint64 siteId = site.id;
    site.attributes.insert(QStringLiteral("deployment_url"),
                           QStringLiteral("https://forge.example/servers/1/sites/2/deploy/http?token=trigger-7f3a9c"));
    site.environment = QStringLiteral("APP_KEY=base64:env-0c9a7d21\nDB_PASSWORD=db-pass-44e1\n");
    site.deploymentScript = QStringLiteral("cd /home/forge/shop && echo script-9b2e51");
    QFile machineIdFile(QStringLiteral("/etc/machine-id"));
    const QString machineId =
        machineIdFile.open(QIODevice::ReadOnly) ? QString::fromLatin1(machineIdFile.readAll()).trimmed() : QString();

    OutputCapture output;
    StatusMenuServices withDevice = services();
    withDevice.deviceService = &backendServices.deviceService();
    start(withDevice);
    networkUp();
    waitUntilIdle();
    ASSERT_NE(siteAction(siteId, "Notify on Deploy"), nullptr);

    siteAction(siteId, "Notify on Deploy")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return webhooks.registration(siteId).has_value(); }, 20'000));
    siteAction(siteId, "Edit .env")->trigger();
    const QString environmentPath =
        QStringLiteral("/api/orgs/%1/servers/%2/sites/%3/environment").arg(slug).arg(serverId).arg(siteId);
    ASSERT_TRUE(QTest::qWaitFor([&] { return forge.requestCount("GET", environmentPath) == 1; }, 20'000));
    siteAction(siteId, "Deploy Site")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !alerts.open().isEmpty(); }, 20'000));
    alerts.answer(alerts.open().last().id, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return forge.site(siteId)->deployments.size() > 0; }, 20'000));
    refreshAndWait();
    QTest::qWait(0);

    const QString written = output.text() + logFiles();
    ASSERT_TRUE(written.contains(QStringLiteral("---------- OUT ---------->"))) << "the traces were not captured";
    QStringList secrets{apiKey,
                        accessToken,
                        webhookAddress,
                        QStringLiteral("trigger-7f3a9c"),
                        QStringLiteral("env-0c9a7d21"),
                        QStringLiteral("db-pass-44e1"),
                        QStringLiteral("script-9b2e51")};
    if (!machineId.isEmpty()) {
        // Also as a UUID, the form the device identifier once had.
        secrets << machineId
                << machineId.left(8) + u'-' + machineId.mid(8, 4) + u'-' + machineId.mid(12, 4) + u'-'
                       + machineId.mid(16, 4) + u'-' + machineId.mid(20);
    }
    for (const QString &secret : secrets) {
        EXPECT_FALSE(written.contains(secret, Qt::CaseInsensitive)) << qPrintable(secret);
    }
}
