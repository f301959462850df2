#pragma once

#include "EditorTestSupport.h"
#include "FakeAlertPresenter.h"
#include "FakeClock.h"
#include "FakeForge.h"
#include "RecordingUrlOpener.h"
#include "core/APIKeyManager.h"
#include "core/SimpleKeychain.h"
#include "editor/ConfigurationEditorViewModel.h"
#include "editor/ConfigurationWindowController.h"
#include "editor/ConfigurationWindowDispatcher.h"
#include "editor/DeploymentScriptFileStore.h"
#include "forge/ForgeAPIRequestTracker.h"
#include "forge/WebhookOperationsActor.h"
#include "platform/HttpSession.h"
#include "platform/NotificationCenter.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <memory>

namespace plimsy::test {

// One configuration window with its dispatcher, loading from and saving to a FakeForge over HTTP, with
// alerts and file panels answered by the test and pauses on fake time.
class EditorWindowFixture : public ::testing::Test
{
protected:
    static constexpr const char *Key = "editor-test-key";

    void SetUp() override
    {
        account.name = QStringLiteral("Main");
        account.uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        ASSERT_TRUE(keys->setAPIKey(*account.uuid, QString::fromLatin1(Key)));
        forge.setValidKeys({QString::fromLatin1(Key)});
        slug = forge.addOrganization(QStringLiteral("Acme")).slug;
        FakeForge::Server &fakeServer = forge.addServer(slug, QStringLiteral("web-1"));
        FakeForge::Site &fakeSite = forge.addSite(fakeServer.id, QStringLiteral("shop.example"));
        server.id = fakeServer.id;
        server.name = QStringLiteral("web-1");
        server.organizationSlug = slug;
        site.id = fakeSite.id;
        site.name = QStringLiteral("shop.example");
        site.serverId = fakeServer.id;
        NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("windowClosed"), &observer, [this](const Notification &notification) {
                closedWindows << notification.userInfo.value(QStringLiteral("uuid")).toString();
            });
    }

    void TearDown() override
    {
        for (const auto &shown : alerts.open()) {
            alerts.close(shown.id);
        }
        dispatcher.reset();
        // The window goes now: its page must not outlive the test.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        SecretStore::removeAll(keyService);
    }

    ForgeAPIController::Services forgeServices()
    {
        ForgeAPIController::Services s;
        s.session = &session;
        s.tracker = &tracker;
        s.webhookOperations = &webhooks;
        s.apiKeys = keys.get();
        s.clock = &clock;
        s.sleeper = &forgeSleeper;
        s.baseURL = forge.apiBase().toString();
        return s;
    }

    // Opens the window for `type` and waits until the editor shows what Forge served.
    void open(ConfigurationType type)
    {
        showWindow(type);
        ASSERT_TRUE(waitUntilReady(window()->monacoEditor())) << window()->monacoEditor()->failure().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !window()->isLoading(); }, EditorWaitLimit));
    }

    // Makes the window for `type` and asks it to show, as the menu does.
    void showWindow(ConfigurationType type)
    {
        auto controller = std::make_unique<ConfigurationWindowController>(
            ConfigurationWindowController::Services{&alerts, &opener, &defaults, &sleeper});
        dispatcher = std::make_unique<ConfigurationWindowDispatcher>(
            QStringLiteral("window-key"),
            std::move(controller),
            server,
            type == ConfigurationType::NginxAccessLogs || type == ConfigurationType::NginxErrorLogs
                ? std::nullopt
                : std::optional<Site>(site),
            account,
            type,
            ConfigurationWindowDispatcher::Services{forgeServices(), &alerts, &sleeper, &fileStore});
        dispatcher->show();
    }

    ConfigurationWindowController *window() const { return dispatcher->configWindow(); }
    MonacoEditorView *editor() const { return window()->monacoEditor(); }
    ConfigurationEditorViewModel *model() const { return window()->viewModel(); }
    QPushButton *saveButton() const { return window()->findChild<QPushButton *>(QStringLiteral("saveButton")); }

    // Types plain characters into the editor and waits until the page holds them all and the window has
    // seen the edit.
    void typeIntoEditor(const QString &keys)
    {
        const qsizetype before = pageText(editor()).value_or(QString()).size();
        typeKeys(editor(), keys);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return pageText(editor()).value_or(QString()).size() == before + keys.size() && window()->hasChanges();
            },
            EditorWaitLimit));
    }

    QString sitePath(const QString &suffix) const
    {
        return QStringLiteral("/api/orgs/%1/servers/%2/sites/%3/").arg(slug).arg(server.id).arg(site.id) + suffix;
    }

    // The JSON bodies of the requests with this method and path, in order.
    QList<QJsonObject> bodies(const QByteArray &method, const QString &path) const
    {
        QList<QJsonObject> result;
        for (const RecordedRequest &request : forge.requests()) {
            if (request.method == method && request.path == path) {
                result << QJsonDocument::fromJson(request.body).object();
            }
        }
        return result;
    }

    bool waitForAlert(const QString &messageText)
    {
        return QTest::qWaitFor(
            [&] {
                const auto open = alerts.open();
                return !open.isEmpty() && open.last().alert.messageText == messageText;
            },
            EditorWaitLimit);
    }
    void answerAlert(int button) { alerts.answer(alerts.open().last().id, button); }

    const QString keyService = "com.tindrel.plimsy.test.editor." + QUuid::createUuid().toString(QUuid::WithoutBraces);
    FakeForge forge;
    HttpSession session;
    FakeClock clock;
    FakeSleeper forgeSleeper{clock};
    FakeSleeper sleeper{clock};
    ForgeAPIRequestTracker tracker;
    WebhookOperationsActor webhooks;
    std::unique_ptr<APIKeyManager> keys = std::make_unique<APIKeyManager>(std::make_unique<SimpleKeychain>(keyService));
    FakeAlertPresenter alerts;
    RecordingUrlOpener opener;
    QTemporaryDir folder;
    UserDefaults defaults{folder.filePath(QStringLiteral("Plimsy.conf"))};
    DeploymentScriptFileStore fileStore{defaults};
    QObject observer;
    QStringList closedWindows;
    Account account;
    QString slug;
    Server server;
    Site site;
    std::unique_ptr<ConfigurationWindowDispatcher> dispatcher;
};

} // namespace plimsy::test
