#include "ActionBarRecords.h"
#include "EmptySessionBus.h"
#include "FakeAlertPresenter.h"
#include "FakeClock.h"
#include "FakeGlobalShortcutsPortal.h"
#include "X11Client.h"
#include "actionbar/ActionBarPanel.h"
#include "actionbar/ActionBarSearchField.h"
#include "actionbar/ActionBarWindowController.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "actionbar/RecentCommandsManager.h"

#include <QApplication>
#include <QDBusConnection>
#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>

using namespace plimsy;
using namespace plimsy::test;

namespace {

constexpr quint32 KeysymK = 0x6b;

// Qt runs on X11 here; the session variables alone decide between a key grab and the portal.
struct SessionRow
{
    const char *name;
    QStringList environment;
    bool hasPortal;
    GlobalShortcut::Status status;
    int portalBindings;
    bool keyGrabbed;
};

const SessionRow SessionRows[] = {
    {"WaylandSessionUsesThePortal", {"XDG_SESSION_TYPE=wayland"}, true, GlobalShortcut::Status::Registered, 1, false},
    {"WaylandDisplayUsesThePortal", {"WAYLAND_DISPLAY=wayland-0"}, true, GlobalShortcut::Status::Registered, 1, false},
    {"WaylandWithoutPortalIsUnavailable",
     {"XDG_SESSION_TYPE=wayland"},
     false,
     GlobalShortcut::Status::Unavailable,
     0,
     false},
    {"X11SessionGrabsTheKey", {"XDG_SESSION_TYPE=x11"}, true, GlobalShortcut::Status::Registered, 0, true},
};

void PrintTo(const SessionRow &row, std::ostream *os)
{
    *os << row.name;
}

class GlobalHotkeyX11Session : public ::testing::TestWithParam<SessionRow>
{
};

TEST_P(GlobalHotkeyX11Session, ChoosesTheBackendBySession)
{
    const SessionRow &row = GetParam();
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    EmptySessionBus bus;
    const QString address = bus.start();
    ASSERT_FALSE(address.isEmpty());
    const QString portalName = QStringLiteral("session-portal");
    const QString clientName = QStringLiteral("session-client");
    QDBusConnection clientBus = QDBusConnection::connectToBus(address, clientName);
    std::unique_ptr<FakeGlobalShortcutsPortal> portal;
    if (row.hasPortal) {
        portal = std::make_unique<FakeGlobalShortcutsPortal>(QDBusConnection::connectToBus(address, portalName));
        ASSERT_TRUE(portal->isRunning());
    }
    QProcessEnvironment environment;
    for (const QString &variable : row.environment) {
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    }

    std::unique_ptr<GlobalShortcut> shortcut = GlobalShortcut::createForSession(environment, clientBus);
    shortcut->grab(KeysymK, ShortcutModifier::Super | ShortcutModifier::Shift);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shortcut->status() == row.status; }, 20'000))
        << shortcut->statusText().toStdString();
    if (row.status == GlobalShortcut::Status::Unavailable) {
        EXPECT_EQ(shortcut->statusText(), QStringLiteral("Global shortcuts are not available on this desktop"));
        EXPECT_FALSE(shortcut->unavailableReason().isEmpty());
    }
    EXPECT_EQ(portal ? portal->bindings().size() : 0, row.portalBindings);
    xcb_connection_t *probe = xcb_connect(nullptr, nullptr);
    EXPECT_EQ(grabSuperShiftK(probe), !row.keyGrabbed);
    xcb_disconnect(probe);

    shortcut.reset();
    portal.reset();
    QDBusConnection::disconnectFromBus(clientName);
    QDBusConnection::disconnectFromBus(portalName);
}

INSTANTIATE_TEST_SUITE_P(GlobalHotkeyX11Sessions,
                         GlobalHotkeyX11Session,
                         ::testing::ValuesIn(SessionRows),
                         [](const auto &info) { return std::string(info.param.name); });

// Real key presses on the Xvfb display, sent by xdotool as if typed in another application.
class GlobalHotkeyX11 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        hotkeys.onHotkeyPressed = [this] {
            ++presses;
            bar.toggle();
        };
    }

    void TearDown() override
    {
        bar.close();
        hotkeys.unregisterHotkey();
        if (numLockOn) {
            xdotool({"key", "Num_Lock"});
        }
    }

    static void xdotool(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        ASSERT_TRUE(process.waitForFinished(20'000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    // Presses the combination and waits until the bar has reacted to it.
    void press(const QString &combination, int expectedPresses, bool expectVisible)
    {
        xdotool({"key", combination});
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return presses == expectedPresses && bar.isVisible() == expectVisible; }, 20'000))
            << combination.toStdString() << " presses " << presses;
    }

    void registerCurrent()
    {
        hotkeys.registerHotkey(hotkeys.currentOption().keyCode, hotkeys.currentOption().modifiers);
    }

    ActionBarRecords records;
    FakeClock clock;
    RecentCommandsManager recents{records.defaults, clock};
    FakeAlertPresenter alerts;
    ActionBarWindowController bar{{{&records.state, &records.defaults, &records.webhooks}, &alerts, &recents}};
    GlobalHotkeyManager hotkeys{records.defaults};
    int presses = 0;
    bool numLockOn = false;
};

TEST_F(GlobalHotkeyX11, TogglesTheBarFromAnywhereAlsoWithNumLock)
{
    registerCurrent();
    ASSERT_EQ(hotkeys.registrationStatus(), GlobalShortcut::Status::Registered);

    press("super+shift+k", 1, true);
    ActionBarSearchField *field = bar.window()->searchField();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == field; }, 20'000));
    xdotool({"type", "prefer"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bar.filteredItems().size() == 1 && field->text() == QStringLiteral("prefer"); }, 20'000));
    EXPECT_EQ(bar.filteredItems().first().item().id, QStringLiteral("global-preferences"));
    press("super+shift+k", 2, false);

    // Holding the combination (the key repeats) toggles once.
    xdotool({"keydown", "super+shift+k", "keydown", "k", "keydown", "k", "keyup", "super+shift+k"});
    press("super+shift+k", 4, false);

    xdotool({"key", "Num_Lock"});
    numLockOn = true;
    press("super+shift+k", 5, true);
    press("super+shift+k", 6, false);
}

TEST_F(GlobalHotkeyX11, AnotherCombinationReplacesTheFirst)
{
    registerCurrent();
    hotkeys.setHotkey(HotkeyOption::option(4));
    EXPECT_EQ(records.defaults.integer(QStringLiteral("actionBarHotkey")), 4);
    EXPECT_EQ(hotkeys.registrationStatus(), GlobalShortcut::Status::Registered);
    // The old combination no longer counts: the next press seen is the new one's.
    xdotool({"key", "super+shift+k"});
    press("ctrl+alt+space", 1, true);
    press("ctrl+alt+space", 2, false);
}

TEST_F(GlobalHotkeyX11, ACombinationHeldElsewhereIsReportedAsTaken)
{
    // Another X client holds Super+Shift+K first.
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(other), 0);
    ASSERT_TRUE(grabSuperShiftK(other));

    registerCurrent();
    EXPECT_EQ(hotkeys.registrationStatus(), GlobalShortcut::Status::Taken);
    EXPECT_EQ(hotkeys.registrationStatusText(), QStringLiteral("taken by another application"));
    xcb_disconnect(other);

    // Once the other program is gone, choosing the combination again takes it.
    hotkeys.setHotkey(HotkeyOption::option(0));
    EXPECT_EQ(hotkeys.registrationStatus(), GlobalShortcut::Status::Registered);
    press("super+shift+k", 1, true);
}

} // namespace
