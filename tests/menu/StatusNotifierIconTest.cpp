#include "platform/StatusNotifierIcon.h"

#include "FakeStatusNotifierWatcher.h"
#include "menu/MenuResources.h"
#include "platform/StatusItem.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QMenu>
#include <QProcessEnvironment>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace plimsy;
using namespace plimsy::test;

namespace {

constexpr int Limit = 20'000;

double luminance(QColor colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

// The strongest contrast a pixel of the picture, laid on the panel, makes with the panel.
double strongestContrast(const StatusIconPixmap &pixmap, QColor panel)
{
    const double ground = luminance(panel);
    double strongest = 1;
    for (qsizetype at = 0; at + 3 < pixmap.argb.size(); at += 4) {
        const auto byte = [&](int offset) { return double(uchar(pixmap.argb[at + offset])) / 255; };
        const double alpha = byte(0);
        const QColor laid = QColor::fromRgbF(float(byte(1) * alpha + panel.redF() * (1 - alpha)),
                                             float(byte(2) * alpha + panel.greenF() * (1 - alpha)),
                                             float(byte(3) * alpha + panel.blueF() * (1 - alpha)));
        const double light = std::max(luminance(laid), ground);
        const double dark = std::min(luminance(laid), ground);
        strongest = std::max(strongest, (light + 0.05) / (dark + 0.05));
    }
    return strongest;
}

// What a host reads of the item, asked over the bus as a host asks.
QVariantMap itemProperties(const QString &service, const QString &path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
    call << QStringLiteral("org.kde.StatusNotifierItem");
    QDBusPendingCallWatcher pending(QDBusConnection::sessionBus().asyncCall(call));
    EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, Limit));
    EXPECT_FALSE(pending.isError()) << qPrintable(pending.error().message());
    const QDBusMessage reply = pending.reply();
    return reply.arguments().isEmpty() ? QVariantMap() : qdbus_cast<QVariantMap>(reply.arguments().constFirst());
}

// A shown tray item with a one-entry menu, registered with the test's watcher.
class StatusNotifierIconTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureMenuResources();
        ASSERT_TRUE(watcher.isRunning());
        menu.addAction(QStringLiteral("Quit"));
        item.setMenu(&menu);
        item.setImage(QStringLiteral("terminal_outlined"));
        item.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.registeredItems().isEmpty(); }, Limit));
        // Qt names its item by its service alone; the path is then the standard one.
        service = watcher.registeredItems().constFirst();
    }

    FakeStatusNotifierWatcher watcher;
    QMenu menu;
    StatusItem item;
    QString service;
};

} // namespace

TEST_F(StatusNotifierIconTest, AHostFindsEachGlyphInOurThemeAndCanReadItsPixmapsOnAnyPanel)
{
    const QString path = QString::fromLatin1(StatusNotifierIcon::ItemPath);

    const std::pair<QString, QString> glyphs[] = {
        {QStringLiteral("terminal_outlined"), QStringLiteral("plimsy-terminal-outlined-symbolic")},
        {QStringLiteral("menubar_error"), QStringLiteral("plimsy-menubar-error-symbolic")},
    };
    for (const auto &[image, name] : glyphs) {
        SCOPED_TRACE(image.toStdString());
        item.setImage(image);
        const QVariantMap exported = itemProperties(service, path);
        EXPECT_EQ(exported.value(QStringLiteral("IconName")).toString(), name);

        // Where a host looks the name up: the item's theme folder, its hicolor theme, a scalable status icon.
        QFile svg(exported.value(QStringLiteral("IconThemePath")).toString()
                  + QStringLiteral("/hicolor/scalable/status/") + name + QStringLiteral(".svg"));
        ASSERT_TRUE(svg.open(QIODevice::ReadOnly)) << qPrintable(svg.fileName());
        const QByteArray drawing = svg.readAll();
        // Qt hosts recolour only what carries the scheme's text class; the dark edge stays for those that do not.
        EXPECT_TRUE(drawing.contains("ColorScheme-Text")) << drawing.toStdString();
        EXPECT_FALSE(QIcon(svg.fileName()).pixmap(22, 22).isNull());

        // A host without the theme draws the pixmaps: they must stand out on dark and light panels alike.
        const auto pixmaps = qdbus_cast<StatusIconPixmaps>(exported.value(QStringLiteral("IconPixmap")));
        const auto side22 = std::find_if(
            pixmaps.cbegin(), pixmaps.cend(), [](const StatusIconPixmap &pixmap) { return pixmap.width == 22; });
        ASSERT_NE(side22, pixmaps.cend());
        EXPECT_EQ(side22->argb.size(), 22 * 22 * 4);
        for (const QColor panel :
             {QColor(Qt::black), QColor(0x35, 0x35, 0x35), QColor(0xef, 0xf0, 0xf1), QColor(Qt::white)}) {
            EXPECT_GE(strongestContrast(*side22, panel), 4.5) << qPrintable(panel.name());
        }
    }

    // The rest is still Qt's item: its menu, and a click that opens ours.
    const QVariantMap exported = itemProperties(service, path);
    EXPECT_EQ(qdbus_cast<QDBusObjectPath>(exported.value(QStringLiteral("Menu"))).path(), QStringLiteral("/MenuBar"));
    QDBusMessage click = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    click << 10 << 10;
    QDBusConnection::sessionBus().asyncCall(click);
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }, Limit));
}

TEST_F(StatusNotifierIconTest, AWaylandSessionTellsTheHostToShowTheMenuItself)
{
    const QProcessEnvironment saved = QProcessEnvironment::systemEnvironment();

    const struct
    {
        const char *name;
        const char *sessionType;
        const char *waylandDisplay;
        bool isMenu;
    } rows[] = {
        {"wayland", "wayland", "wayland-1", true},
        {"x11", "x11", "", false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        qputenv("XDG_SESSION_TYPE", row.sessionType);
        qputenv("WAYLAND_DISPLAY", row.waylandDisplay);
        const QVariantMap exported = itemProperties(service, QString::fromLatin1(StatusNotifierIcon::ItemPath));
        ASSERT_TRUE(exported.contains(QStringLiteral("ItemIsMenu")));
        EXPECT_EQ(exported.value(QStringLiteral("ItemIsMenu")).toBool(), row.isMenu);
    }
    for (const char *name : {"XDG_SESSION_TYPE", "WAYLAND_DISPLAY"}) {
        const QString key = QString::fromLatin1(name);
        if (saved.contains(key)) {
            qputenv(name, saved.value(key).toLocal8Bit());
        } else {
            qunsetenv(name);
        }
    }
}
