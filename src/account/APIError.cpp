#include "account/APIError.h"

namespace plimsy {

APIError::APIError(Case errorCase, int status, std::optional<QByteArray> body, ErrorCause cause)
    : m_case(errorCase)
    , m_status(status)
    , m_body(std::move(body))
    , m_cause(std::move(cause))
    , m_what(userMessage().toUtf8())
{
}

APIError APIError::forbidden(std::optional<QByteArray> body)
{
    return APIError(Case::Forbidden, 0, std::move(body));
}

APIError APIError::conflict(std::optional<QByteArray> body)
{
    return APIError(Case::Conflict, 0, std::move(body));
}

APIError APIError::serverError(int status)
{
    return APIError(Case::ServerError, status);
}

APIError APIError::httpError(int status)
{
    return APIError(Case::HttpError, status);
}

APIError APIError::decodingError(ErrorCause cause)
{
    return APIError(Case::DecodingError, 0, std::nullopt, std::move(cause));
}

APIError APIError::networkError(ErrorCause cause)
{
    return APIError(Case::NetworkError, 0, std::nullopt, std::move(cause));
}

APIError APIError::invalidResponse()
{
    return APIError(Case::InvalidResponse);
}

APIError APIError::unauthorized()
{
    return APIError(Case::Unauthorized);
}

APIError APIError::notFound()
{
    return APIError(Case::NotFound);
}

APIError APIError::validationError()
{
    return APIError(Case::ValidationError);
}

QString APIError::userMessage() const
{
    switch (m_case) {
    case Case::Forbidden:
        return QStringLiteral("Access denied");
    case Case::Conflict:
        return QStringLiteral("Conflict");
    case Case::ServerError:
        return QStringLiteral("Server error (%1)").arg(m_status);
    case Case::HttpError:
        return QStringLiteral("HTTP error (%1)").arg(m_status);
    case Case::DecodingError:
        return QStringLiteral("Failed to parse response: ") + m_cause.description;
    case Case::NetworkError:
        return QStringLiteral("Network error: ") + m_cause.description;
    case Case::InvalidResponse:
        return QStringLiteral("Invalid server response");
    case Case::Unauthorized:
        return QStringLiteral("Authentication required");
    case Case::NotFound:
        return QStringLiteral("Resource not found");
    case Case::ValidationError:
        return QStringLiteral("Invalid request");
    }
    return {};
}

QString APIError::describe() const
{
    switch (m_case) {
    case Case::Forbidden:
        return QStringLiteral("forbidden");
    case Case::Conflict:
        return QStringLiteral("conflict");
    case Case::ServerError:
        return QStringLiteral("serverError(%1)").arg(m_status);
    case Case::HttpError:
        return QStringLiteral("httpError(%1)").arg(m_status);
    case Case::DecodingError:
        return QStringLiteral("decodingError(%1)").arg(m_cause.description);
    case Case::NetworkError:
        return QStringLiteral("networkError(%1)").arg(m_cause.description);
    case Case::InvalidResponse:
        return QStringLiteral("invalidResponse");
    case Case::Unauthorized:
        return QStringLiteral("unauthorized");
    case Case::NotFound:
        return QStringLiteral("notFound");
    case Case::ValidationError:
        return QStringLiteral("validationError");
    }
    return {};
}

} // namespace plimsy
