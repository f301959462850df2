// The tray's pages: the status menu of the demo data with a server and a site open, the Action Bar with a
// query typed, the notice of a desktop without a tray, and the tray's glyphs on dark and light panels.
#include "GalleryPage.h"
#include "GalleryScene.h"
#include "actionbar/ActionBarPanel.h"
#include "actionbar/ActionBarSearchField.h"
#include "actionbar/ActionBarWindowController.h"
#include "app/TrayNoticeWindow.h"
#include "core/Reachability.h"
#include "menu/AppState.h"
#include "menu/StatusMenuController.h"
#include "platform/NetworkReachability.h"
#include "platform/StatusItem.h"
#include "platform/StatusNotifierIcon.h"
#include "platform/TemplateImage.h"
#include "platform/UserDefaults.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include <cstdio>

namespace plimsy::test {

namespace {

constexpr QPoint MenuPosition{40, 40};

// The status menu after a refresh of the demo data, signed in and online. The stage itself is never shown;
// it keeps what the pictured windows need.
class LoadedMenu : public QWidget
{
public:
    explicit LoadedMenu(GalleryScene &scene)
    {
        scene.signIn();
        UserDefaults &defaults = UserDefaults::standard();
        defaults.setValue(QStringLiteral("launchedBefore"), true);
        defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
        defaults.setValue(QStringLiteral("monitorSites"), false);
        StatusMenuServices services;
        services.makeReachability = [this] {
            auto target = std::make_unique<NetworkReachability>(QStringLiteral("none"));
            m_network = target.get();
            return std::make_unique<Reachability>(std::move(target));
        };
        controller = std::make_unique<StatusMenuController>(state, services);
        m_previousRecords = LoadedRecords::current();
        LoadedRecords::setCurrent(&state);
        controller->setup();
        // Coming online starts the refresh.
        m_network->injectFlags(ReachabilityFlag::Reachable);
        if (!GalleryScene::waitUntil([this] { return !state.siteList.isEmpty() && !state.isLoadingData(); })) {
            std::fputs("gallery: the demo data did not load into the menu\n", stderr);
        }
    }

    ~LoadedMenu() override
    {
        actionBar.reset();
        controller.reset();
        // The scene's records, which the later pages' Preferences windows list.
        LoadedRecords::setCurrent(m_previousRecords);
    }

    AppState state;
    std::unique_ptr<StatusMenuController> controller;
    std::unique_ptr<ActionBarWindowController> actionBar;

private:
    NetworkReachability *m_network = nullptr;
    const LoadedRecords *m_previousRecords = nullptr;
};

// Opens the submenu of the item of that title as a user does from the keyboard: select it, press Right.
QMenu *openSubmenu(QMenu *menu, const QString &title)
{
    for (QAction *item : menu->actions()) {
        if (item->text() == title && item->menu()) {
            menu->setActiveAction(item);
            QTest::keyClick(menu, Qt::Key_Right);
            GalleryScene::waitUntil([item] { return item->menu()->isVisible(); });
            return item->menu();
        }
    }
    std::fprintf(stderr, "gallery: no submenu %s\n", qUtf8Printable(title));
    return menu;
}

// A status item and the notice over it, shown at once.
class NoticeStage : public QWidget
{
public:
    NoticeStage()
        : notice(item, {nullptr, nullptr, [] {}, QStringLiteral("Super+Shift+K"), true, {}})
    {
        notice.showWindow();
    }

    StatusItem item;
    TrayNoticeWindow notice;
};

// The tray's glyphs, normal and error, on the panels of common desktops: first the pixmaps any host can
// draw, then the symbolic icons in the panel's text colour, as hosts that look them up by name draw them.
class TrayIconStage : public QWidget
{
public:
    TrayIconStage()
    {
        setWindowTitle(QStringLiteral("Tray icon"));
        setFixedSize(420, RowHeight * int(std::size(Panels)));
        show();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        int top = 0;
        for (const Panel &panel : Panels) {
            const QRect row(0, top, width(), RowHeight);
            painter.fillRect(row, panel.ground);
            painter.setPen(panel.text);
            painter.drawText(row.adjusted(10, 0, 0, 0), Qt::AlignVCenter, QString::fromLatin1(panel.name));
            int left = 180;
            for (const char *image : {"terminal_outlined", "menubar_error"}) {
                painter.drawPixmap(left, top + 9, TemplateImage::outlinedNamed(QString::fromLatin1(image)).pixmap(22));
                left += 34;
            }
            left += 40;
            for (const char *image : {"terminal_outlined", "menubar_error"}) {
                painter.drawImage(left, top + 9, symbolic(QString::fromLatin1(image), panel.text));
                left += 34;
            }
            top += RowHeight;
        }
    }

private:
    struct Panel
    {
        const char *name;
        QColor ground;
        QColor text;
    };
    static constexpr int RowHeight = 40;
    static inline const Panel Panels[] = {
        {"xfce, dark", QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xec)},
        {"GNOME top bar", QColor(Qt::black), QColor(Qt::white)},
        {"Breeze Dark", QColor(0x31, 0x36, 0x3b), QColor(0xfc, 0xfc, 0xfc)},
        {"Breeze", QColor(0xef, 0xf0, 0xf1), QColor(0x23, 0x26, 0x29)},
        {"xfce, light", QColor(0xf6, 0xf5, 0xf4), QColor(0x2e, 0x34, 0x36)},
    };

    static QImage symbolic(const QString &image, QColor ink)
    {
        const QString file = StatusNotifierIcon::themePath() + QStringLiteral("/hicolor/scalable/status/")
                             + StatusNotifierIcon::symbolicName(image) + QStringLiteral(".svg");
        QImage picture = QIcon(file).pixmap(22).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&picture);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(picture.rect(), ink);
        return picture;
    }
};

} // namespace

QList<GalleryPage> shellPages()
{
    return {
        {"tray-menu",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             auto stage = std::make_unique<LoadedMenu>(scene);
             QMenu *menu = stage->controller->statusMenu();
             menu->popup(MenuPosition);
             GalleryScene::waitUntil([menu] { return menu->isVisible(); });
             QMenu *agency = openSubmenu(menu, QStringLiteral("Northwind Agency"));
             QMenu *server = openSubmenu(agency, QStringLiteral("web-eu-1"));
             openSubmenu(server, QStringLiteral("shop.northwind.example"));
             return stage;
         }},
        {"action-bar",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             auto stage = std::make_unique<LoadedMenu>(scene);
             ActionBarServices services;
             services.sources.records = &stage->state;
             stage->actionBar = std::make_unique<ActionBarWindowController>(services);
             ActionBarWindowController &bar = *stage->actionBar;
             bar.show();
             const int everything = int(bar.filteredItems().size());
             QTest::keyClicks(bar.window()->searchField(), QStringLiteral("shop dep"));
             GalleryScene::waitUntil([&bar, everything] { return bar.filteredItems().size() < everything; });
             return stage;
         }},
        {"tray-notice", [](GalleryScene &) -> std::unique_ptr<QWidget> { return std::make_unique<NoticeStage>(); }},
        {"tray-icon", [](GalleryScene &) -> std::unique_ptr<QWidget> { return std::make_unique<TrayIconStage>(); }},
    };
}

} // namespace plimsy::test
