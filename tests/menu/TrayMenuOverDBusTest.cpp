#include "RecordingUrlOpener.h"
#include "StatusMenuFixture.h"
#include "menu/FavoriteSitesStore.h"
#include "menu/MenuTags.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QMutex>
#include <QPointer>
#include <QThread>

#include <functional>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The desktop's side of the tray: a StatusNotifierWatcher with a host, on a thread and a connection of
// its own, since the application asks it questions and waits for the answers.
class FakeStatusNotifierWatcher : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const
    {
        QMutexLocker lock(&m_mutex);
        return m_items;
    }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service)
    {
        QMutexLocker lock(&m_mutex);
        m_items << service;
    }
    void RegisterStatusNotifierHost(const QString &) {}

private:
    mutable QMutex m_mutex;
    QStringList m_items;
};

class SignalCounter : public QObject
{
    Q_OBJECT

public:
    int seen = 0;
    // The submenus (by the id of the entry holding them) the host was told to read again.
    QList<int> parents;

public Q_SLOTS:
    void count() { ++seen; }
    void record(uint, int parent) { parents << parent; }
};

// One entry of a com.canonical.dbusmenu layout.
struct LayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<LayoutItem> children;

    QString label() const { return properties.value(QStringLiteral("label")).toString(); }
    bool isSubmenu() const
    {
        return properties.value(QStringLiteral("children-display")).toString() == QStringLiteral("submenu");
    }

    const LayoutItem *find(const QString &wanted) const
    {
        if (label() == wanted) {
            return this;
        }
        for (const LayoutItem &child : children) {
            if (const LayoutItem *found = child.find(wanted)) {
                return found;
            }
        }
        return nullptr;
    }
};

const QDBusArgument &operator>>(const QDBusArgument &argument, LayoutItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        LayoutItem entry;
        child.variant().value<QDBusArgument>() >> entry;
        item.children << entry;
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

class TrayMenuOverDBusTest : public StatusMenuFixture
{
protected:
    void SetUp() override
    {
        watcherThread.start();
        watcher.moveToThread(&watcherThread);
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/StatusNotifierWatcher"),
                                       &watcher,
                                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        StatusMenuFixture::SetUp();
    }

    void TearDown() override
    {
        StatusMenuFixture::TearDown();
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
        watcherThread.quit();
        watcherThread.wait();
    }

    // Starts the menu with the network up, once its first refresh is done and a host can read it.
    void startInTray(const StatusMenuServices &with)
    {
        start(with);
        networkUp();
        waitUntilIdle();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 20'000));
    }
    void startInTray() { startInTray(services()); }

    // A call to the tray item's exported menu, answered by this thread's own event loop.
    QDBusMessage callMenu(const QString &method, const QVariantList &arguments)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            watcher.items().value(0), QStringLiteral("/MenuBar"), QStringLiteral("com.canonical.dbusmenu"), method);
        call.setArguments(arguments);
        QDBusPendingCallWatcher pending(QDBusConnection::sessionBus().asyncCall(call));
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 20'000));
        EXPECT_FALSE(pending.isError()) << qPrintable(pending.error().message());
        return pending.reply();
    }

    // Opens every submenu as a user going through them would: the host announces each before it reads it.
    void openEverySubmenu(int id = 0)
    {
        callMenu(QStringLiteral("AboutToShow"), {id});
        for (const LayoutItem &child : layout(id, 1).children) {
            if (child.isSubmenu()) {
                openEverySubmenu(child.id);
            }
        }
    }

    // Counts the layout updates the host hears from now on.
    void listen(SignalCounter &updates)
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().connect(watcher.items().value(0),
                                                          QStringLiteral("/MenuBar"),
                                                          QStringLiteral("com.canonical.dbusmenu"),
                                                          QStringLiteral("LayoutUpdated"),
                                                          &updates,
                                                          SLOT(record(uint, int))));
        layout(0, 0); // the match is in place once a call made after it is answered
    }

    void renameServer(const QString &from, const QString &to)
    {
        for (const auto &server : forge.servers()) {
            if (server.name() == from) {
                forge.server(server.id)->attributes.insert(QStringLiteral("name"), to);
            }
        }
    }

    LayoutItem layout(int parent, int depth)
    {
        const QDBusMessage reply = callMenu(QStringLiteral("GetLayout"), {parent, depth, QStringList()});
        LayoutItem root;
        if (reply.arguments().size() == 2) {
            reply.arguments().at(1).value<QDBusArgument>() >> root;
        }
        return root;
    }

    QThread watcherThread;
    FakeStatusNotifierWatcher watcher;
};

} // namespace

// A host that opens only a submenu already holding items, and announces it only then, as GNOME's does:
// every submenu holds something before it is opened.
TEST_F(TrayMenuOverDBusTest, EverySubmenuHoldsItemsBeforeItIsOpened)
{
    storeDemoAccounts();
    ASSERT_NO_FATAL_FAILURE(startInTray());

    QStringList empty;
    QStringList opened;
    const std::function<void(const LayoutItem &, const QString &)> open = [&](const LayoutItem &item,
                                                                              const QString &path) {
        const QList<LayoutItem> before = layout(item.id, 1).children;
        if (before.isEmpty()) {
            empty << path;
            return;
        }
        callMenu(QStringLiteral("AboutToShow"), {item.id});
        const QList<LayoutItem> after = layout(item.id, 1).children;
        opened << path;
        for (const LayoutItem &child : after) {
            if (child.isSubmenu()) {
                open(child, path + QStringLiteral(" > ") + child.label());
            }
        }
    };
    open(layout(0, 0), QStringLiteral("menu"));
    EXPECT_TRUE(empty.isEmpty()) << empty.join(QStringLiteral("\n")).toStdString();
    // Both accounts, each server (acme-db has no site), its logs, and each site, with their own items.
    EXPECT_TRUE(opened.contains(QStringLiteral("menu > Northwind Agency > acme-db > Logs")))
        << opened.join(u'\n').toStdString();
    const LayoutItem whole = layout(0, -1);
    ASSERT_NE(whole.find(QStringLiteral("acme-db")), nullptr);
    EXPECT_NE(whole.find(QStringLiteral("acme-db"))->find(QStringLiteral("Restart Nginx")), nullptr);
    ASSERT_NE(whole.find(QStringLiteral("robin.example")), nullptr);
    EXPECT_NE(whole.find(QStringLiteral("robin.example"))->find(QStringLiteral("Deploy Site (main)")), nullptr);
    EXPECT_EQ(whole.find(QStringLiteral("Loading\u2026")), nullptr);
}

// GNOME's host rebuilds, closed, an open submenu at any layout change: opening the status menu there
// makes the whole tree, before any submenu opens.
TEST_F(TrayMenuOverDBusTest, OnGnomeOpeningTheMenuMakesEverySubmenu)
{
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    storeDemoAccounts();
    ASSERT_NO_FATAL_FAILURE(startInTray());

    callMenu(QStringLiteral("AboutToShow"), {0});
    const LayoutItem whole = layout(0, -1);
    qputenv("XDG_CURRENT_DESKTOP", desktop);
    EXPECT_EQ(whole.find(QStringLiteral("Loading\u2026")), nullptr);
    const LayoutItem *server = whole.find(QStringLiteral("acme-db"));
    ASSERT_NE(server, nullptr);
    EXPECT_NE(server->find(QStringLiteral("Nginx Errors")), nullptr);
    const LayoutItem *site = whole.find(QStringLiteral("robin.example"));
    ASSERT_NE(site, nullptr);
    EXPECT_NE(site->find(QStringLiteral("Deploy Site (main)")), nullptr);
}

// A refresh that brings one renamed server: the host hears of it in a few layout updates (not one per
// item), and every entry it saw of what did not change, favourites included, keeps its id; the renamed
// server's are let go.
TEST_F(TrayMenuOverDBusTest, ARefreshIsAFewUpdatesAndKeepsTheEntriesThatDidNotChange)
{
    storeDemoAccounts(124);
    ASSERT_NO_FATAL_FAILURE(startInTray());
    ASSERT_EQ(appState.serverList.size(), 124);
    // A favourite of a server that does not change keeps its entries as well.
    const auto robin = std::find_if(appState.siteList.cbegin(), appState.siteList.cend(), [](const Site &site) {
        return site.name == QStringLiteral("robin.example");
    });
    ASSERT_NE(robin, appState.siteList.cend());
    FavoriteSitesStore(defaults).toggle(*robin->accountId, *robin->serverId, robin->id);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return MenuItems::itemWithTag(menu(), MenuTags::Favorites) != nullptr; }, 20'000));

    openEverySubmenu();
    const LayoutItem before = layout(0, -1);
    ASSERT_NE(before.find(QStringLiteral("Favorites")), nullptr);
    const LayoutItem *renamed = before.find(QStringLiteral("app-001"));
    ASSERT_NE(renamed, nullptr);
    QList<int> renamedIds;
    const std::function<void(const LayoutItem &, QList<int> &)> ids = [&](const LayoutItem &item, QList<int> &into) {
        for (const LayoutItem &child : item.children) {
            into << child.id;
            ids(child, into);
        }
    };
    renamedIds << renamed->id;
    ids(*renamed, renamedIds);
    ASSERT_GT(renamedIds.size(), 14);
    renameServer(QStringLiteral("app-001"), QStringLiteral("app-001b"));

    SignalCounter updates;
    ASSERT_TRUE(QDBusConnection::sessionBus().connect(watcher.items().value(0),
                                                      QStringLiteral("/MenuBar"),
                                                      QStringLiteral("com.canonical.dbusmenu"),
                                                      QStringLiteral("LayoutUpdated"),
                                                      &updates,
                                                      SLOT(count())));
    layout(0, 0); // the match is in place once a call made after it is answered
    refreshAndWait();
    const LayoutItem after = layout(0, -1); // and every update sent before this answer has arrived
    EXPECT_GE(updates.seen, 1);
    EXPECT_LE(updates.seen, 8);

    QList<int> seen;
    ids(before, seen);
    QList<int> held;
    ids(after, held);
    QList<int> lost;
    for (const int id : seen) {
        if (!held.contains(id) && !renamedIds.contains(id)) {
            lost << id;
        }
    }
    EXPECT_TRUE(lost.isEmpty()) << lost.size() << " of " << seen.size() << " entries got new ids";
    for (const int id : renamedIds) {
        EXPECT_FALSE(held.contains(id));
    }
    EXPECT_NE(after.find(QStringLiteral("app-001b")), nullptr);
}

// A click on an entry a refresh took away, from a host still showing it: the host is told to read the
// menu again and nothing runs; a click on an entry that is there runs its action.
TEST_F(TrayMenuOverDBusTest, AClickOnAGoneEntryMakesTheHostReadTheMenuAgain)
{
    qputenv("PLIMSY_FORGE_WEB_BASE", "https://forge.test/servers/");
    storeDemoAccounts();
    RecordingUrlOpener browser;
    StatusMenuServices with = services();
    with.urlOpener = &browser;
    ASSERT_NO_FATAL_FAILURE(startInTray(with));
    openEverySubmenu();
    const LayoutItem before = layout(0, -1);
    const LayoutItem *gone = before.find(QStringLiteral("playground"));
    const LayoutItem *kept = before.find(QStringLiteral("blog-server"));
    ASSERT_TRUE(gone && kept && gone->find(QStringLiteral("Open Forge")) && kept->find(QStringLiteral("Open Forge")));
    const int goneId = gone->find(QStringLiteral("Open Forge"))->id;
    const int keptId = kept->find(QStringLiteral("Open Forge"))->id;
    renameServer(QStringLiteral("playground"), QStringLiteral("playground-2"));
    refreshAndWait();
    layout(0, -1);

    SignalCounter updates;
    listen(updates);
    static QStringList s_warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
            if (type == QtWarningMsg) {
                s_warnings << text;
            }
        });
    callMenu(QStringLiteral("Event"), {goneId, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates.parents.contains(0); }, 20'000));
    layout(0, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(browser.opened.isEmpty());
    qInstallMessageHandler(previous);
    EXPECT_EQ(s_warnings.filter(QStringLiteral("clicked a menu item that is no longer there")).size(), 1);

    callMenu(QStringLiteral("Event"), {keptId, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !browser.opened.isEmpty(); }, 20'000));
    EXPECT_EQ(browser.opened.value(0).toString(), QStringLiteral("https://forge.test/servers/%1").arg([&] {
        for (const auto &server : forge.servers()) {
            if (server.name() == QStringLiteral("blog-server")) {
                return server.id;
            }
        }
        return qint64(0);
    }()));
    qunsetenv("PLIMSY_FORGE_WEB_BASE");
}

// A host that reads the answer to AboutToShow hears of the fill there alone, not again in a layout update
// for the submenu it is showing, and finds it in the layout.
TEST_F(TrayMenuOverDBusTest, OpeningAServerSubmenuFillsItWithoutAnnouncingIt)
{
    storeDemoAccounts();
    ASSERT_NO_FATAL_FAILURE(startInTray());
    const LayoutItem *unopened = layout(0, -1).find(QStringLiteral("blog-server"));
    ASSERT_NE(unopened, nullptr);
    const int server = unopened->id;
    ASSERT_EQ(unopened->find(QStringLiteral("Open Terminal")), nullptr);
    SignalCounter updates;
    listen(updates);

    const QDBusMessage answer = callMenu(QStringLiteral("AboutToShow"), {server});
    EXPECT_TRUE(answer.arguments().value(0).toBool());
    const LayoutItem filled = layout(server, -1);
    layout(0, 0); // a turn later: whatever was announced has arrived
    QCoreApplication::processEvents();

    QList<int> within{server};
    const std::function<void(const LayoutItem &)> collect = [&](const LayoutItem &item) {
        for (const LayoutItem &child : item.children) {
            within << child.id;
            collect(child);
        }
    };
    collect(filled);
    for (const int parent : std::as_const(updates.parents)) {
        EXPECT_FALSE(within.contains(parent)) << "the host was told to read " << parent << " again";
    }
    EXPECT_NE(filled.find(QStringLiteral("Open Terminal")), nullptr);
    ASSERT_NE(filled.find(QStringLiteral("robin.example")), nullptr);
    EXPECT_TRUE(filled.find(QStringLiteral("robin.example"))->isSubmenu());
    EXPECT_FALSE(callMenu(QStringLiteral("AboutToShow"), {server}).arguments().value(0).toBool());
}

// xfce's panel, through libdbusmenu, asks a submenu to fill without waiting for the answer and reads it
// again only when told: that host hears of the fill.
TEST_F(TrayMenuOverDBusTest, AHostThatDoesNotReadTheAnswerHearsOfTheFill)
{
    storeDemoAccounts();
    ASSERT_NO_FATAL_FAILURE(startInTray());
    const LayoutItem *unopened = layout(0, -1).find(QStringLiteral("blog-server"));
    ASSERT_NE(unopened, nullptr);
    const int server = unopened->id;
    SignalCounter updates;
    listen(updates);

    QDBusMessage call = QDBusMessage::createMethodCall(watcher.items().value(0),
                                                       QStringLiteral("/MenuBar"),
                                                       QStringLiteral("com.canonical.dbusmenu"),
                                                       QStringLiteral("AboutToShowGroup"));
    call << QVariant::fromValue(QList<int>{server});
    ASSERT_TRUE(QDBusConnection::sessionBus().send(call)); // sent expecting no reply
    EXPECT_TRUE(QTest::qWaitFor([&] { return updates.parents.contains(server); }, 20'000));
    EXPECT_NE(layout(server, -1).find(QStringLiteral("Open Terminal")), nullptr);
}

struct LabelRow
{
    const char *name;
    QString label; // what DBusMenu writes for the name in the data below
};

void PrintTo(const LabelRow &row, std::ostream *out)
{
    *out << row.name;
}

class TrayMenuLabelTest : public TrayMenuOverDBusTest, public ::testing::WithParamInterface<LabelRow>
{
};

// Names from data read over DBusMenu as they read in our own menu: DBusMenu's '_' marks a mnemonic.
TEST_P(TrayMenuLabelTest, NamesFromDataReadAsTheyAre)
{
    FakeForge::Organization &lab = forge.addOrganization(QStringLiteral("Lab"), QStringLiteral("lab"));
    lab.keys = {QStringLiteral("key-lab")};
    const qint64 server = forge.addServer(lab.slug, QStringLiteral("db_primary")).id;
    forge.addSite(server, QStringLiteral("r&d.example"));
    FakeForge::Organization &ops = forge.addOrganization(QStringLiteral("Ops"), QStringLiteral("ops"));
    ops.keys = {QStringLiteral("key-ops")};
    forge.addServer(ops.slug, QStringLiteral("web-1"));
    forge.setValidKeys({QStringLiteral("key-lab"), QStringLiteral("key-ops")});
    addAccount(QStringLiteral("R&D Team"), QStringLiteral("key-lab"));
    addAccount(QStringLiteral("Ops"), QStringLiteral("key-ops"));
    ASSERT_NO_FATAL_FAILURE(startInTray());
    openEverySubmenu();

    QStringList labels;
    const std::function<void(const LayoutItem &)> collect = [&](const LayoutItem &item) {
        for (const LayoutItem &child : item.children) {
            labels << child.label();
            collect(child);
        }
    };
    collect(layout(0, -1));
    EXPECT_TRUE(labels.contains(GetParam().label)) << labels.join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(TrayMenuOverDBus,
                         TrayMenuLabelTest,
                         ::testing::Values(LabelRow{"account", QStringLiteral("R&D Team")},
                                           LabelRow{"server", QStringLiteral("db__primary")},
                                           LabelRow{"site", QStringLiteral("r&d.example")}),
                         [](const ::testing::TestParamInfo<LabelRow> &row) { return std::string(row.param.name); });

#include "TrayMenuOverDBusTest.moc"
