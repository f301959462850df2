#include "platform/NetworkError.h"

namespace plimsy {

NetworkError::NetworkError(Code code, QUrl url, QString detail)
    : m_code(code)
    , m_url(std::move(url))
    , m_detail(std::move(detail))
{
    m_what = userMessage().toUtf8();
    if (!m_detail.isEmpty()) {
        m_what += " (" + m_detail.toUtf8() + ')';
    }
}

QString NetworkError::userMessage() const
{
    switch (m_code) {
    case Code::Cancelled:
        return QStringLiteral("The request was cancelled.");
    case Code::TimedOut:
        return QStringLiteral("The request timed out.");
    case Code::CannotFindHost:
        return QStringLiteral("A server with the specified hostname could not be found.");
    case Code::CannotConnectToHost:
        return QStringLiteral("Could not connect to the server.");
    case Code::NetworkConnectionLost:
        return QStringLiteral("The network connection was lost.");
    case Code::NotConnectedToInternet:
        return QStringLiteral("The Internet connection appears to be offline.");
    case Code::BadServerResponse:
        return QStringLiteral("The server returned a bad response.");
    case Code::SecureConnectionFailed:
        return QStringLiteral("A secure connection to the server could not be made.");
    case Code::Unknown:
        break;
    }
    return QStringLiteral("An unknown network error occurred.");
}

const char *NetworkError::what() const noexcept
{
    return m_what.constData();
}

} // namespace plimsy
