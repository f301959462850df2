#include "StatusMenuFixture.h"

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

public Q_SLOTS:
    void count() { ++seen; }
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
    start();
    networkUp();
    waitUntilIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 20'000));

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
    start();
    networkUp();
    waitUntilIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 20'000));

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
// item), and every entry it saw of what did not change keeps its id; the renamed server's are let go.
TEST_F(TrayMenuOverDBusTest, ARefreshIsAFewUpdatesAndKeepsTheEntriesThatDidNotChange)
{
    storeDemoAccounts(124);
    start();
    networkUp();
    waitUntilIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 20'000));
    ASSERT_EQ(appState.serverList.size(), 124);

    // The user goes through every submenu: the host announces each before it reads it.
    const std::function<void(int)> open = [&](int id) {
        callMenu(QStringLiteral("AboutToShow"), {id});
        for (const LayoutItem &child : layout(id, 1).children) {
            if (child.isSubmenu()) {
                open(child.id);
            }
        }
    };
    open(0);
    const LayoutItem before = layout(0, -1);
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
    for (const auto &server : forge.servers()) {
        if (server.name() == QStringLiteral("app-001")) {
            forge.server(server.id)->attributes.insert(QStringLiteral("name"), QStringLiteral("app-001b"));
        }
    }

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

#include "TrayMenuOverDBusTest.moc"
