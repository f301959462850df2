#include "PreferencesFixture.h"
#include "core/NotificationNames.h"
#include "platform/NotificationCenter.h"
#include "preferences/PreferencesTabs.h"

#include <QAction>
#include <QToolBar>

using namespace plimsy;
using namespace plimsy::test;

namespace {

class PreferencesWindowTest : public PreferencesFixture
{
protected:
    void SetUp() override
    {
        PreferencesFixture::SetUp();
        DockVisibilityManager::setApplyState([this](ApplicationTransformState state) { applied << state; });
    }

    void TearDown() override
    {
        other.close();
        DockVisibilityManager::setApplyState({});
        PreferencesFixture::TearDown();
    }

    void activate(QWidget &widget)
    {
        widget.show();
        widget.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&widget));
    }

    QList<ApplicationTransformState> applied;
    QWidget other;
};

} // namespace

TEST_F(PreferencesWindowTest, TheTitleFollowsTheSelectedTabAndTheWindowFitsEachTab)
{
    PreferencesWindowController &shown = openWindow();
    EXPECT_EQ(shown.windowTitle(), "General");
    EXPECT_EQ(shown.selectedTab(), "General");
    const QList<QAction *> tabs = find<QToolBar>("preferencesToolBar")->actions();
    ASSERT_EQ(tabs.size(), 5);
    for (int i = 0; i < tabs.size(); ++i) {
        tabs.at(i)->trigger();
        QCoreApplication::processEvents();
        EXPECT_EQ(shown.windowTitle(), QString::fromLatin1(PreferencesTabTable.at(i).label));
        EXPECT_TRUE(tabs.at(i)->isChecked());
        EXPECT_GE(shown.width(), 600);
        EXPECT_EQ(shown.minimumSize(), shown.maximumSize()) << "resizable on " << PreferencesTabTable.at(i).label;
    }
    // Each tab gets its own height, not the tallest one's.
    shown.selectTab("Forge Accounts");
    const int accounts = shown.height();
    shown.selectTab("Monitoring");
    EXPECT_LT(shown.height(), accounts);

    // Closing hides; the same window, on the same tab, comes back.
    shown.close();
    EXPECT_FALSE(shown.isVisible());
    shown.showWindow();
    EXPECT_EQ(shown.windowTitle(), "Monitoring");
    // Brought up for the API-key set-up, it opens where keys are added.
    NotificationCenter::defaultCenter().post(NotificationNames::showAPIKeySetup);
    EXPECT_EQ(shown.windowTitle(), "Forge Accounts");

    std::unique_ptr<QWidget> unknown(preferencesTabView("Shortcuts", preferencesServices()));
    EXPECT_TRUE(unknown->children().isEmpty());
}

TEST_F(PreferencesWindowTest, ItCountsOnceFromItsFirstActivationUntilItCloses)
{
    window = std::make_unique<PreferencesWindowController>(preferencesServices());
    activate(other);
    // Shown behind the active window: not counted yet.
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isActiveWindow());
    EXPECT_EQ(DockVisibilityManager::windowCount(), 0);

    for (int round = 0; round < 3; ++round) {
        activate(*window);
        activate(other);
    }
    EXPECT_TRUE(window->isTrackedAsOpen());
    EXPECT_EQ(DockVisibilityManager::windowCount(), 1);
    EXPECT_EQ(applied, QList{ApplicationTransformState::Foreground});

    // Another window left the count unbalanced: closing keeps it at 0 and still goes back to the tray.
    DockVisibilityManager::countWindowClosed();
    applied.clear();
    window->close();
    EXPECT_FALSE(window->isTrackedAsOpen());
    EXPECT_EQ(DockVisibilityManager::windowCount(), 0);
    EXPECT_EQ(applied, QList{ApplicationTransformState::UIElement});
    window->close();
    EXPECT_EQ(applied.size(), 1);
}
