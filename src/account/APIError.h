#pragma once

#include "account/ErrorCause.h"

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>

namespace plimsy {

// An HTTP status or an unreadable answer of the account backend. Transfer failures are not APIErrors:
// they reach callers as the HTTP layer's NetworkError.
class APIError : public std::exception
{
public:
    enum class Case
    {
        Forbidden,
        Conflict,
        ServerError,
        HttpError,
        DecodingError,
        NetworkError,
        InvalidResponse,
        Unauthorized,
        NotFound,
        ValidationError,
    };

    static APIError forbidden(std::optional<QByteArray> body = std::nullopt);
    static APIError conflict(std::optional<QByteArray> body = std::nullopt);
    static APIError serverError(int status);
    static APIError httpError(int status);
    static APIError decodingError(ErrorCause cause);
    static APIError networkError(ErrorCause cause);
    static APIError invalidResponse();
    static APIError unauthorized();
    static APIError notFound();
    static APIError validationError();

    Case errorCase() const { return m_case; }
    // The status of serverError and httpError, else 0.
    int status() const { return m_status; }
    // The answer body of forbidden and conflict, when there was one.
    const std::optional<QByteArray> &body() const { return m_body; }
    // The underlying error of decodingError and networkError.
    const ErrorCause &cause() const { return m_cause; }

    QString userMessage() const;
    // The case and its payload, as "serverError(503)"; for traces, never shown to users.
    QString describe() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    explicit APIError(Case errorCase,
                      int status = 0,
                      std::optional<QByteArray> body = std::nullopt,
                      ErrorCause cause = {});

    Case m_case;
    int m_status = 0;
    std::optional<QByteArray> m_body;
    ErrorCause m_cause;
    QByteArray m_what;
};

} // namespace plimsy
