#include "actionbar/GlobalHotkeyManager.h"

#include "ActionBarRecords.h"
#include "EmptySessionBus.h"
#include "FakeGlobalShortcutsPortal.h"
#include "platform/PortalGlobalShortcut.h"

#include <QSignalSpy>
#include <QTest>

using namespace plimsy;
using namespace plimsy::test;

namespace {

struct StoredRow
{
    const char *name;
    std::optional<int> stored;
    int option;
};

class StoredOption : public ::testing::TestWithParam<StoredRow>
{
};

TEST_P(StoredOption, PicksTheOptionWithoutRewritingIt)
{
    ActionBarRecords records;
    if (GetParam().stored) {
        records.defaults.setValue(QStringLiteral("actionBarHotkey"), *GetParam().stored);
    }
    GlobalHotkeyManager hotkeys(records.defaults);
    EXPECT_EQ(hotkeys.currentOption(), HotkeyOption::options().at(GetParam().option));
    EXPECT_EQ(records.defaults.object(QStringLiteral("actionBarHotkey")),
              GetParam().stored ? QVariant(*GetParam().stored) : QVariant());
    EXPECT_FALSE(hotkeys.isInstalled());
}

const StoredRow StoredRows[] = {
    {"Missing", std::nullopt, 0},
    {"Four", 4, 4},
    {"Eight", 8, 8},
    {"Nine", 9, 0},
    {"MinusOne", -1, 0},
};

INSTANTIATE_TEST_SUITE_P(Defaults, StoredOption, ::testing::ValuesIn(StoredRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST(HotkeyOption, NamesSayTheLinuxKeys)
{
    QStringList names;
    for (const HotkeyOption &option : HotkeyOption::options()) {
        names << option.displayName;
        EXPECT_EQ(option.id, names.size() - 1);
    }
    EXPECT_EQ(names,
              QStringList({"Super+Shift+K",
                           "Super+Shift+Space",
                           "Alt+Space",
                           "Super+Shift+P",
                           "Ctrl+Alt+Space",
                           "Super+Shift+A",
                           "Ctrl+Space",
                           "Super+Shift+F",
                           "Super+Shift+O"}));
    EXPECT_EQ(
        PortalGlobalShortcut::preferredTrigger(HotkeyOption::option(0).keyCode, HotkeyOption::option(0).modifiers),
        QStringLiteral("SHIFT+LOGO+k"));
    EXPECT_EQ(
        PortalGlobalShortcut::preferredTrigger(HotkeyOption::option(4).keyCode, HotkeyOption::option(4).modifiers),
        QStringLiteral("CTRL+ALT+space"));
}

// Off X11 and without the portal (the test session bus has none) there is no hot key, and the status says so.
TEST(GlobalHotkeyManager, OffX11WithoutThePortalIsUnavailable)
{
    ActionBarRecords records;
    GlobalHotkeyManager hotkeys(records.defaults);
    QSignalSpy changes(&hotkeys, &GlobalHotkeyManager::registrationStatusChanged);
    hotkeys.registerHotkey(hotkeys.currentOption().keyCode, hotkeys.currentOption().modifiers);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return hotkeys.registrationStatus() == GlobalShortcut::Status::Unavailable; }, 20'000));
    EXPECT_EQ(hotkeys.registrationStatusText(), QStringLiteral("Global shortcuts are not available on this desktop"));
    EXPECT_GE(changes.size(), 1);
    hotkeys.unregisterHotkey();
    EXPECT_FALSE(hotkeys.isInstalled());
}

// The Wayland road: a fake GlobalShortcuts portal on a bus of its own.
class PortalHotkeyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString address = bus.start();
        ASSERT_FALSE(address.isEmpty());
        portalBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, portalName));
        clientBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, clientName));
        portal = std::make_unique<FakeGlobalShortcutsPortal>(*portalBus);
        ASSERT_TRUE(portal->isRunning());
        hotkeys = std::make_unique<GlobalHotkeyManager>(
            records.defaults, [this] { return std::make_unique<PortalGlobalShortcut>(*clientBus); });
        hotkeys->onHotkeyPressed = [this] { ++presses; };
    }

    void TearDown() override
    {
        hotkeys.reset();
        portal.reset();
        QDBusConnection::disconnectFromBus(clientName);
        QDBusConnection::disconnectFromBus(portalName);
    }

    void waitForStatus(GlobalShortcut::Status status)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return hotkeys->registrationStatus() == status; }, 20'000))
            << hotkeys->registrationStatusText().toStdString();
    }

    const QString portalName = QStringLiteral("portal-side");
    const QString clientName = QStringLiteral("client-side");
    EmptySessionBus bus;
    std::unique_ptr<QDBusConnection> portalBus;
    std::unique_ptr<QDBusConnection> clientBus;
    std::unique_ptr<FakeGlobalShortcutsPortal> portal;
    ActionBarRecords records;
    std::unique_ptr<GlobalHotkeyManager> hotkeys;
    int presses = 0;
};

// The standard portal binds at BindShortcuts; KDE's backend of Plasma 5.27 binds what CreateSession was
// given and answers BindShortcuts with an empty list.
struct PortalRow
{
    const char *name;
    bool bindsAtCreateSession;
    int bindShortcutsCalls;
};

void PrintTo(const PortalRow &row, std::ostream *out)
{
    *out << row.name;
}

class PortalRoadTest : public PortalHotkeyTest, public ::testing::WithParamInterface<PortalRow>
{
};

TEST_P(PortalRoadTest, BindsThroughThePortalAndReportsWhatTheDesktopBound)
{
    portal->setBindsAtCreateSession(GetParam().bindsAtCreateSession);
    portal->setBoundTrigger(QStringLiteral("Ctrl+Alt+K"));
    hotkeys->registerHotkey(hotkeys->currentOption().keyCode, hotkeys->currentOption().modifiers);
    waitForStatus(GlobalShortcut::Status::Registered);
    ASSERT_EQ(portal->bindings().size(), 1);
    EXPECT_EQ(portal->bindings().first().preferredTrigger, QStringLiteral("SHIFT+LOGO+k"));
    EXPECT_EQ(portal->bindings().first().shortcutId, QStringLiteral("action-bar"));
    EXPECT_EQ(hotkeys->registrationStatusText(), QStringLiteral("Registered as Ctrl+Alt+K"));

    const QString firstSession = portal->bindings().first().session;
    portal->activate(firstSession, QStringLiteral("action-bar"));
    portal->activate(firstSession, QStringLiteral("something-else"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return presses == 1; }, 20'000));

    // A new choice closes the old session and binds the new combination in a fresh one.
    portal->setBoundTrigger({});
    hotkeys->setHotkey(HotkeyOption::option(4));
    EXPECT_EQ(records.defaults.integer(QStringLiteral("actionBarHotkey")), 4);
    waitForStatus(GlobalShortcut::Status::Registered);
    ASSERT_EQ(portal->bindings().size(), 2);
    EXPECT_EQ(portal->bindings().last().preferredTrigger, QStringLiteral("CTRL+ALT+space"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->closedSessions() == QStringList{firstSession}; }, 20'000));
    portal->activate(firstSession, QStringLiteral("action-bar"));
    portal->activate(portal->bindings().last().session, QStringLiteral("action-bar"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return presses == 2; }, 20'000));
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, 2);

    EXPECT_EQ(portal->bindShortcutsCalls(), GetParam().bindShortcutsCalls);

    hotkeys->unregisterHotkey();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->openSessions().isEmpty(); }, 20'000));
}

INSTANTIATE_TEST_SUITE_P(Portals,
                         PortalRoadTest,
                         ::testing::Values(PortalRow{"Standard", false, 2}, PortalRow{"BoundAtCreateSession", true, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(PortalHotkeyTest, ARefusedBindingFails)
{
    portal->setBindResponse(1);
    hotkeys->registerHotkey(hotkeys->currentOption().keyCode, hotkeys->currentOption().modifiers);
    waitForStatus(GlobalShortcut::Status::Failed);
    EXPECT_EQ(presses, 0);
}

} // namespace
