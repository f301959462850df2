#include "forge/ForgeAPIError.h"

#include <gtest/gtest.h>

using namespace plimsy;
using Case = ForgeAPIError::Case;

namespace {

struct StatusRow
{
    const char *name;
    int status;
    std::optional<Case> errorCase; // none: success
    const char *logLine;
    const char *description;
};

void PrintTo(const StatusRow &row, std::ostream *out)
{
    *out << row.name;
}

class ForgeStatusMapTest : public ::testing::TestWithParam<StatusRow>
{
};

TEST_P(ForgeStatusMapTest, MapsTheStatusToItsCaseLineAndText)
{
    const StatusRow &row = GetParam();
    const auto mapping = ForgeAPIError::forHTTPStatus(row.status);
    if (!row.errorCase) {
        EXPECT_FALSE(mapping.has_value());
        return;
    }
    ASSERT_TRUE(mapping.has_value());
    EXPECT_EQ(mapping->error.errorCase(), *row.errorCase);
    EXPECT_EQ(mapping->logLine, QString::fromUtf8(row.logLine));
    EXPECT_EQ(mapping->error.errorDescription(), QString::fromUtf8(row.description));
    EXPECT_EQ(mapping->error.userMessage(), QString::fromUtf8(row.description));
    EXPECT_STREQ(mapping->error.what(), row.description);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses,
    ForgeStatusMapTest,
    ::testing::Values(
        StatusRow{"ok200", 200, std::nullopt, "", ""},
        StatusRow{"created201", 201, std::nullopt, "", ""},
        StatusRow{"noContent204", 204, std::nullopt, "", ""},
        StatusRow{"edge299", 299, std::nullopt, "", ""},
        StatusRow{"multiple300",
                  300,
                  Case::UnknownError,
                  "[ForgeAPI] Error: HTTP 300 - Unknown error",
                  "Unknown error (HTTP 300)"},
        StatusRow{"moved301",
                  301,
                  Case::UnknownError,
                  "[ForgeAPI] Error: HTTP 301 - Unknown error",
                  "Unknown error (HTTP 301)"},
        StatusRow{"redirect302",
                  302,
                  Case::NoValidKey,
                  "[ForgeAPI] Error: HTTP 302 - No valid key (redirect)",
                  "No valid API Key was given"},
        StatusRow{"badRequest400",
                  400,
                  Case::BadRequest,
                  "[ForgeAPI] Error: HTTP 400 - Bad request",
                  "Valid data was given but the request has failed"},
        StatusRow{"unauthorized401",
                  401,
                  Case::NoValidKey,
                  "[ForgeAPI] Error: HTTP 401 - No valid key",
                  "No valid API Key was given"},
        StatusRow{"forbidden403", 403, Case::Forbidden, "[ForgeAPI] Error: HTTP 403 - Forbidden", "Access forbidden"},
        StatusRow{"notFound404",
                  404,
                  Case::NotFound,
                  "[ForgeAPI] Error: HTTP 404 - Not found",
                  "The requested resource could not be found"},
        StatusRow{"teapot418",
                  418,
                  Case::UnknownError,
                  "[ForgeAPI] Error: HTTP 418 - Unknown error",
                  "Unknown error (HTTP 418)"},
        StatusRow{"unprocessable422",
                  422,
                  Case::UnprocessableEntity,
                  "[ForgeAPI] Error: HTTP 422 - Unprocessable entity",
                  "The payload has missing required parameters or invalid data was given"},
        StatusRow{"tooMany429",
                  429,
                  Case::TooManyRequests,
                  "[ForgeAPI] Error: HTTP 429 - Too many requests",
                  "Too many attempts - please try again later"},
        StatusRow{"internal500",
                  500,
                  Case::InternalServerError,
                  "[ForgeAPI] Error: HTTP 500 - Internal server error",
                  "Request failed due to an internal error in Forge"},
        StatusRow{"notImplemented501",
                  501,
                  Case::UnknownError,
                  "[ForgeAPI] Error: HTTP 501 - Unknown error",
                  "Unknown error (HTTP 501)"},
        StatusRow{
            "badGateway502", 502, Case::BadGateway, "[ForgeAPI] Error: HTTP 502 - Bad gateway", "Bad gateway (502)"},
        StatusRow{"unavailable503",
                  503,
                  Case::ServiceUnavailable,
                  "[ForgeAPI] Error: HTTP 503 - Service unavailable",
                  "Forge is offline for maintenance"},
        StatusRow{"gatewayTimeout504",
                  504,
                  Case::GatewayTimeout,
                  "[ForgeAPI] Error: HTTP 504 - Gateway timeout",
                  "Forge took too long to respond \u2014 try again shortly"},
        StatusRow{"informational100",
                  100,
                  Case::UnknownError,
                  "[ForgeAPI] Error: HTTP 100 - Unknown error",
                  "Unknown error (HTTP 100)"},
        StatusRow{"zero", 0, Case::UnknownError, "[ForgeAPI] Error: HTTP 0 - Unknown error", "Unknown error (HTTP 0)"},
        StatusRow{"negative",
                  -1,
                  Case::UnknownError,
                  "[ForgeAPI] Error: HTTP -1 - Unknown error",
                  "Unknown error (HTTP -1)"}),
    [](const ::testing::TestParamInfo<StatusRow> &info) { return std::string(info.param.name); });

TEST(ForgeAPIErrorTest, CasesRaisedOutsideTheStatusMapHaveTheirOwnTexts)
{
    EXPECT_EQ(ForgeAPIError(Case::NoAPIKeyDefined).userMessage(), "You need to set a Forge API key");
    EXPECT_EQ(ForgeAPIError(Case::InvalidURL).userMessage(), "Invalid URL");
    EXPECT_EQ(ForgeAPIError(Case::NoResponse).userMessage(), "No response from Forge servers");
    EXPECT_EQ(ForgeAPIError(Case::MissingOrganization).userMessage(), "Server is missing organization information");
    EXPECT_EQ(ForgeAPIError(Case::IncompleteResult).userMessage(), "Forge returned an incomplete list");
    EXPECT_EQ(ForgeAPIError(Case::NoSitenameDefined).userMessage(), "No site name defined");
    EXPECT_EQ(ForgeAPIError(Case::WebhookCreationFailed).userMessage(), "Failed to create webhook");
    EXPECT_EQ(ForgeAPIError(Case::EmptyResponseCode).userMessage(), "Empty response from server");
}

TEST(ForgeAPIErrorTest, CaseNamesAreWhatDiagnosticLinesPrint)
{
    EXPECT_EQ(ForgeAPIError(Case::MissingOrganization).caseName(), "missingOrganization");
    EXPECT_EQ(ForgeAPIError::unknownError(0).caseName(), "unknownError(0)");
    EXPECT_EQ(ForgeAPIError::unknownError(418).statusCode(), 418);
    EXPECT_FALSE(ForgeAPIError::unknownError(418) == ForgeAPIError::unknownError(419));
}

} // namespace
