#pragma once

#include "platform/CancellationToken.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QList>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <chrono>

namespace plimsy {

struct HttpResponse
{
    int statusCode = 0;
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray body;
    QUrl url;

    // The first header of that name, compared ignoring case; empty when absent.
    QByteArray header(QByteArrayView name) const;
    bool hasHeader(QByteArrayView name) const;
};

// The process's one HTTP session, on the GUI thread. It sends a request, awaits the whole answer and
// returns it whatever its HTTP status; it adds no headers, retries nothing and logs nothing.
// Responses are never taken from a cache. A request that carries credentials (an Authorization header)
// never follows a redirect: its 3xx answer is returned as it is, so the key or token stays with its
// origin. Other requests follow their own redirect policy. A request other than GET or HEAD goes out at
// most once: when its connection closes before the answer, it fails with "connection lost".
class HttpSession : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds DefaultIdleTimeout{60'000};

    // The process's session. Its network thread must end before the application object does, or that
    // thread's last events reach an application that is gone: it is ended by shutdownShared(), which the
    // process's main calls once its event loop is over, and at the latest when the application object
    // is destroyed.
    static HttpSession &shared();
    // Cancels what is still in transfer (its callers get "cancelled"), then destroys the shared session
    // and stops its network thread. Does nothing when there is none. GUI thread, application alive.
    static void shutdownShared();

    explicit HttpSession(QObject *parent = nullptr);

    // A transfer that sees no progress for this long fails with "timed out".
    void setIdleTimeout(std::chrono::milliseconds timeout);
    std::chrono::milliseconds idleTimeout() const { return m_idleTimeout; }

    // Throws NetworkError for every failure below HTTP, "cancelled" when `cancel` fires.
    QCoro::Task<HttpResponse> send(QNetworkRequest request,
                                   QByteArray method = QByteArrayLiteral("GET"),
                                   QByteArray body = {},
                                   QPointer<CancellationToken> cancel = {});

private:
    QNetworkAccessManager m_manager;
    std::chrono::milliseconds m_idleTimeout = DefaultIdleTimeout;

    Q_DISABLE_COPY_MOVE(HttpSession)
};

} // namespace plimsy
