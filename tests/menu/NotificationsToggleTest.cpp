#include "FakeAccountBackend.h"
#include "StatusMenuFixture.h"
#include "account/ServiceContainer.h"
#include "forge/ForgeAPIError.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/MenuRepresenter.h"
#include "menu/MenuTags.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The real controller and menus against FakeForge, with the device service talking real HTTP to the
// fake account backend under a signed-in user.
class NotificationsToggleTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        StatusMenuFixture::SetUp();
        backendServices.tokenStore().setAccessToken(backend.issueToken());
        addAccount(QStringLiteral("Main"));
        slug = forge.addOrganization(QStringLiteral("Acme")).slug;
        serverId = forge.addServer(slug, QStringLiteral("web")).id;
        shop = forge.addSite(serverId, QStringLiteral("shop.example")).id;
        blog = forge.addSite(serverId, QStringLiteral("blog.example")).id;
        address = backend.webhookUrl();
    }

    // Starts the controller with the device service and loads the menu.
    void startLoaded()
    {
        StatusMenuServices withDevice = services();
        withDevice.deviceService = &backendServices.deviceService();
        start(withDevice);
        networkUp();
        waitUntilIdle();
    }

    QAction *notifyItem(qint64 siteId) const
    {
        QAction *site = MenuItems::findItem(menu(), MenuTag::site(siteId));
        return site ? itemTitled(MenuItems::submenu(site), QStringLiteral("Notify on Deploy")) : nullptr;
    }

    // Clicks "Notify on Deploy"; the item calls the controller on the next turn of the event loop.
    void click(qint64 siteId)
    {
        notifyItem(siteId)->trigger();
        QCoreApplication::processEvents();
    }

    // Clicks and waits until the toggle has ended and its alert, if any, is up.
    void toggle(qint64 siteId)
    {
        click(siteId);
        waitForToggles();
    }

    void waitForToggles()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return controller->webhookOperationsInProgress().isEmpty(); }, 20'000));
        QCoreApplication::processEvents();
    }

    QString webhooksPath(qint64 siteId) const
    {
        return QStringLiteral("/api/orgs/%1/servers/%2/sites/%3/webhooks").arg(slug).arg(serverId).arg(siteId);
    }

    QStringList deletions() const
    {
        QStringList paths;
        for (const RecordedRequest &request : forge.requests()) {
            if (request.method == "DELETE") {
                paths << request.path;
            }
        }
        return paths;
    }

    qsizetype connectRequests() const
    {
        return backend.server().requestCount("POST", QStringLiteral("/v1/forge/connect"));
    }

    QList<qint64> webhookIds(qint64 siteId)
    {
        QList<qint64> ids;
        for (const FakeForge::Webhook &webhook : forge.site(siteId)->webhooks) {
            ids << webhook.id;
        }
        return ids;
    }

    void storeRegistration(qint64 siteId, qint64 webhookId)
    {
        webhooks.save({siteId, serverId, webhookId, QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC)});
    }

    // The local notice, as this build's notice stand-in records it.
    // Waits for the notice to reach the desktop's (fake) notification server.
    bool noticePosted(const QString &title, const QString &body) const
    {
        return QTest::qWaitFor(
            [&] {
                const auto notices = noticeServer.notices();
                return std::any_of(notices.begin(), notices.end(), [&](const FakeNotificationServer::Notice &notice) {
                    return notice.summary == title && notice.body == body;
                });
            },
            20'000);
    }

    FakeAccountBackend backend;
    HttpSession backendSession;
    APIClient backendClient{backendSession, [this] { return backend.apiBase(); }};
    ServiceContainer backendServices{
        backendClient, std::make_shared<KeychainTokenStore>(std::make_unique<MemoryKeychain>()), defaults};

    QString slug;
    qint64 serverId = 0;
    qint64 shop = 0;
    qint64 blog = 0;
    QString address;
};

TEST_F(NotificationsToggleTest, EnablingCreatesTheWebhookAtTheBackendsAddressAndRemembersIt)
{
    startLoaded();
    ASSERT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::Off);
    clock.advance(std::chrono::minutes(7));
    const QDateTime clicked = clock.now();

    toggle(shop);

    const auto connects = backend.server().requests("POST", QStringLiteral("/v1/forge/connect"));
    ASSERT_EQ(connects.size(), 1);
    EXPECT_EQ(connects.first().header("authorization"),
              "Bearer " + backendServices.tokenStore().accessToken().value_or(QString()).toUtf8());
    const auto posts = forge.http().requests("POST", webhooksPath(shop));
    ASSERT_EQ(posts.size(), 1);
    EXPECT_EQ(QJsonDocument::fromJson(posts.first().body).object(), (QJsonObject{{"url", address}}));
    ASSERT_EQ(forge.site(shop)->webhooks.size(), 1);
    const auto stored = webhooks.registration(shop);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, (WebhookRegistration{shop, serverId, forge.site(shop)->webhooks.first().id, clicked}));
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::On);
    EXPECT_EQ(controller->lastUserActivity(), clicked);
    // Success is a notice, never the error alert.
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_TRUE(noticePosted("Notifications Enabled", "You'll be notified when shop.example deploys"));
}

TEST_F(NotificationsToggleTest, TheFetchedAddressServesEveryLaterToggle)
{
    startLoaded();

    toggle(shop);
    toggle(blog);
    toggle(shop);
    toggle(shop);

    EXPECT_EQ(connectRequests(), 1);
    QList<QJsonObject> posted;
    for (const RecordedRequest &request : forge.requests()) {
        if (request.method == "POST") {
            posted << QJsonDocument::fromJson(request.body).object();
        }
    }
    EXPECT_EQ(posted, QList<QJsonObject>(3, QJsonObject{{"url", address}}));
    EXPECT_EQ(deletions().size(), 1);
    EXPECT_TRUE(alerts.shown().isEmpty());
    ASSERT_EQ(forge.site(shop)->webhooks.size(), 1);
    EXPECT_EQ(webhooks.registration(shop)->webhookId, forge.site(shop)->webhooks.first().id);
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::On);
}

TEST_F(NotificationsToggleTest, AWebhookWithTheSameAddressIsReusedWithoutPosting)
{
    const qint64 existing = forge.addWebhook(shop, address + QStringLiteral("\n")).id;
    startLoaded();

    toggle(shop);

    EXPECT_EQ(forge.requestCount("POST", webhooksPath(shop)), 0);
    ASSERT_TRUE(webhooks.registration(shop).has_value());
    EXPECT_EQ(webhooks.registration(shop)->webhookId, existing);
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::On);
}

TEST_F(NotificationsToggleTest, ADoubleClickPostsOnceAndTheNextClickSwitchesOff)
{
    startLoaded();

    notifyItem(shop)->trigger();
    click(shop);
    waitForToggles();

    EXPECT_EQ(connectRequests(), 1);
    EXPECT_EQ(forge.requestCount("POST", webhooksPath(shop)), 1);
    EXPECT_EQ(forge.site(shop)->webhooks.size(), 1);
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::On);

    toggle(shop);
    EXPECT_FALSE(webhooks.registration(shop).has_value());
    EXPECT_TRUE(forge.site(shop)->webhooks.isEmpty());
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::Off);
}

TEST_F(NotificationsToggleTest, DisablingDeletesEveryWebhookWithTheAddressInOrderAndForgetsOnlyThatSite)
{
    const qint64 first = forge.addWebhook(shop, QStringLiteral(" ") + address + QStringLiteral("\n")).id;
    const qint64 foreign = forge.addWebhook(shop, QStringLiteral("https://elsewhere.example/hook")).id;
    const qint64 second = forge.addWebhook(shop, address).id;
    storeRegistration(blog, 5);
    storeRegistration(shop, second);
    storeRegistration(serverId + 77, 6);
    startLoaded();
    ASSERT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::On);

    toggle(shop);

    EXPECT_EQ(deletions(),
              (QStringList{webhooksPath(shop) + QStringLiteral("/%1").arg(first),
                           webhooksPath(shop) + QStringLiteral("/%1").arg(second)}));
    EXPECT_EQ(webhookIds(shop), QList<qint64>{foreign});
    QList<qint64> remaining;
    for (const WebhookRegistration &registration : webhooks.loadRegistrations()) {
        remaining << registration.siteId;
    }
    EXPECT_EQ(remaining, (QList<qint64>{blog, serverId + 77}));
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::Off);
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_TRUE(noticePosted("Notifications Disabled", "You won't receive deploy notifications for shop.example"));
}

TEST_F(NotificationsToggleTest, WithoutTheBackendDisablingDeletesTheRecordedWebhookOnce)
{
    backend.server().route("POST", QStringLiteral("/v1/forge/connect"), FakeResponse::json("{}", 500));
    const qint64 recorded = forge.addWebhook(shop, address).id;
    storeRegistration(shop, recorded);
    startLoaded();

    toggle(shop);

    EXPECT_EQ(deletions(), QStringList{webhooksPath(shop) + QStringLiteral("/%1").arg(recorded)});
    EXPECT_FALSE(webhooks.registration(shop).has_value());
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::Off);
}

TEST_F(NotificationsToggleTest, AWebhookAlreadyGoneFromForgeCountsAsDeleted)
{
    backend.server().route("POST", QStringLiteral("/v1/forge/connect"), FakeResponse::json("{}", 500));
    storeRegistration(shop, 4242); // deleted on Forge's site meanwhile
    startLoaded();

    toggle(shop);

    EXPECT_EQ(deletions().size(), 1);
    EXPECT_FALSE(webhooks.registration(shop).has_value());
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::Off);
    EXPECT_TRUE(alerts.shown().isEmpty());
}

// --- Failures: the stored state stays as it was and the user is told ----------------------------

struct FailureRow
{
    const char *name;
    bool enabledBefore;
    // Scripts the failure, given the site's webhook listing path and the path of its stored webhook.
    std::function<void(FakeAccountBackend &backend, FakeForge &forge, const QString &list, const QString &hook)> script;
    QString detail;
};

void PrintTo(const FailureRow &row, std::ostream *out)
{
    *out << row.name;
}

class NotificationsToggleFailureTest : public NotificationsToggleTest, public ::testing::WithParamInterface<FailureRow>
{
};

void backendFails(FakeAccountBackend &backend)
{
    backend.server().route("POST", QStringLiteral("/v1/forge/connect"), FakeResponse::json("{}", 500));
}

QString forgeText(ForgeAPIError::Case errorCase)
{
    return ForgeAPIError(errorCase).errorDescription();
}

const FailureRow FailureRows[] = {
    {"EnablingWhenTheBackendFails",
     false,
     [](FakeAccountBackend &backend, FakeForge &, const QString &, const QString &) { backendFails(backend); },
     QStringLiteral("Server error (500)")},
    {"EnablingWhenForgeRefusesTheWebhook",
     false,
     [](FakeAccountBackend &, FakeForge &forge, const QString &list, const QString &) {
         forge.failNext("POST", list, forge.errorResponse(422));
     },
     forgeText(ForgeAPIError::Case::UnprocessableEntity)},
    {"DisablingWhenTheDeletionFails",
     true,
     [](FakeAccountBackend &, FakeForge &forge, const QString &, const QString &hook) {
         forge.failNext("DELETE", hook, forge.errorResponse(500));
     },
     forgeText(ForgeAPIError::Case::InternalServerError)},
    {"DisablingWhenTheWebhooksCannotBeListed",
     true,
     [](FakeAccountBackend &, FakeForge &forge, const QString &list, const QString &) {
         forge.failNext("GET", list, forge.errorResponse(500));
     },
     forgeText(ForgeAPIError::Case::InternalServerError)},
    {"DisablingWithoutBackendWhenTheRecordedDeletionFails",
     true,
     [](FakeAccountBackend &backend, FakeForge &forge, const QString &, const QString &hook) {
         backendFails(backend);
         forge.failNext("DELETE", hook, forge.errorResponse(500));
     },
     forgeText(ForgeAPIError::Case::InternalServerError)},
};

TEST_P(NotificationsToggleFailureTest, KeepsTheStoredStateAndShowsTheFailure)
{
    const FailureRow &row = GetParam();
    std::optional<WebhookRegistration> before;
    QString hook;
    if (row.enabledBefore) {
        const qint64 id = forge.addWebhook(shop, address).id;
        storeRegistration(shop, id);
        before = webhooks.registration(shop);
        hook = webhooksPath(shop) + QStringLiteral("/%1").arg(id);
    }
    row.script(backend, forge, webhooksPath(shop), hook);
    startLoaded();
    const qsizetype webhooksBefore = forge.site(shop)->webhooks.size();

    toggle(shop);

    EXPECT_EQ(webhooks.registration(shop), before);
    EXPECT_EQ(forge.site(shop)->webhooks.size(), webhooksBefore);
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), row.enabledBefore ? MenuItemState::On : MenuItemState::Off);
    ASSERT_EQ(alerts.open().size(), 1);
    const Alert shown = alerts.open().first().alert;
    EXPECT_EQ(shown.messageText,
              row.enabledBefore ? QStringLiteral("Could not disable notifications")
                                : QStringLiteral("Could not enable notifications"));
    EXPECT_EQ(shown.informativeText, row.detail + QStringLiteral(" for account: Main"));
    EXPECT_EQ(shown.style, Alert::Style::Warning);

    // The guard is released: the next click tries again, and this time it goes through.
    backend.server().route("POST", QStringLiteral("/v1/forge/connect"), [this](const RecordedRequest &) {
        return FakeResponse::json(QJsonDocument(QJsonObject{{"webhook_url", address}}).toJson());
    });
    toggle(shop);
    EXPECT_EQ(webhooks.registration(shop).has_value(), !row.enabledBefore);
}

INSTANTIATE_TEST_SUITE_P(Rows,
                         NotificationsToggleFailureTest,
                         ::testing::ValuesIn(FailureRows),
                         [](const ::testing::TestParamInfo<FailureRow> &info) { return std::string(info.param.name); });

TEST_F(NotificationsToggleTest, TogglesOfDifferentSitesAtOnceLoseNoUpdate)
{
    const qint64 third = forge.addSite(serverId, QStringLiteral("third.example")).id;
    storeRegistration(blog, forge.addWebhook(blog, address).id);
    startLoaded();

    notifyItem(shop)->trigger();
    notifyItem(blog)->trigger();
    click(third);
    waitForToggles();

    QList<qint64> stored;
    for (const WebhookRegistration &registration : webhooks.loadRegistrations()) {
        stored << registration.siteId;
    }
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (QList<qint64>{shop, third}));
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::On);
    EXPECT_EQ(MenuItems::state(notifyItem(blog)), MenuItemState::Off);
    EXPECT_EQ(MenuItems::state(notifyItem(third)), MenuItemState::On);
}

TEST_F(NotificationsToggleTest, ASiteMissingFromTheLoadedListIsNamedSite)
{
    startLoaded();
    appState.siteList.removeIf([this](const Site &site) { return site.id == shop; });

    toggle(shop);

    EXPECT_TRUE(webhooks.registration(shop).has_value());
    EXPECT_TRUE(noticePosted("Notifications Enabled", "You'll be notified when site deploys"));
}

TEST_F(NotificationsToggleTest, AWebhookCreatedAfterTheMenuWentAwayIsStillRemembered)
{
    startLoaded();
    click(shop);
    ASSERT_EQ(controller->webhookOperationsInProgress(), QSet<qint64>{shop});
    controller.reset();

    ASSERT_TRUE(QTest::qWaitFor([this] { return webhooks.registration(shop).has_value(); }, 20'000));
    EXPECT_EQ(webhooks.registration(shop)->webhookId, forge.site(shop)->webhooks.first().id);
}

// --- Clicks that do nothing ----------------------------------------------------------------------

struct RefusalRow
{
    const char *name;
    // Returns the item to click, given the site's real item, after changing what the row needs.
    std::function<QAction *(AppState &state, QAction *siteItem, QMenu *scratch)> prepare;
};

void PrintTo(const RefusalRow &row, std::ostream *out)
{
    *out << row.name;
}

class NotificationsToggleRefusalTest : public NotificationsToggleTest, public ::testing::WithParamInterface<RefusalRow>
{
};

QAction *itemFor(QMenu *scratch, const std::optional<MenuRepresenter> &representer)
{
    QAction *item = MenuItems::makeItem(scratch, QStringLiteral("Notify on Deploy"));
    if (representer) {
        MenuItems::setRepresentedObject(item, QVariant::fromValue(*representer));
    }
    return item;
}

const RefusalRow RefusalRows[] = {
    {"WithoutRepresentedObject", [](AppState &, QAction *, QMenu *scratch) { return itemFor(scratch, std::nullopt); }},
    {"WhileARefreshIsLoading",
     [](AppState &state, QAction *siteItem, QMenu *) {
         state.loadingData = true;
         return siteItem;
     }},
    {"WithoutSiteId",
     [](AppState &, QAction *siteItem, QMenu *scratch) {
         MenuRepresenter payload = *MenuItems::representedObject<MenuRepresenter>(siteItem);
         payload.siteId.reset();
         return itemFor(scratch, payload);
     }},
    {"WhenTheServerIsGone",
     [](AppState &state, QAction *siteItem, QMenu *) {
         state.serverList.clear();
         return siteItem;
     }},
    {"WhenTheServerHasNoOrganization",
     [](AppState &state, QAction *siteItem, QMenu *) {
         state.serverList.first().organizationSlug.reset();
         return siteItem;
     }},
};

TEST_P(NotificationsToggleRefusalTest, SendsAndStoresNothing)
{
    startLoaded();
    QMenu scratch;
    QAction *item = GetParam().prepare(appState, notifyItem(shop), &scratch);
    const QDateTime clicked = clock.now().addSecs(60);
    clock.set(clicked);
    forge.http().clearRequests();

    controller->toggleSiteNotifications(item);
    QCoreApplication::processEvents();

    EXPECT_TRUE(controller->webhookOperationsInProgress().isEmpty());
    EXPECT_EQ(backend.server().requestCount(), 0);
    EXPECT_EQ(forge.http().requestCount(), 0);
    EXPECT_TRUE(webhooks.loadRegistrations().isEmpty());
    EXPECT_EQ(MenuItems::state(notifyItem(shop)), MenuItemState::Off);
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_EQ(controller->lastUserActivity(), clicked);
}

INSTANTIATE_TEST_SUITE_P(Rows,
                         NotificationsToggleRefusalTest,
                         ::testing::ValuesIn(RefusalRows),
                         [](const ::testing::TestParamInfo<RefusalRow> &info) { return std::string(info.param.name); });

} // namespace

// A favourite site's submenu is in the menu twice: a switch in either copy shows in both, so no copy's
// check mark ever says the opposite of what a click on it would do.
TEST_F(NotificationsToggleTest, EveryCopyOfASiteFollowsWhatIsStored)
{
    FavoriteSitesStore(defaults).save({{*AccountManager::loadAccounts(defaults).first().uuid, serverId, shop}});
    startLoaded();
    const auto favoriteCopy = [this](const QString &title) -> QAction * {
        QAction *favorite = itemTitled(menu(), QStringLiteral("shop.example"));
        return favorite && favorite->menu() ? itemTitled(favorite->menu(), title) : nullptr;
    };
    const auto serverCopy = [this](const QString &title) {
        return itemTitled(MenuItems::submenu(MenuItems::findItem(menu(), MenuTag::site(shop))), title);
    };
    ASSERT_NE(favoriteCopy("Notify on Deploy"), nullptr);
    ASSERT_NE(favoriteCopy("Notify on Deploy"), serverCopy("Notify on Deploy"));

    const auto choose = [](QAction *item) {
        item->trigger();
        QCoreApplication::processEvents();
    };
    choose(favoriteCopy("Notify on Deploy"));
    waitForToggles();
    ASSERT_TRUE(webhooks.registration(shop).has_value());
    EXPECT_EQ(MenuItems::state(serverCopy("Notify on Deploy")), MenuItemState::On);
    choose(serverCopy("Notify on Deploy"));
    waitForToggles();
    EXPECT_FALSE(webhooks.registration(shop).has_value()) << "the click on the other copy switches off";
    EXPECT_EQ(MenuItems::state(favoriteCopy("Notify on Deploy")), MenuItemState::Off);

    choose(favoriteCopy("Favorite"));
    EXPECT_TRUE(FavoriteSitesStore(defaults).load().isEmpty());
    EXPECT_EQ(MenuItems::state(serverCopy("Favorite")), MenuItemState::Off);
    choose(serverCopy("Favorite"));
    QCoreApplication::processEvents();
    EXPECT_EQ(FavoriteSitesStore(defaults).load().size(), 1);
    ASSERT_NE(favoriteCopy("Favorite"), nullptr);
    EXPECT_EQ(MenuItems::state(favoriteCopy("Favorite")), MenuItemState::On);
    EXPECT_EQ(MenuItems::state(serverCopy("Favorite")), MenuItemState::On);
}
