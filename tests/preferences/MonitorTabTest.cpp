#include "preferences/MonitorTab.h"

#include "PreferencesFixture.h"
#include "core/NotificationNames.h"
#include "preferences/PreferencesNativeTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace plimsy;
using namespace plimsy::test;

namespace {

// The Monitoring tab with the real status menu beside it; sites come from a refresh against FakeForge.
class MonitorTabTest : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        for (const auto name : {NotificationNames::monitoringSettingsChanged, NotificationNames::accountsChanged}) {
            NotificationCenter::defaultCenter().addObserver(
                name, &observer, [this](const Notification &n) { posted << n.name; });
        }
    }

    MonitorTab *openTab()
    {
        openWindow("Monitoring");
        return find<MonitorTab>("monitorTab");
    }

    // One account with a server "web-1" and two sites, loaded by the real menu; monitoring on.
    void loadSites()
    {
        account = addAccount("Main");
        const QString organization = forge.addOrganization("Acme").slug;
        const qint64 server = forge.addServer(organization, "web-1").id;
        shop = forge.addSite(server, "xn--bckerei-5wa.example").id;
        blog = forge.addSite(server, "blog.example").id;
        defaults.setValue("monitorSites", true);
        start();
        networkUp();
        waitUntilIdle();
        ASSERT_EQ(appState.sites().size(), 2);
    }

    QPointer<QDialog> openSiteSettings(MonitorTab *tab)
    {
        click(tab, "siteSettingsButton");
        QPointer<QDialog> opened = sheet("siteMonitorSettingsSheet");
        EXPECT_TRUE(isOpen(opened));
        return opened;
    }

    void selectSite(QDialog *settings, qint64 id)
    {
        find<PreferencesNativeTable>("sitesTable", settings)->selectId(QVariant(id));
        QCoreApplication::processEvents();
    }

    QString storedAlias(qint64 siteId)
    {
        return AccountManager::findAccount(*account.uuid, defaults)
            ->aliasSiteToURL.value_or(QMap<qint64, QString>())
            .value(siteId, "<none>");
    }

    Account account;
    qint64 shop = 0;
    qint64 blog = 0;
    QObject observer;
    QStringList posted;
};

TEST_F(MonitorTabTest, TheSwitchEnablesTheRestAndEachChangeIsAnnouncedOnce)
{
    MonitorTab *tab = openTab();
    auto *enable = find<QCheckBox>("enableMonitoringCheckBox", tab);
    auto *interval = find<QComboBox>("monitorIntervalPicker", tab);
    auto *onLaunch = find<QCheckBox>("monitorOnLaunchCheckBox", tab);
    auto *siteSettings = find<QPushButton>("siteSettingsButton", tab);
    EXPECT_TRUE(enable->isEnabled());
    EXPECT_FALSE(enable->isChecked());
    for (QWidget *control : QList<QWidget *>{interval, onLaunch, siteSettings}) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }

    enable->click();
    for (QWidget *control : QList<QWidget *>{interval, onLaunch, siteSettings}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_TRUE(defaults.boolValue("monitorSites"));
    EXPECT_EQ(posted, QStringList{"monitoringSettingsChanged"});

    pick(interval, "12 hours");
    EXPECT_EQ(defaults.integer("monitorSitesInterval"), 720);
    pick(interval, "12 hours");
    EXPECT_EQ(posted.size(), 2);

    onLaunch->click();
    EXPECT_TRUE(defaults.boolValue("monitorSitesOnLaunch"));
    EXPECT_EQ(posted.size(), 2);

    enable->click();
    EXPECT_FALSE(interval->isEnabled());
    EXPECT_EQ(posted.size(), 3);
}

struct IntervalRow
{
    const char *name;
    std::optional<int> stored;
    std::optional<int> registered;
    const char *shown;
};

void PrintTo(const IntervalRow &row, std::ostream *out)
{
    *out << row.name;
}

class MonitorTabIntervalTest : public MonitorTabTest, public ::testing::WithParamInterface<IntervalRow>
{
};

TEST_P(MonitorTabIntervalTest, ThePopUpShowsWhatTheMonitorUsesAndWritesNothing)
{
    const IntervalRow &row = GetParam();
    if (row.registered) {
        defaults.registerDefaults({{"monitorSitesInterval", *row.registered}});
    }
    if (row.stored) {
        defaults.setValue("monitorSitesInterval", *row.stored);
    }
    MonitorTab *tab = openTab();
    EXPECT_EQ(find<QComboBox>("monitorIntervalPicker", tab)->currentText(), row.shown);
    EXPECT_EQ(defaults.contains("monitorSitesInterval"), row.stored.has_value());
    EXPECT_TRUE(posted.isEmpty());
}

const IntervalRow IntervalRows[] = {
    {"NothingStored", std::nullopt, std::nullopt, "10 minutes"},
    {"RegisteredDefault", std::nullopt, 60, "1 hour"},
    {"BelowTheFirst", 5, std::nullopt, "10 minutes"},
    {"NotOneOfTheFive", 45, std::nullopt, "1 hour"},
    {"OneOfTheFive", 1440, std::nullopt, "24 hours"},
};

INSTANTIATE_TEST_SUITE_P(Stored, MonitorTabIntervalTest, ::testing::ValuesIn(IntervalRows), [](const auto &info) {
    return std::string(info.param.name);
});

TEST_F(MonitorTabTest, TheSiteSheetAnnouncesOnlyAChangeAndOnlyWhenItEnds)
{
    loadSites();
    MonitorTab *tab = openTab();
    QPointer<QDialog> settings = openSiteSettings(tab);
    // Listed by name: blog before shop, the first selected with its server.
    EXPECT_EQ(find<QLabel>("siteNameLabel", settings)->text(), "blog.example");
    EXPECT_EQ(find<QLabel>("serverNameLabel", settings)->text(), "web-1");
    // An internationalised name reads as the menu shows it.
    EXPECT_EQ(find<PreferencesNativeTable>("sitesTable", settings)->tableModel().index(1, 0).data(),
              "bäckerei.example");
    selectSite(settings, shop);
    EXPECT_EQ(find<QLabel>("siteNameLabel", settings)->text(), "bäckerei.example");
    click(settings, "doneButton");
    EXPECT_FALSE(isOpen(settings));
    EXPECT_TRUE(posted.isEmpty());

    settings = openSiteSettings(tab);
    find<QCheckBox>("disableMonitoringCheckBox", settings)->click();
    find<QCheckBox>("disableMonitoringCheckBox", settings)->click();
    EXPECT_TRUE(posted.isEmpty());
    // Escape ends the sheet as well as "Done".
    QTest::keyClick(settings, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_FALSE(isOpen(settings));
    EXPECT_EQ(posted, QStringList{"accountsChanged"});
    EXPECT_EQ(AccountManager::findAccount(*account.uuid, defaults)->ignoredMonitoringSites, QList<qint64>{});
}

TEST_F(MonitorTabTest, TheAliasIsStoredOnReturnAndOnDoneButNotBySelectingAnotherSite)
{
    loadSites();
    MonitorTab *tab = openTab();
    QPointer<QDialog> settings = openSiteSettings(tab);
    auto *alias = find<QLineEdit>("urlAliasField", settings);
    QTest::keyClicks(alias, "blog.example.org");
    selectSite(settings, shop);
    EXPECT_EQ(storedAlias(blog), "<none>");
    EXPECT_EQ(alias->text(), "");
    selectSite(settings, blog);
    EXPECT_EQ(alias->text(), "");

    QTest::keyClicks(alias, " blog.example.org ");
    QTest::keyClick(alias, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(storedAlias(blog), "blog.example.org");
    // Return also pressed "Done": the sheet ended after the one write, announced once.
    EXPECT_FALSE(isOpen(settings));
    EXPECT_EQ(posted, QStringList{"accountsChanged"});

    // The real menu refreshed on the announcement; the sheet lists what it loaded.
    waitUntilIdle();
    settings = openSiteSettings(tab);
    selectSite(settings, shop);
    QTest::keyClicks(find<QLineEdit>("urlAliasField", settings), "shop.example.org");
    click(settings, "doneButton");
    EXPECT_EQ(storedAlias(shop), "shop.example.org");
    EXPECT_EQ(posted.size(), 2);
    // After the next refresh the site carries its alias.
    waitUntilIdle();
    EXPECT_EQ(firstWithId(appState.sites(), shop)->URLAlias, "shop.example.org");
}

} // namespace
