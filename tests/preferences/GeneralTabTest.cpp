#include "preferences/GeneralTab.h"

#include "FakeHttpServer.h"
#include "PreferencesFixture.h"
#include "app/UpdateController.h"
#include "core/NotificationNames.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The General tab over the real updater (its feed on a local server that fails every check) and the
// real hot-key manager, which has no desktop to register with here.
class GeneralTabTest : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        feed.route("GET", QStringLiteral("/appcast.xml"), FakeResponse::text("oops", 500));
        defaults.setValue(QLatin1String(UpdateController::LastCheckKey), updaterClock.now().toSecsSinceEpoch());
        updaterSleeper.setManual(true);
        updater = std::make_unique<UpdateController>(
            UpdateController::Services{&defaults,
                                       &alerts,
                                       &opener,
                                       nullptr,
                                       &updaterClock,
                                       &updaterSleeper,
                                       feed.url(QStringLiteral("/appcast.xml")).toString(),
                                       QStringLiteral("1.0"),
                                       QStringLiteral("1")});
        NotificationCenter::defaultCenter().addObserver(NotificationNames::autoRefreshIntervalChanged,
                                                        &observer,
                                                        [this](const Notification &n) { posted << n.name; });
    }

    void TearDown() override
    {
        PreferencesFixture::TearDown();
        updater.reset();
        // The daily check's wait ends, so its coroutine finishes instead of waiting forever.
        updaterClock.advance(2 * UpdateController::CheckInterval);
        QCoreApplication::processEvents();
    }

    GeneralTab *openTab(bool withUpdater = true)
    {
        PreferencesServices with = preferencesServices();
        with.updater = withUpdater ? updater.get() : nullptr;
        with.showLogsFolder = [this] { ++logFolderShown; };
        window = std::make_unique<PreferencesWindowController>(with);
        window->selectTab("General");
        window->showWindow();
        QCoreApplication::processEvents();
        return find<GeneralTab>("generalTab");
    }

    FakeHttpServer feed;
    FakeClock updaterClock;
    FakeSleeper updaterSleeper{updaterClock};
    std::unique_ptr<UpdateController> updater;
    QObject observer;
    QStringList posted;
    int logFolderShown = 0;
};

TEST_F(GeneralTabTest, WithNothingStoredItShowsTheDefaultsAndWritesNothing)
{
    GeneralTab *tab = openTab();
    EXPECT_EQ(find<QComboBox>("terminalPicker", tab)->currentText(), "Terminal");
    EXPECT_EQ(find<QComboBox>("hotkeyPicker", tab)->currentText(), "Super+Shift+K");
    EXPECT_EQ(find<QComboBox>("refreshIntervalPicker", tab)->currentText(), "10 minutes");
    EXPECT_EQ(find<QComboBox>("refreshIntervalPicker", tab)->count(), 5);
    EXPECT_TRUE(find<QCheckBox>("automaticUpdatesCheckBox", tab)->isChecked());
    for (const char *key : {"myTerminal", "actionBarHotkey", "autoRefreshInterval"}) {
        EXPECT_FALSE(defaults.contains(key)) << key;
    }
    // No desktop to hold the key here: the tab says so under the picker.
    auto *status = find<QLabel>("hotkeyStatusLabel", tab);
    EXPECT_TRUE(status->isVisible());
    EXPECT_FALSE(status->text().isEmpty());
}

TEST_F(GeneralTabTest, PickersStoreTheirValueAndActOnlyOnAChange)
{
    start();
    GeneralTab *tab = openTab();
    auto *interval = find<QComboBox>("refreshIntervalPicker", tab);
    pick(interval, "10 minutes");
    EXPECT_TRUE(posted.isEmpty());
    EXPECT_FALSE(defaults.contains("autoRefreshInterval"));

    pick(interval, "1 hour");
    EXPECT_EQ(defaults.integer("autoRefreshInterval"), 60);
    EXPECT_EQ(posted, QStringList{"autoRefreshIntervalChanged"});
    // The real status menu takes the new interval at once.
    EXPECT_EQ(logLinesStartingWith("[AutoRefresh] Timer scheduled every 3600s").size(), 1);
    pick(interval, "1 hour");
    EXPECT_EQ(posted.size(), 1);

    pick(find<QComboBox>("hotkeyPicker", tab), "Alt+Space");
    EXPECT_EQ(defaults.integer("actionBarHotkey"), 2);
    EXPECT_EQ(hotkeys.currentOption().id, 2);
    EXPECT_TRUE(hotkeys.isInstalled());

    pick(find<QComboBox>("terminalPicker", tab), "Ghostty");
    EXPECT_EQ(defaults.integer("myTerminal"), 4);
}

TEST_F(GeneralTabTest, AStoredValueOutsideTheChoicesStaysUntilTheUserPicks)
{
    defaults.setValue("autoRefreshInterval", 7);
    // iTerm, which has no Linux build: it reads as the terminal it opens.
    defaults.setValue("myTerminal", 1);
    GeneralTab *tab = openTab();
    EXPECT_EQ(find<QComboBox>("refreshIntervalPicker", tab)->currentIndex(), -1);
    EXPECT_EQ(defaults.integer("autoRefreshInterval"), 7);
    pick(find<QComboBox>("refreshIntervalPicker", tab), "10 minutes");
    EXPECT_EQ(defaults.integer("autoRefreshInterval"), 10);
    EXPECT_EQ(posted.size(), 1);

    auto *terminal = find<QComboBox>("terminalPicker", tab);
    EXPECT_EQ(terminal->count(), 4);
    EXPECT_EQ(terminal->findText("iTerm"), -1);
    EXPECT_EQ(terminal->currentText(), "Terminal");
    pick(terminal, "Terminal");
    EXPECT_EQ(defaults.integer("myTerminal"), 1);
    pick(terminal, "Warp");
    EXPECT_EQ(defaults.integer("myTerminal"), 3);
}

TEST_F(GeneralTabTest, UpdatesAndDiagnosticsReachTheirServices)
{
    GeneralTab *tab = openTab();
    auto *automatic = find<QCheckBox>("automaticUpdatesCheckBox", tab);
    automatic->click();
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());

    // Shown again, the box reads the updater's own setting.
    updater->setAutomaticallyChecksForUpdates(true);
    window->selectTab("Servers");
    window->selectTab("General");
    QCoreApplication::processEvents();
    EXPECT_TRUE(automatic->isChecked());

    click(tab, "checkNowButton");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !alerts.open().isEmpty(); }, 20'000));
    EXPECT_EQ(alerts.open().last().alert.messageText, "Update Error!");

    // The fixture logs verbosely.
    auto *verbose = find<QCheckBox>("verboseLoggingCheckBox", tab);
    EXPECT_TRUE(verbose->isChecked());
    verbose->click();
    EXPECT_FALSE(defaults.boolValue("verboseLogging"));
    click(tab, "viewLogsButton");
    EXPECT_EQ(logFolderShown, 1);
}

TEST_F(GeneralTabTest, WithoutAnUpdaterTheUpdateControlsSaySo)
{
    GeneralTab *tab = openTab(false);
    EXPECT_FALSE(find<QCheckBox>("automaticUpdatesCheckBox", tab)->isEnabled());
    EXPECT_FALSE(find<QCheckBox>("automaticUpdatesCheckBox", tab)->isChecked());
    click(tab, "checkNowButton");
    ASSERT_FALSE(alerts.open().isEmpty());
    EXPECT_EQ(alerts.open().last().alert.messageText, "Update checks are not part of this build yet.");
}

} // namespace
