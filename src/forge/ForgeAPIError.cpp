#include "forge/ForgeAPIError.h"

#include <QCoreApplication>

namespace plimsy {

namespace {

struct CaseText
{
    const char *name;
    const char *description;
};

CaseText textOf(ForgeAPIError::Case errorCase)
{
    using C = ForgeAPIError::Case;
    switch (errorCase) {
    case C::UnknownError:
        return {"unknownError", ""};
    case C::NoAPIKeyDefined:
        return {"noAPIKeyDefined", "You need to set a Forge API key"};
    case C::NoValidKey:
        return {"noValidKey", "No valid API Key was given"};
    case C::InvalidURL:
        return {"invalidURL", "Invalid URL"};
    case C::NoResponse:
        return {"noResponse", "No response from Forge servers"};
    case C::NoData:
        return {"noData", "No data in the response"};
    case C::CannotParseJSON:
        return {"cannotParseJSON", "Cannot parse JSON data from Forge"};
    case C::CannotParseText:
        return {"cannotParseText", "Cannot parse response from Forge"};
    case C::BadRequest:
        return {"badRequest", "Valid data was given but the request has failed"};
    case C::Forbidden:
        return {"forbidden", "Access forbidden"};
    case C::NotFound:
        return {"notFound", "The requested resource could not be found"};
    case C::UnprocessableEntity:
        return {"unprocessableEntity", "The payload has missing required parameters or invalid data was given"};
    case C::TooManyRequests:
        return {"tooManyRequests", "Too many attempts - please try again later"};
    case C::InternalServerError:
        return {"internalServerError", "Request failed due to an internal error in Forge"};
    case C::BadGateway:
        return {"badGateway", "Bad gateway (502)"};
    case C::ServiceUnavailable:
        return {"serviceUnavailable", "Forge is offline for maintenance"};
    case C::GatewayTimeout:
        return {"gatewayTimeout", "Forge took too long to respond \u2014 try again shortly"};
    case C::MissingOrganization:
        return {"missingOrganization", "Server is missing organization information"};
    case C::IncompleteResult:
        return {"incompleteResult", "Forge returned an incomplete list"};
    case C::EmptyResponseCode:
        return {"emptyResponseCode", "Empty response from server"};
    case C::NoSitenameDefined:
        return {"noSitenameDefined", "No site name defined"};
    case C::WebhookCreationFailed:
        return {"webhookCreationFailed", "Failed to create webhook"};
    case C::KeychainUnavailable:
        return {"keychainUnavailable", "Keyring locked or unavailable - unlock it, then choose Refresh"};
    }
    return {"unknownError", ""};
}

} // namespace

ForgeAPIError::ForgeAPIError(Case errorCase)
    : ForgeAPIError(errorCase, 0)
{
}

ForgeAPIError::ForgeAPIError(Case errorCase, int statusCode)
    : m_case(errorCase)
    , m_statusCode(statusCode)
    , m_what(errorDescription().toUtf8())
{
}

ForgeAPIError ForgeAPIError::unknownError(int statusCode)
{
    return ForgeAPIError(Case::UnknownError, statusCode);
}

QString ForgeAPIError::errorDescription() const
{
    // Translations, should any ship, are keyed by the English text, each "Unknown error" text on its own.
    const QString text = m_case == Case::UnknownError ? QStringLiteral("Unknown error (HTTP %1)").arg(m_statusCode)
                                                      : QString::fromUtf8(textOf(m_case).description);
    const QByteArray key = text.toUtf8();
    return QCoreApplication::translate("ForgeAPIError", key.constData());
}

QString ForgeAPIError::caseName() const
{
    const QString name = QString::fromLatin1(textOf(m_case).name);
    return m_case == Case::UnknownError ? QStringLiteral("%1(%2)").arg(name).arg(m_statusCode) : name;
}

const char *ForgeAPIError::what() const noexcept
{
    return m_what.constData();
}

std::optional<ForgeAPIError::StatusMapping> ForgeAPIError::forHTTPStatus(int statusCode)
{
    if (statusCode >= 200 && statusCode <= 299) {
        return std::nullopt;
    }
    const auto mapped = [statusCode](Case errorCase, const char *label) {
        return StatusMapping{
            ForgeAPIError(errorCase),
            QStringLiteral("[ForgeAPI] Error: HTTP %1 - %2").arg(statusCode).arg(QLatin1String(label))};
    };
    switch (statusCode) {
    case 302:
        return mapped(Case::NoValidKey, "No valid key (redirect)");
    case 400:
        return mapped(Case::BadRequest, "Bad request");
    case 401:
        return mapped(Case::NoValidKey, "No valid key");
    case 403:
        return mapped(Case::Forbidden, "Forbidden");
    case 404:
        return mapped(Case::NotFound, "Not found");
    case 422:
        return mapped(Case::UnprocessableEntity, "Unprocessable entity");
    case 429:
        return mapped(Case::TooManyRequests, "Too many requests");
    case 500:
        return mapped(Case::InternalServerError, "Internal server error");
    case 502:
        return mapped(Case::BadGateway, "Bad gateway");
    case 503:
        return mapped(Case::ServiceUnavailable, "Service unavailable");
    case 504:
        return mapped(Case::GatewayTimeout, "Gateway timeout");
    default:
        return StatusMapping{unknownError(statusCode),
                             QStringLiteral("[ForgeAPI] Error: HTTP %1 - Unknown error").arg(statusCode)};
    }
}

} // namespace plimsy
