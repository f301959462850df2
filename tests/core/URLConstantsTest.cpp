#include "core/URLConstants.h"

using namespace plimsy;

namespace {

struct SwitchRow
{
    const char *name;
    QStringList arguments;
    bool isDev;
};

class DevBackendSwitchTest : public ::testing::TestWithParam<SwitchRow>
{
};

TEST_P(DevBackendSwitchTest, ChoosesTheBasesByWholeArgument)
{
    const SwitchRow &row = GetParam();
    EXPECT_EQ(URLConstants::isDevBackend(row.arguments), row.isDev);
    const QString web = row.isDev ? URLConstants::devWebBase() : URLConstants::productWebBase();
    const QString api = row.isDev ? URLConstants::devAPIBase() : URLConstants::productAPIBase();
    EXPECT_EQ(announcementsURL(row.arguments), api + "/announcements");
    EXPECT_EQ(apiKeyHelpURL(row.arguments), web + "/help/api-key");
    EXPECT_EQ(dashboardURL(row.arguments), web + "/dashboard");
    EXPECT_EQ(webURL("/auth/app", row.arguments), web + "/auth/app");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments,
    DevBackendSwitchTest,
    ::testing::Values(SwitchRow{"none", {"plimsy"}, false},
                      SwitchRow{"exact", {"plimsy", "-useDevBackend"}, true},
                      SwitchRow{"exactAmongOthers", {"plimsy", "--verbose", "-useDevBackend", "x"}, true},
                      SwitchRow{"longer", {"plimsy", "-useDevBackendX"}, false},
                      SwitchRow{"doubleDash", {"plimsy", "--useDevBackend"}, false},
                      SwitchRow{"otherCase", {"plimsy", "-usedevbackend"}, false},
                      SwitchRow{"embedded", {"plimsy", "x=-useDevBackend"}, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(URLConstantsTest, BasesHaveTheirFixedForms)
{
    EXPECT_TRUE(URLConstants::productWebBase().startsWith("https://"));
    EXPECT_FALSE(URLConstants::productWebBase().endsWith("/"));
    EXPECT_TRUE(URLConstants::productAPIBase().startsWith("https://"));
    EXPECT_TRUE(URLConstants::productAPIBase().endsWith("/v1"));
    EXPECT_TRUE(URLConstants::devWebBase().startsWith("http://"));
    EXPECT_TRUE(URLConstants::devAPIBase().startsWith("http://"));
    EXPECT_TRUE(URLConstants::devAPIBase().endsWith("/v1"));
    EXPECT_TRUE(URLConstants::forgeWebBase().startsWith("https://"));
    EXPECT_TRUE(URLConstants::forgeWebBase().endsWith("/servers/"));
    EXPECT_TRUE(URLConstants::forgeAPIBase().endsWith("/api/"));
}

TEST(URLConstantsTest, ForgeSiteURLJoinsTheIds)
{
    EXPECT_EQ(forgeSiteURL(12, 345), URLConstants::forgeWebBase() + "12/sites/345");
    EXPECT_TRUE(forgeSiteURL(12, 345).endsWith("/servers/12/sites/345"));
    EXPECT_EQ(forgeAPITokenURL(), "https://forge.laravel.com/profile/api");
}

TEST(URLConstantsTest, EnvironmentReplacesABase)
{
    qputenv("PLIMSY_DEV_API_BASE", "http://127.0.0.1:4567/v1");
    qputenv("PLIMSY_FORGE_WEB_BASE", "http://127.0.0.1:4568/servers/");
    EXPECT_EQ(announcementsURL({"-useDevBackend"}), "http://127.0.0.1:4567/v1/announcements");
    EXPECT_EQ(forgeSiteURL(1, 2), "http://127.0.0.1:4568/servers/1/sites/2");
    EXPECT_EQ(forgeAPITokenURL(), "http://127.0.0.1:4568/profile/api");
    qunsetenv("PLIMSY_DEV_API_BASE");
    qunsetenv("PLIMSY_FORGE_WEB_BASE");
    EXPECT_NE(announcementsURL({"-useDevBackend"}), "http://127.0.0.1:4567/v1/announcements");
}

} // namespace
