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

// One entry of a com.canonical.dbusmenu layout.
struct LayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<LayoutItem> children;

    QString label() const { return properties.value(QStringLiteral("label")).toString(); }

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

TEST_F(TrayMenuOverDBusTest, ServerAndSiteSubmenusListAllTheirItemsAfterAboutToShow)
{
    addAccount(QStringLiteral("Main"));
    const QString slug = forge.addOrganization(QStringLiteral("Acme")).slug;
    const qint64 serverId = forge.addServer(slug, QStringLiteral("web")).id;
    forge.addSite(serverId, QStringLiteral("shop.example"));
    start();
    networkUp();
    waitUntilIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 20'000));

    const LayoutItem root = layout(0, -1);
    const LayoutItem *server = root.find(QStringLiteral("web"));
    ASSERT_NE(server, nullptr);
    const auto labels = [this](int id) {
        QStringList shown;
        for (const LayoutItem &item : layout(id, 1).children) {
            const bool separator =
                item.properties.value(QStringLiteral("type")).toString() == QStringLiteral("separator");
            shown << (separator ? QStringLiteral("-") : item.label());
        }
        return shown;
    };
    // Made on opening: unopened, a server's submenu holds its sites alone, whose submenus come with it.
    EXPECT_EQ(labels(server->id), QStringList{"shop.example"});
    const LayoutItem *unopened = root.find(QStringLiteral("shop.example"));
    ASSERT_NE(unopened, nullptr);
    EXPECT_FALSE(unopened->properties.contains(QStringLiteral("children-display")));

    // The server's own items (listed in full by the menu builders' test), then its site, which now leads
    // to a submenu that is still empty.
    callMenu(QStringLiteral("AboutToShow"), {server->id});
    const QStringList serverItems = labels(server->id);
    EXPECT_EQ(serverItems.size(), 14) << serverItems.join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(serverItems.value(0), QStringLiteral("Open Terminal"));
    EXPECT_EQ(serverItems.value(11), QStringLiteral("Logs"));
    const LayoutItem reopened = layout(0, -1);
    const LayoutItem *site = reopened.find(QStringLiteral("shop.example"));
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->id, unopened->id);
    EXPECT_EQ(site->properties.value(QStringLiteral("children-display")).toString(), QStringLiteral("submenu"));
    EXPECT_TRUE(layout(site->id, 1).children.isEmpty());
    callMenu(QStringLiteral("AboutToShow"), {site->id});
    EXPECT_EQ(labels(site->id),
              (QStringList{"Deploy Site (main)",
                           "Reboot PHP",
                           "Deployment Log",
                           "Site Log",
                           "-",
                           "Open Terminal",
                           "-",
                           "Deployment Script",
                           "Edit .env",
                           "Nginx Configuration",
                           "Notify on Deploy",
                           "Favorite",
                           "-",
                           "Visit Site",
                           "Open Forge"}));
}

TEST_F(TrayMenuOverDBusTest, ARefreshLetsGoOfTheSubmenusAndItemsAHostOpened)
{
    storeDemoAccounts();
    start();
    networkUp();
    waitUntilIdle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.items().isEmpty(); }, 20'000));

    // The user goes through every submenu: the host announces each before it reads it.
    const std::function<void(int)> open = [&](int id) {
        callMenu(QStringLiteral("AboutToShow"), {id});
        for (const LayoutItem &child : layout(id, 1).children) {
            if (child.properties.value(QStringLiteral("children-display")).toString() == QStringLiteral("submenu")) {
                open(child.id);
            }
        }
    };
    open(0);
    QList<int> seen;
    const std::function<void(const LayoutItem &)> note = [&](const LayoutItem &item) {
        for (const LayoutItem &child : item.children) {
            seen << child.id;
            note(child);
        }
    };
    note(layout(0, -1));
    QList<std::pair<QString, QPointer<QMenu>>> opened;
    const std::function<void(QMenu *)> collect = [&](QMenu *shown) {
        for (QAction *item : shown->actions()) {
            if (QMenu *submenu = item->menu()) {
                opened.append({item->text(), submenu});
                collect(submenu);
            }
        }
    };
    collect(menu());
    // Account, server, logs and site submenus of both accounts, each made by its opening.
    ASSERT_GT(opened.size(), 30);

    refreshAndWait();
    QStringList kept;
    for (const auto &[title, submenu] : opened) {
        if (submenu) {
            kept << title;
        }
    }
    EXPECT_TRUE(kept.isEmpty()) << kept.join(QStringLiteral(", ")).toStdString();
    // An entry the host can still read by its id is one the application still holds.
    const QDBusMessage reply =
        callMenu(QStringLiteral("GetGroupProperties"), {QVariant::fromValue(seen), QVariant::fromValue(QStringList())});
    ASSERT_EQ(reply.arguments().size(), 1);
    const QDBusArgument entries = reply.arguments().at(0).value<QDBusArgument>();
    QList<int> stillHeld;
    entries.beginArray();
    while (!entries.atEnd()) {
        int id = 0;
        QVariantMap properties;
        entries.beginStructure();
        entries >> id >> properties;
        entries.endStructure();
        stillHeld << id;
    }
    entries.endArray();
    EXPECT_TRUE(stillHeld.isEmpty()) << stillHeld.size() << " of " << seen.size() << " entries";
    EXPECT_NE(layout(0, -1).find(QStringLiteral("Northwind Agency")), nullptr);
}

#include "TrayMenuOverDBusTest.moc"
