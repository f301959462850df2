#include "FakeStatusNotifierWatcher.h"
#include "X11Client.h"
#include "platform/StatusItem.h"
#include "platform/StatusNotifierIcon.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include <xcb/xcb.h>

using namespace plimsy;
using namespace plimsy::test;

namespace {

constexpr int Limit = 20'000;

// A panel along one edge of the screen, and where the host says the click on our icon was.
struct PlacementRow
{
    const char *name;
    int topPanel;
    int bottomPanel;
    // Relative to the screen's right and bottom edges where negative; (0, 0) is no point at all.
    QPoint click;
    // Device pixels a device-independent one takes; its rows run in a process of that scale.
    int ratio = 1;
};

void PrintTo(const PlacementRow &row, std::ostream *out)
{
    *out << row.name;
}

const PlacementRow PlacementRows[] = {
    {"TopPanelRightEnd", 30, 0, {-40, 12}},
    {"BottomPanelLeftEnd", 0, 30, {40, -12}},
    {"NoPointOpensAtTheCursor", 0, 0, {0, 0}},
    {"TopPanelMiddleAtTwiceTheDensity", 30, 0, {200, 12}, 2},
};

class StatusItemMenuPlacementTest : public ::testing::TestWithParam<PlacementRow>
{
protected:
    void TearDown() override { setWorkArea({}); }

    // The work area a window manager announces for its panels, with the hint that it does; none when the
    // rectangle is empty.
    static void setWorkArea(const QRect &area, int ratio = 1)
    {
        xcb_connection_t *x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        const xcb_atom_t supported = internAtom(x, "_NET_SUPPORTED");
        const xcb_atom_t workArea = internAtom(x, "_NET_WORKAREA");
        if (area.isEmpty()) {
            xcb_delete_property(x, root, workArea);
            xcb_delete_property(x, root, supported);
        } else {
            xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, supported, XCB_ATOM_ATOM, 32, 1, &workArea);
            const uint32_t values[] = {uint32_t(area.x() * ratio),
                                       uint32_t(area.y() * ratio),
                                       uint32_t(area.width() * ratio),
                                       uint32_t(area.height() * ratio)};
            xcb_change_property(x, XCB_PROP_MODE_REPLACE, root, workArea, XCB_ATOM_CARDINAL, 32, 4, values);
        }
        xcb_flush(x);
    }
};

// The menu opens where the host says the icon was clicked (the cursor is stale under XWayland), beside the
// panel rather than over it and the icon.
TEST_P(StatusItemMenuPlacementTest, TheMenuOpensAtTheHostsPointOffThePanel)
{
    ASSERT_NE(qGuiApp->nativeInterface<QNativeInterface::QX11Application>(), nullptr) << "runs on xcb";
    const PlacementRow &row = GetParam();
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_EQ(screen->devicePixelRatio(), qreal(row.ratio)) << "the row's scale is its process's QT_SCALE_FACTOR";
    const QRect whole = screen->geometry();
    const QRect area = whole.adjusted(0, row.topPanel, 0, -row.bottomPanel);
    if (area != whole) {
        setWorkArea(area, row.ratio);
        ASSERT_TRUE(QTest::qWaitFor([&] { return screen->availableGeometry() == area; }, Limit))
            << "available: " << screen->availableGeometry().height();
    }
    FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.isRunning());
    QMenu menu;
    for (const char *title : {"Refresh", "Preferences…", "Quit"}) {
        menu.addAction(QString::fromUtf8(title));
    }
    StatusItem item;
    item.setMenu(&menu);
    item.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.registeredItems().isEmpty(); }, Limit));
    const QPoint cursor = whole.center();
    QCursor::setPos(cursor);
    const QPoint click(row.click.x() < 0 ? whole.right() + 1 + row.click.x() : row.click.x(),
                       row.click.y() < 0 ? whole.bottom() + 1 + row.click.y() : row.click.y());

    QDBusMessage activate = QDBusMessage::createMethodCall(watcher.registeredItems().constFirst(),
                                                           QString::fromLatin1(StatusNotifierIcon::ItemPath),
                                                           QStringLiteral("org.kde.StatusNotifierItem"),
                                                           QStringLiteral("Activate"));
    // The host's point is in X screen pixels.
    activate << (row.click.isNull() ? 0 : click.x() * row.ratio) << (row.click.isNull() ? 0 : click.y() * row.ratio);
    QDBusConnection::sessionBus().asyncCall(activate);
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, Limit));

    const QRect opened = menu.geometry();
    EXPECT_TRUE(area.contains(opened)) << opened.x() << ',' << opened.y() << ' ' << opened.width() << 'x'
                                       << opened.height();
    if (row.click.isNull()) {
        EXPECT_EQ(opened.topLeft(), cursor);
        return;
    }
    // At the click's side of the screen, against the panel's edge.
    EXPECT_TRUE(opened.left() <= click.x() && click.x() <= opened.right() + 1) << opened.left();
    if (row.topPanel > 0) {
        EXPECT_EQ(opened.top(), area.top());
    }
    if (row.bottomPanel > 0) {
        EXPECT_EQ(opened.bottom(), area.bottom());
    }
}

INSTANTIATE_TEST_SUITE_P(Panels, StatusItemMenuPlacementTest, ::testing::ValuesIn(PlacementRows), [](const auto &info) {
    return std::string(info.param.name);
});

} // namespace
