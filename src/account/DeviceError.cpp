#include "account/DeviceError.h"

namespace plimsy {

DeviceError::DeviceError(Case errorCase, int code, ErrorCause cause)
    : m_case(errorCase)
    , m_code(code)
    , m_cause(std::move(cause))
    , m_what(userMessage().toUtf8())
{
}

DeviceError DeviceError::networkError(ErrorCause cause)
{
    return DeviceError(Case::NetworkError, 0, std::move(cause));
}

DeviceError DeviceError::serverError(int code)
{
    return DeviceError(Case::ServerError, code);
}

DeviceError DeviceError::notAuthenticated()
{
    return DeviceError(Case::NotAuthenticated);
}

DeviceError DeviceError::deviceNotFound()
{
    return DeviceError(Case::DeviceNotFound);
}

QString DeviceError::userMessage() const
{
    switch (m_case) {
    case Case::NetworkError:
        return QStringLiteral("Network error: ") + m_cause.description;
    case Case::ServerError:
        return QStringLiteral("Server error (%1)").arg(m_code);
    case Case::NotAuthenticated:
        return QStringLiteral("Please sign in to continue");
    case Case::DeviceNotFound:
        return QStringLiteral("Device not found");
    }
    return {};
}

QString DeviceError::describe() const
{
    switch (m_case) {
    case Case::NetworkError:
        return QStringLiteral("networkError(%1)").arg(m_cause.description);
    case Case::ServerError:
        return QStringLiteral("serverError(%1)").arg(m_code);
    case Case::NotAuthenticated:
        return QStringLiteral("notAuthenticated");
    case Case::DeviceNotFound:
        return QStringLiteral("deviceNotFound");
    }
    return {};
}

} // namespace plimsy
