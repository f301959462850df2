#include "platform/HttpSession.h"

#include "platform/NetworkError.h"

#include <QCoreApplication>
#include <QCoro/QCoroNetworkReply>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace plimsy {

namespace {

constexpr const char *TimedOutProperty = "plimsyTimedOut";
// How long the end of the shared session waits for the tasks of its cancelled transfers.
constexpr std::chrono::milliseconds ShutdownLimit{5000};

struct DeleteLater
{
    void operator()(QObject *object) const { object->deleteLater(); }
};

// Errors that mean no complete HTTP answer arrived; the others are HTTP statuses in disguise.
bool isTransportFailure(QNetworkReply::NetworkError error)
{
    return (error > QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied)
           || error == QNetworkReply::ProtocolUnknownError || error == QNetworkReply::ProtocolFailure;
}

NetworkError::Code codeFor(QNetworkReply::NetworkError error, bool timedOut)
{
    if (timedOut) {
        return NetworkError::Code::TimedOut;
    }
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
        return NetworkError::Code::CannotConnectToHost;
    case QNetworkReply::RemoteHostClosedError:
        return NetworkError::Code::NetworkConnectionLost;
    case QNetworkReply::HostNotFoundError:
        return NetworkError::Code::CannotFindHost;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return NetworkError::Code::TimedOut;
    case QNetworkReply::OperationCanceledError:
        return NetworkError::Code::Cancelled;
    case QNetworkReply::SslHandshakeFailedError:
        return NetworkError::Code::SecureConnectionFailed;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError:
        return NetworkError::Code::NotConnectedToInternet;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return NetworkError::Code::BadServerResponse;
    default:
        return NetworkError::Code::Unknown;
    }
}

} // namespace

QByteArray HttpResponse::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool HttpResponse::hasHeader(QByteArrayView name) const
{
    for (const auto &pair : headers) {
        if (pair.first.compare(name, Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

namespace {

HttpSession *s_shared = nullptr;

void endSharedSession()
{
    HttpSession::shutdownShared();
}

} // namespace

HttpSession &HttpSession::shared()
{
    if (!s_shared) {
        s_shared = new HttpSession;
    }
    // The latest moment: the application object's destructor, while the object still exists. Once only,
    // though a session ended early may be started again.
    static bool endsWithTheApplication = false;
    if (!std::exchange(endsWithTheApplication, true)) {
        qAddPostRoutine(endSharedSession);
    }
    return *s_shared;
}

void HttpSession::shutdownShared()
{
    if (!s_shared) {
        return;
    }
    // An aborted transfer finishes, and the task awaiting it resumes on a later turn of the event loop:
    // let those turns run, so no task is left waiting for ever on a reply that is gone.
    QList<QPointer<QNetworkReply>> transfers;
    for (QNetworkReply *reply : s_shared->m_manager.findChildren<QNetworkReply *>()) {
        transfers.append(reply);
        reply->abort();
    }
    const auto isTransferring = [&transfers] {
        return std::any_of(transfers.cbegin(), transfers.cend(), [](const auto &reply) { return !reply.isNull(); });
    };
    const QDeadlineTimer deadline(ShutdownLimit);
    while (isTransferring() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Destroying the manager stops its network thread and waits for it.
    delete std::exchange(s_shared, nullptr);
}

HttpSession::HttpSession(QObject *parent)
    : QObject(parent)
{
    m_manager.setCache(nullptr);
}

void HttpSession::setIdleTimeout(std::chrono::milliseconds timeout)
{
    m_idleTimeout = timeout;
}

QCoro::Task<HttpResponse>
HttpSession::send(QNetworkRequest request, QByteArray method, QByteArray body, QPointer<CancellationToken> cancel)
{
    const QUrl url = request.url();
    if (cancel && cancel->isCancelled()) {
        throw NetworkError(NetworkError::Code::Cancelled, url);
    }
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (request.hasRawHeader("Authorization")) {
        // Qt would carry the header along to whatever host the redirect names.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    }

    std::unique_ptr<QNetworkReply, DeleteLater> reply(method == "GET" && body.isEmpty()
                                                          ? m_manager.get(request)
                                                          : m_manager.sendCustomRequest(request, method, body));
    QNetworkReply *rawReply = reply.get();

    auto *idle = new QTimer(rawReply);
    idle->setSingleShot(true);
    idle->setInterval(m_idleTimeout);
    connect(idle, &QTimer::timeout, rawReply, [rawReply] {
        rawReply->setProperty(TimedOutProperty, true);
        rawReply->abort();
    });
    const auto restartIdle = [idle] { idle->start(); };
    connect(rawReply, &QNetworkReply::metaDataChanged, idle, restartIdle);
    connect(rawReply, &QNetworkReply::downloadProgress, idle, restartIdle);
    connect(rawReply, &QNetworkReply::uploadProgress, idle, restartIdle);
    idle->start();
    if (cancel) {
        connect(cancel.data(), &CancellationToken::cancelRequested, rawReply, &QNetworkReply::abort);
    }

    co_await qCoro(*rawReply).waitForFinished();
    idle->stop();

    const QNetworkReply::NetworkError error = rawReply->error();
    const QVariant status = rawReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (isTransportFailure(error) || !status.isValid()) {
        throw NetworkError(codeFor(error, rawReply->property(TimedOutProperty).toBool()), url, rawReply->errorString());
    }
    HttpResponse response;
    response.statusCode = status.toInt();
    response.headers = rawReply->rawHeaderPairs();
    response.body = rawReply->readAll();
    response.url = url;
    co_return response;
}

} // namespace plimsy
