#include "platform/AppPaths.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace plimsy;

TEST(AppPathsTest, ApplicationDirectoryIsPrivateAndUnderApplicationSupport)
{
    const QString directory = AppPaths::applicationDirectory();
    ASSERT_FALSE(directory.isEmpty());
    EXPECT_TRUE(directory.startsWith(AppPaths::applicationSupport()));
    EXPECT_TRUE(directory.endsWith("/com.tindrel.Plimsy"));
    const QFileInfo info(directory);
    EXPECT_TRUE(info.isDir());
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(info.permissions() & others);
    EXPECT_TRUE(info.permissions() & QFileDevice::WriteOwner);
}
