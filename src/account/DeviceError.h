#pragma once

#include "account/ErrorCause.h"

#include <QByteArray>
#include <QString>

#include <exception>

namespace plimsy {

// Why a push-token or webhook-address call of the device service failed.
class DeviceError : public std::exception
{
public:
    enum class Case
    {
        NetworkError,
        ServerError,
        NotAuthenticated,
        DeviceNotFound,
    };

    static DeviceError networkError(ErrorCause cause);
    static DeviceError serverError(int code);
    static DeviceError notAuthenticated();
    static DeviceError deviceNotFound();

    Case errorCase() const { return m_case; }
    int code() const { return m_code; }
    const ErrorCause &cause() const { return m_cause; }

    QString userMessage() const;
    // The case and its payload, as "serverError(500)"; for traces, never shown to users.
    QString describe() const;
    const char *what() const noexcept override { return m_what.constData(); }

private:
    explicit DeviceError(Case errorCase, int code = 0, ErrorCause cause = {});

    Case m_case;
    int m_code = 0;
    ErrorCause m_cause;
    QByteArray m_what;
};

} // namespace plimsy
