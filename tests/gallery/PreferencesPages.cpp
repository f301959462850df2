// The Preferences window's pages: its tabs, and the Forge account sheets with the alert over them.
#include "GalleryPage.h"
#include "GalleryScene.h"
#include "preferences/ForgeTab.h"
#include "preferences/PreferencesNativeTable.h"
#include "preferences/PreferencesWindowController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>

namespace plimsy::test {

namespace {

std::unique_ptr<PreferencesWindowController> preferencesOn(const QString &tab)
{
    auto window = std::make_unique<PreferencesWindowController>();
    window->selectTab(tab);
    window->showWindow();
    return window;
}

// The Forge Accounts tab with the first account selected.
std::unique_ptr<PreferencesWindowController> forgeAccounts(GalleryScene &scene)
{
    auto window = preferencesOn(QStringLiteral("Forge Accounts"));
    window->findChild<ForgeTab *>()->setSelectedAccountUUID(scene.accounts().first().uuid);
    return window;
}

QDialog *addSheet(QWidget *window, const QString &name, const QString &key)
{
    window->findChild<ForgeTab *>()->showAddAccount();
    QDialog *sheet = GalleryScene::waitForSheet(window, QStringLiteral("addForgeAccountSheet"));
    if (sheet) {
        sheet->findChild<QLineEdit *>(QStringLiteral("accountNameField"))->setText(name);
        sheet->findChild<QPlainTextEdit *>(QStringLiteral("apiKeyField"))->setPlainText(key);
    }
    return sheet;
}

} // namespace

QList<GalleryPage> preferencesPages()
{
    return {
        {"preferences-forge-accounts",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> { return forgeAccounts(scene); }},
        {"preferences-account-signed-in",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             scene.signIn();
             return preferencesOn(QStringLiteral("Account"));
         }},
        {"preferences-account-signed-out",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             scene.signOut();
             return preferencesOn(QStringLiteral("Account"));
         }},
        {"sheet-add-forge-account",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             auto window = forgeAccounts(scene);
             addSheet(window.get(), QStringLiteral("Side Projects"), QString::fromLatin1(DemoSpareKey));
             return window;
         }},
        {"sheet-add-forge-account-unverified",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             auto window = forgeAccounts(scene);
             if (QDialog *sheet = addSheet(window.get(), QStringLiteral("Client"), QStringLiteral("not-a-forge-key"))) {
                 sheet->findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
                 GalleryScene::waitUntil([sheet] {
                     const auto *alert = sheet->findChild<QMessageBox *>();
                     return alert && alert->isVisible();
                 });
             }
             return window;
         }},
        {"sheet-rename-forge-account",
         [](GalleryScene &scene) -> std::unique_ptr<QWidget> {
             auto window = forgeAccounts(scene);
             window->findChild<ForgeTab *>()->showRename();
             GalleryScene::waitForSheet(window.get(), QStringLiteral("renameForgeAccountSheet"));
             return window;
         }},
    };
}

} // namespace plimsy::test
