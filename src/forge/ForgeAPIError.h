#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>

namespace plimsy {

// The Forge client's failure: one case per way a Forge call can go wrong, each with the text users see.
// Transport failures stay NetworkError and undecodable answers DecodingError; callers expect all three.
class ForgeAPIError : public std::exception
{
public:
    enum class Case
    {
        UnknownError,
        NoAPIKeyDefined,
        NoValidKey,
        InvalidURL,
        NoResponse,
        NoData,
        CannotParseJSON,
        CannotParseText,
        BadRequest,
        Forbidden,
        NotFound,
        UnprocessableEntity,
        TooManyRequests,
        InternalServerError,
        BadGateway,
        ServiceUnavailable,
        GatewayTimeout,
        MissingOrganization,
        IncompleteResult,
        EmptyResponseCode,
        NoSitenameDefined,
        WebhookCreationFailed,
        // The key could not be read: the secret store is locked or unreachable. Not "no key".
        KeychainUnavailable,
    };

    // Every case but UnknownError; for that one use unknownError(code).
    explicit ForgeAPIError(Case errorCase);
    static ForgeAPIError unknownError(int statusCode);

    Case errorCase() const { return m_case; }
    // The HTTP status carried by UnknownError; 0 for every other case.
    int statusCode() const { return m_statusCode; }

    // The text users read in alerts and in the menu.
    QString errorDescription() const;
    QString userMessage() const { return errorDescription(); }
    // The case as code names it, "forbidden" or "unknownError(418)": what diagnostic lines print.
    QString caseName() const;
    const char *what() const noexcept override;

    bool operator==(const ForgeAPIError &other) const
    {
        return m_case == other.m_case && m_statusCode == other.m_statusCode;
    }

    // What a response status means: nothing for 200 to 299, otherwise the error and its log line.
    struct StatusMapping;
    static std::optional<StatusMapping> forHTTPStatus(int statusCode);

private:
    ForgeAPIError(Case errorCase, int statusCode);

    Case m_case;
    int m_statusCode = 0;
    QByteArray m_what;
};

struct ForgeAPIError::StatusMapping
{
    ForgeAPIError error;
    QString logLine;
};

} // namespace plimsy
