// The Preferences window by keyboard alone and as assistive technologies read it, on the offscreen platform.
#include "PreferencesFixture.h"
#include "onboarding/OnboardingAPIKeyView.h"
#include "preferences/AddForgeAccountView.h"
#include "preferences/AddForgeAccountViewModel.h"
#include "preferences/PreferencesNativeTable.h"
#include "preferences/PreferencesTabs.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class PreferencesAccessTest : public PreferencesFixture
{
protected:
    // One account with a server and two sites, loaded by the real menu; monitoring on.
    void loadSites()
    {
        addAccount("Main");
        const qint64 server = forge.addServer(forge.addOrganization("Acme").slug, "web-1").id;
        forge.addSite(server, "shop.example");
        forge.addSite(server, "blog.example");
        defaults.setValue("monitorSites", true);
        start();
        networkUp();
        waitUntilIdle();
    }

    static QWidget *focused() { return QApplication::focusWidget(); }

    static void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        ASSERT_NE(focused(), nullptr);
        QTest::keyClick(focused(), Qt::Key(key), modifiers);
        QCoreApplication::processEvents();
    }

    // Presses Tab until `reached` holds for the focused widget; false after a whole lap without it.
    static bool tabUntil(const std::function<bool(QWidget *)> &reached)
    {
        for (int step = 0; step < 40; ++step) {
            QTest::keyClick(focused(), Qt::Key_Tab);
            QCoreApplication::processEvents();
            if (focused() && reached(focused())) {
                return true;
            }
        }
        return false;
    }

    static bool tabTo(const QString &objectName)
    {
        return tabUntil([&objectName](QWidget *widget) { return widget->objectName() == objectName; });
    }

    // Every focusable, shown control under `root` that the accessibility tree gives no name (or a combo
    // box no label), by class and object name.
    static QStringList unnamed(QWidget *root)
    {
        QStringList found;
        std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
            const QAccessible::State state = node->state();
            // Combo boxes give their value as their name here: screen readers take their label's relation.
            const bool labelled =
                node->role() != QAccessible::ComboBox || !node->relations(QAccessible::Label).isEmpty();
            if (state.focusable && !state.invisible
                && (node->text(QAccessible::Name).trimmed().isEmpty() || !labelled)) {
                QObject *object = node->object();
                found << QStringLiteral("%1 %2").arg(
                    QString::fromLatin1(object ? object->metaObject()->className() : "?"),
                    object ? object->objectName() : QString());
            }
            for (int i = 0; i < node->childCount(); ++i) {
                if (QAccessibleInterface *child = node->child(i)) {
                    walk(child);
                }
            }
        };
        walk(QAccessible::queryAccessibleInterface(root));
        return found;
    }
};

} // namespace

TEST_F(PreferencesAccessTest, TheKeyboardReachesEveryTabLeavesEachTableAndFinishesASheet)
{
    loadSites();
    addAccount("Second");
    PreferencesWindowController &shown = openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&shown));
    const auto tabButton = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->role() == QAccessible::PageTab;
    };

    // Every tab's button takes the focus from Tab, and exposes a selected page tab.
    QSet<QString> reached;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(tabUntil([&](QWidget *w) { return tabButton(w) && !reached.contains(w->accessibleName()); }));
        reached << focused()->accessibleName();
        QAccessibleInterface *tab = QAccessible::queryAccessibleInterface(focused());
        EXPECT_EQ(tab->role(), QAccessible::PageTab);
        EXPECT_EQ(tab->state().selected, focused()->accessibleName() == shown.selectedTab());
    }
    // Space on a tab's button shows it.
    press(Qt::Key_Space);
    EXPECT_EQ(shown.selectedTab(), focused()->accessibleName());

    // Ctrl+PgDn on a focused combo box switches the tab and leaves the combo as it was.
    shown.selectTab("General");
    auto *terminal = find<QComboBox>("terminalPicker");
    terminal->setFocus();
    const int terminalIndex = terminal->currentIndex();
    press(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(shown.selectedTab(), "Forge Accounts");
    EXPECT_EQ(terminal->currentIndex(), terminalIndex);
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(shown.selectedTab(), "Servers");
    press(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(shown.selectedTab(), "Forge Accounts");
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(shown.selectedTab(), "General");
    press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(shown.selectedTab(), "Account");

    // Tab leaves a table at once, whatever row is selected, and leaves the selection alone.
    shown.selectTab("Forge Accounts");
    auto *accounts = find<PreferencesNativeTable>("accountsTable");
    accounts->setFocus();
    accounts->selectId(accounts->tableModel().rows().first().id);
    const QVariant selected = accounts->selectedId();
    press(Qt::Key_Tab);
    EXPECT_NE(focused(), accounts);
    EXPECT_EQ(accounts->selectedId(), selected);

    // The site sheet, opened, filled in and finished by keyboard; its list is left by Tab too.
    shown.selectTab("Monitoring");
    ASSERT_TRUE(tabTo("siteSettingsButton"));
    press(Qt::Key_Space);
    QPointer<QDialog> settings = sheet("siteMonitorSettingsSheet");
    ASSERT_TRUE(isOpen(settings));
    ASSERT_TRUE(QTest::qWaitForWindowActive(settings));
    auto *sites = find<PreferencesNativeTable>("sitesTable", settings);
    sites->setFocus();
    const QVariant site = sites->selectedId();
    ASSERT_TRUE(tabTo("disableMonitoringCheckBox"));
    EXPECT_EQ(sites->selectedId(), site);
    ASSERT_TRUE(tabTo("urlAliasField"));
    QTest::keyClicks(focused(), "www.example.org");
    ASSERT_TRUE(tabTo("doneButton"));
    press(Qt::Key_Space);
    EXPECT_FALSE(isOpen(settings));
    const std::optional<Account> main = AccountManager::loadAccounts(defaults).value(0);
    ASSERT_TRUE(main && main->aliasSiteToURL);
    EXPECT_EQ(main->aliasSiteToURL->value(site.toLongLong()), "www.example.org");
}

TEST_F(PreferencesAccessTest, EveryFocusableControlOfTheWindowsAndSheetsHasAName)
{
    loadSites();
    PreferencesWindowController &shown = openWindow();
    for (const PreferencesTab &tab : PreferencesTabTable) {
        shown.selectTab(QString::fromLatin1(tab.label));
        QCoreApplication::processEvents();
        EXPECT_EQ(unnamed(&shown), QStringList()) << tab.label;
    }

    const std::vector<std::pair<QString, QString>> sheets{
        {"Forge Accounts", "addForgeAccountSheet"},
        {"Servers", "serverSettingsSheet"},
        {"Servers", "customServerSheet"},
        {"Monitoring", "siteMonitorSettingsSheet"},
    };
    const std::map<QString, QString> openers{{"addForgeAccountSheet", "addButton"},
                                             {"serverSettingsSheet", "configureServersButton"},
                                             {"customServerSheet", "addButton"},
                                             {"siteMonitorSettingsSheet", "siteSettingsButton"}};
    for (const auto &[tab, name] : sheets) {
        shown.selectTab(tab);
        QCoreApplication::processEvents();
        QWidget *page = shown.findChild<QStackedWidget *>("preferencesPages")->currentWidget();
        QList<QAbstractButton *> buttons = page->findChildren<QAbstractButton *>(openers.at(name));
        ASSERT_FALSE(buttons.isEmpty()) << name.toStdString();
        buttons.first()->click();
        QCoreApplication::processEvents();
        QPointer<QDialog> opened = sheet(name);
        ASSERT_TRUE(isOpen(opened)) << name.toStdString();
        EXPECT_EQ(unnamed(opened), QStringList()) << name.toStdString();
        opened->reject();
        QCoreApplication::processEvents();
    }

    OnboardingAPIKeyView onboarding({}, preferencesServices());
    onboarding.show();
    EXPECT_EQ(unnamed(&onboarding), QStringList());
}
