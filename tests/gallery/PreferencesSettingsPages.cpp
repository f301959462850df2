// The Preferences window's settings pages: the General, Servers and Monitoring tabs and their sheets.
#include "GalleryPage.h"
#include "GalleryScene.h"
#include "actionbar/GlobalHotkeyManager.h"
#include "menu/CustomServerStore.h"
#include "platform/UserDefaults.h"
#include "preferences/CustomServersTab.h"
#include "preferences/MonitorTab.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/UpdaterControl.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>

namespace plimsy::test {

namespace {

// An updater with automatic checks on that never checks: the gallery has no update feed.
class GalleryUpdater final : public UpdaterControl
{
public:
    bool automaticallyChecksForUpdates() const override { return true; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    void checkForUpdates() override {}
};

std::unique_ptr<PreferencesWindowController> settingsOn(const QString &tab)
{
    static GalleryUpdater s_updater;
    PreferencesServices services;
    services.updater = &s_updater;
    auto window = std::make_unique<PreferencesWindowController>(std::move(services));
    window->selectTab(tab);
    window->showWindow();
    return window;
}

void storeCustomServers()
{
    CustomServerStore(UserDefaults::standard())
        .save({{QUuid::createUuid(), QStringLiteral("Backup box"), QStringLiteral("backup.example.net"), "admin", 22},
               {QUuid::createUuid(),
                QStringLiteral("Home lab"),
                QStringLiteral("192.168.1.20"),
                QStringLiteral("pi"),
                2222}});
}

void typeInto(QDialog *sheet, const char *field, const QString &text)
{
    sheet->findChild<QLineEdit *>(QString::fromLatin1(field))->setText(text);
}

} // namespace

QList<GalleryPage> preferencesSettingsPages()
{
    return {
        {"preferences-general",
         [](GalleryScene &) -> std::unique_ptr<QWidget> {
             // As the application does at launch: the hot key is held, so no warning shows under it.
             GlobalHotkeyManager::shared().setHotkey(HotkeyOption::option(0));
             return settingsOn(QStringLiteral("General"));
         }},
        {"preferences-servers",
         [](GalleryScene &) -> std::unique_ptr<QWidget> {
             storeCustomServers();
             return settingsOn(QStringLiteral("Servers"));
         }},
        {"preferences-monitoring",
         [](GalleryScene &) -> std::unique_ptr<QWidget> {
             UserDefaults::standard().setValue(QStringLiteral("monitorSites"), true);
             return settingsOn(QStringLiteral("Monitoring"));
         }},
        {"sheet-server-settings",
         [](GalleryScene &) -> std::unique_ptr<QWidget> {
             auto window = settingsOn(QStringLiteral("Servers"));
             window->findChild<CustomServersTab *>()->showServerSettings();
             GalleryScene::waitForSheet(window.get(), QStringLiteral("serverSettingsSheet"));
             return window;
         }},
        {"sheet-site-monitor-settings",
         [](GalleryScene &) -> std::unique_ptr<QWidget> {
             UserDefaults::standard().setValue(QStringLiteral("monitorSites"), true);
             auto window = settingsOn(QStringLiteral("Monitoring"));
             window->findChild<MonitorTab *>()->showSiteSettings();
             if (QDialog *sheet =
                     GalleryScene::waitForSheet(window.get(), QStringLiteral("siteMonitorSettingsSheet"))) {
                 typeInto(sheet, "urlAliasField", QStringLiteral("robin-staging.example.org"));
             }
             return window;
         }},
        {"sheet-custom-server",
         [](GalleryScene &) -> std::unique_ptr<QWidget> {
             storeCustomServers();
             auto window = settingsOn(QStringLiteral("Servers"));
             window->findChild<CustomServersTab *>()->showAddForm();
             if (QDialog *sheet = GalleryScene::waitForSheet(window.get(), QStringLiteral("customServerSheet"))) {
                 typeInto(sheet, "nameField", QStringLiteral("Mail relay"));
                 typeInto(sheet, "hostField", QStringLiteral("mail.example.net"));
                 typeInto(sheet, "userField", QStringLiteral("postmaster"));
                 typeInto(sheet, "portField", QStringLiteral("70000"));
             }
             return window;
         }},
    };
}

} // namespace plimsy::test
