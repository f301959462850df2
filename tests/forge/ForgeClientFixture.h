#pragma once

#include "Await.h"
#include "FakeClock.h"
#include "FakeForge.h"
#include "MemoryKeychain.h"
#include "core/APIKeyManager.h"
#include "core/Account.h"
#include "core/Logger.h"
#include "forge/ForgeAPIController.h"
#include "forge/ForgeAPIRequestTracker.h"
#include "forge/WebhookOperationsActor.h"
#include "platform/HttpSession.h"
#include "platform/UserDefaults.h"

#include <QFile>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>

namespace plimsy::test {

// A Forge client wired to a fresh FakeForge, a fake clock and sleeper, its own tracker and webhook
// guard, and an account whose key is kept in memory: the key store's own behaviour is tested elsewhere.
class ForgeClientTest : public ::testing::Test
{
protected:
    static constexpr const char *Key = "forge-test-key";

    FakeForge forge;
    HttpSession session;
    FakeClock clock;
    FakeSleeper sleeper{clock};
    ForgeAPIRequestTracker tracker;
    WebhookOperationsActor webhooks;
    std::unique_ptr<APIKeyManager> keys = std::make_unique<APIKeyManager>(std::make_unique<MemoryKeychain>());
    Account account;
    qint64 logOffset = 0;

    void SetUp() override
    {
        account.name = QStringLiteral("Test account");
        account.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        ASSERT_TRUE(keys->setAPIKey(*account.uuid, QString::fromLatin1(Key)));
        forge.setValidKeys({QString::fromLatin1(Key)});
        forge.setClock([this] { return clock.now(); });
        // Stalls end in "timed out" after this, not after a minute.
        session.setIdleTimeout(std::chrono::milliseconds(700));
        UserDefaults::standard().remove(QString(VerboseLoggingKey));
        logOffset = logText().size();
    }

    ForgeAPIController::Services services()
    {
        ForgeAPIController::Services s;
        s.session = &session;
        s.tracker = &tracker;
        s.webhookOperations = &webhooks;
        s.apiKeys = keys.get();
        s.clock = &clock;
        s.sleeper = &sleeper;
        s.baseURL = forge.apiBase().toString();
        s.computerName = [] { return QStringLiteral("Studio Mac"); };
        return s;
    }

    ForgeAPIController controller() { return ForgeAPIController(account, services()); }

    static void setVerbose(bool on) { UserDefaults::standard().setValue(QString(VerboseLoggingKey), on); }

    // Today's "Plimsy" log as written so far.
    static QString logText()
    {
        Logger::shared().flush();
        const auto folder = Logger::shared().logDirectory();
        QFile file(folder.value_or(QString()) + u'/'
                   + Logger::logFileName(QStringLiteral("Plimsy"), QDateTime::currentDateTime()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // What this test wrote to the log.
    QString newLog() const { return logText().mid(logOffset); }

    template <typename T> static ForgeAPIError::Case forgeErrorOf(QCoro::Task<T> task)
    {
        try {
            await(std::move(task));
        } catch (const ForgeAPIError &error) {
            return error.errorCase();
        }
        ADD_FAILURE() << "no ForgeAPIError was thrown";
        return ForgeAPIError::Case::UnknownError;
    }
};

// The same with an account of one organisation ("org-1"), one server and one site.
class ForgeOneSiteTest : public ForgeClientTest
{
protected:
    void SetUp() override
    {
        ForgeClientTest::SetUp();
        forge.buildAccount(1, 1, 1);
        serverId = forge.servers().front().id;
        siteId = forge.sites().front().id;
    }

    // The API's path of the site, plus `rest`.
    QString siteRoute(const QString &rest = {}) const
    {
        return QStringLiteral("/api/orgs/org-1/servers/%1/sites/%2").arg(serverId).arg(siteId) + rest;
    }

    const QString slug = QStringLiteral("org-1");
    qint64 serverId = 0;
    qint64 siteId = 0;
};

} // namespace plimsy::test
