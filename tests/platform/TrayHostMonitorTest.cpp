#include "platform/TrayHostMonitor.h"

#include <QGuiApplication>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

using namespace plimsy;

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// An XEmbed tray of another client takes the screen's tray selection, says so to the root window, and
// later ends with its window.
TEST(TrayHostMonitorTest, AnXEmbedTrayStartingAndEndingIsFollowed)
{
    ASSERT_NE(qGuiApp->nativeInterface<QNativeInterface::QX11Application>(), nullptr) << "runs on xcb";
    TrayHostMonitor monitor;
    ASSERT_TRUE(QTest::qWaitFor([&] { return monitor.isKnown(); }, 20'000));
    ASSERT_FALSE(monitor.hasHost());

    xcb_connection_t *tray = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(tray), 0);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(tray)).data;
    const xcb_window_t window = xcb_generate_id(tray);
    xcb_create_window(tray, 0, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY, 0, 0, nullptr);
    const xcb_atom_t selection = internAtom(tray, "_NET_SYSTEM_TRAY_S0");
    xcb_set_selection_owner(tray, window, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t manager{};
    manager.response_type = XCB_CLIENT_MESSAGE;
    manager.format = 32;
    manager.window = screen->root;
    manager.type = internAtom(tray, "MANAGER");
    manager.data.data32[0] = XCB_CURRENT_TIME;
    manager.data.data32[1] = selection;
    manager.data.data32[2] = window;
    xcb_send_event(tray, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char *>(&manager));
    xcb_flush(tray);
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.hasHost(); }, 20'000));

    xcb_destroy_window(tray, window);
    xcb_flush(tray);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !monitor.hasHost(); }, 20'000));
    xcb_disconnect(tray);
}

} // namespace
