// The tray's pages: the status menu of the demo data with a server and a site open, the Action Bar with a
// query typed, and the notice of a desktop without a tray.
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
#include "platform/UserDefaults.h"

#include <QAction>
#include <QMenu>
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
        LoadedRecords::setCurrent(nullptr);
    }

    AppState state;
    std::unique_ptr<StatusMenuController> controller;
    std::unique_ptr<ActionBarWindowController> actionBar;

private:
    NetworkReachability *m_network = nullptr;
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
        : notice(item, {nullptr, nullptr, [] {}, QStringLiteral("Super+Shift+K"), true})
    {
        notice.showWindow();
    }

    StatusItem item;
    TrayNoticeWindow notice;
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
    };
}

} // namespace plimsy::test
