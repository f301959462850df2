#include "platform/DockVisibilityManager.h"

#include <QWidget>

using namespace plimsy;

namespace {

class DockVisibilityManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(DockVisibilityManager::windowCount(), 0);
        DockVisibilityManager::setApplyState([this](ApplicationTransformState state) { applied.push_back(state); });
    }
    void TearDown() override { DockVisibilityManager::setApplyState({}); }

    std::vector<ApplicationTransformState> applied;
};

using State = ApplicationTransformState;

} // namespace

TEST_F(DockVisibilityManagerTest, TwoWindowsOpenedAndClosedSwitchOnceEachWay)
{
    WindowVisibilityTracker first;
    WindowVisibilityTracker second;
    first.windowShown();
    first.windowShown(); // counted once
    second.windowShown();
    EXPECT_EQ(DockVisibilityManager::windowCount(), 2);
    second.windowClosed();
    EXPECT_EQ(DockVisibilityManager::windowCount(), 1);
    first.windowClosed();
    first.windowClosed(); // uncounted once
    EXPECT_EQ(DockVisibilityManager::windowCount(), 0);
    EXPECT_EQ(applied, (std::vector<State>{State::Foreground, State::UIElement}));
}

TEST_F(DockVisibilityManagerTest, ACloseAtZeroStaysAtZeroAndAppliesUIElementAgain)
{
    DockVisibilityManager::countWindowClosed();
    EXPECT_EQ(DockVisibilityManager::windowCount(), 0);
    EXPECT_EQ(applied, (std::vector<State>{State::UIElement}));
}

TEST_F(DockVisibilityManagerTest, DefaultActionBringsTheNewestWindowForward)
{
    DockVisibilityManager::setApplyState({});
    QWidget window;
    window.show();
    DockVisibilityManager::countWindowOpened();
    EXPECT_EQ(DockVisibilityManager::windowCount(), 1);
    DockVisibilityManager::countWindowClosed();
    EXPECT_EQ(DockVisibilityManager::windowCount(), 0);
}
