#include "account/AuthError.h"

namespace plimsy {

AuthError::AuthError(Case errorCase, int status, ErrorCause cause)
    : m_case(errorCase)
    , m_status(status)
    , m_cause(std::move(cause))
    , m_what(userMessage().toUtf8())
{
}

AuthError AuthError::networkError(ErrorCause cause)
{
    return AuthError(Case::NetworkError, 0, std::move(cause));
}

AuthError AuthError::serverError(int status)
{
    return AuthError(Case::ServerError, status);
}

AuthError AuthError::invalidToken()
{
    return AuthError(Case::InvalidToken);
}

AuthError AuthError::expiredToken()
{
    return AuthError(Case::ExpiredToken);
}

AuthError AuthError::stateMismatch()
{
    return AuthError(Case::StateMismatch);
}

AuthError AuthError::invalidURL()
{
    return AuthError(Case::InvalidURL);
}

AuthError AuthError::cancelled()
{
    return AuthError(Case::Cancelled);
}

AuthError AuthError::unknown()
{
    return AuthError(Case::Unknown);
}

QString AuthError::userMessage() const
{
    switch (m_case) {
    case Case::NetworkError:
        return QStringLiteral("Network error: ") + m_cause.description;
    case Case::ServerError:
        return QStringLiteral("Server error (%1)").arg(m_status);
    case Case::InvalidToken:
        return QStringLiteral("This sign-in link has expired or was already used. Please request a new one.");
    case Case::ExpiredToken:
        return QStringLiteral("Session expired. Please sign in again.");
    case Case::StateMismatch:
        return QStringLiteral("Authentication failed. Please try again.");
    case Case::InvalidURL:
        return QStringLiteral("Invalid authentication URL");
    case Case::Cancelled:
        return QStringLiteral("Sign in was cancelled");
    case Case::Unknown:
        return QStringLiteral("An unknown error occurred");
    }
    return {};
}

} // namespace plimsy
