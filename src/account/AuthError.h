#pragma once

#include "account/ErrorCause.h"

#include <QByteArray>
#include <QString>

#include <exception>

namespace plimsy {

// Why a sign-in, a sign-out request or the web-session link failed, in the words the user sees.
class AuthError : public std::exception
{
public:
    enum class Case
    {
        NetworkError,
        ServerError,
        InvalidToken,
        ExpiredToken,
        StateMismatch,
        InvalidURL,
        Cancelled,
        Unknown,
    };

    static AuthError networkError(ErrorCause cause);
    static AuthError serverError(int status);
    static AuthError invalidToken();
    static AuthError expiredToken();
    static AuthError stateMismatch();
    static AuthError invalidURL();
    static AuthError cancelled();
    static AuthError unknown();

    Case errorCase() const { return m_case; }
    int status() const { return m_status; }
    const ErrorCause &cause() const { return m_cause; }

    QString userMessage() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    explicit AuthError(Case errorCase, int status = 0, ErrorCause cause = {});

    Case m_case;
    int m_status = 0;
    ErrorCause m_cause;
    QByteArray m_what;
};

} // namespace plimsy
