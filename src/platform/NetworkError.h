#pragma once

#include <QString>
#include <QUrl>

#include <exception>

namespace plimsy {

// A transfer that failed below HTTP: the connection, the name lookup, a time-out or a cancellation.
// HTTP statuses are never NetworkErrors; they arrive as responses.
class NetworkError : public std::exception
{
public:
    // The URL-loading codes that callers test for, with their conventional numbers.
    enum class Code
    {
        Unknown = -1,
        Cancelled = -999,
        TimedOut = -1001,
        CannotFindHost = -1003,
        CannotConnectToHost = -1004,
        NetworkConnectionLost = -1005,
        NotConnectedToInternet = -1009,
        BadServerResponse = -1011,
        SecureConnectionFailed = -1200,
    };

    NetworkError(Code code, QUrl url, QString detail = {});

    Code code() const { return m_code; }
    int urlErrorCode() const { return static_cast<int>(m_code); }
    const QUrl &url() const { return m_url; }

    // "The request timed out." and the like: the sentence a user sees.
    QString userMessage() const;
    const char *what() const noexcept override;

private:
    Code m_code;
    QUrl m_url;
    QString m_detail;
    QByteArray m_what;
};

} // namespace plimsy
