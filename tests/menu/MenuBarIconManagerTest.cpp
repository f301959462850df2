#include "menu/MenuBarIconManager.h"

#include "platform/StatusItem.h"
#include "platform/TemplateImage.h"

#include <QCoreApplication>
#include <QImage>

using namespace plimsy;

namespace {

QImage picture(const QIcon &icon)
{
    return icon.pixmap(22, 22).toImage();
}

} // namespace

TEST(MenuBarIconManagerTest, TheLastAppliedStateWinsOnceTheEventLoopRuns)
{
    StatusItem item;
    MenuBarIconManager icon(&item);
    icon.hasError = true;
    icon.apply(icon.currentState());
    EXPECT_TRUE(item.image().isNull()); // queued, not yet applied
    icon.hasError = false;
    icon.apply(icon.currentState());
    QCoreApplication::processEvents();
    ASSERT_FALSE(item.image().isNull());
    EXPECT_EQ(item.imageName(), QStringLiteral("terminal_outlined"));
    EXPECT_EQ(picture(item.image()), picture(TemplateImage::outlinedNamed(QStringLiteral("terminal_outlined"))));

    icon.hasError = true;
    icon.apply(icon.currentState());
    QCoreApplication::processEvents();
    EXPECT_EQ(item.imageName(), QStringLiteral("menubar_error"));
    EXPECT_NE(picture(item.image()), picture(TemplateImage::outlinedNamed(QStringLiteral("terminal_outlined"))));
}

TEST(MenuBarIconManagerTest, ApplyAfterTheItemIsGoneDoesNothing)
{
    auto item = std::make_unique<StatusItem>();
    MenuBarIconManager icon(item.get());
    icon.apply(MenuBarIconState::Error);
    item.reset();
    icon.apply(MenuBarIconState::Normal);
    QCoreApplication::processEvents();
    SUCCEED();
}
