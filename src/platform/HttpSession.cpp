#include "platform/HttpSession.h"

#include "platform/NetworkError.h"

#include <QCoreApplication>
#include <QCoro/QCoroNetworkReply>
#include <QDeadlineTimer>
#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstring>
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

// The body of a request that must not be sent twice. Qt sends a request again on its own when the
// connection closes after the request went out, rewinding the body first; this body cannot be rewound,
// so Qt gives up instead, and the server has seen the request once.
class OneShotBody : public QIODevice
{
public:
    explicit OneShotBody(QByteArray data)
        : m_data(std::move(data))
    {
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return true; }
    bool reset() override { return false; }
    qint64 bytesAvailable() const override { return m_data.size() - m_position + QIODevice::bytesAvailable(); }
    bool atEnd() const override { return m_position >= m_data.size() && QIODevice::bytesAvailable() == 0; }

protected:
    qint64 readData(char *out, qint64 maxSize) override
    {
        if (m_position >= m_data.size()) {
            return -1;
        }
        const qint64 count = std::min(maxSize, m_data.size() - m_position);
        std::memcpy(out, m_data.constData() + m_position, size_t(count));
        m_position += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_position = 0;
};

// GET and HEAD change nothing on the server, so Qt may repeat them over a fresh connection.
bool isIdempotent(const QByteArray &method)
{
    return method == "GET" || method == "HEAD";
}

NetworkError::Code codeFor(QNetworkReply::NetworkError error, bool timedOut)
{
    if (timedOut) {
        return NetworkError::Code::TimedOut;
    }
    switch (error) {
    case QNetworkReply::ContentReSendError:
        // The connection closed after a one-shot request went out.
        return NetworkError::Code::NetworkConnectionLost;
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

    std::unique_ptr<QNetworkReply, DeleteLater> reply;
    if (method == "GET" && body.isEmpty()) {
        reply.reset(m_manager.get(request));
    } else if (isIdempotent(method)) {
        reply.reset(m_manager.sendCustomRequest(request, method, body));
    } else {
        request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
        auto *upload = new OneShotBody(std::move(body));
        reply.reset(m_manager.sendCustomRequest(request, method, upload));
        upload->setParent(reply.get());
    }
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
        const QString detail = error == QNetworkReply::ContentReSendError
                                   ? QStringLiteral("The connection closed before an answer arrived")
                                   : rawReply->errorString();
        throw NetworkError(codeFor(error, rawReply->property(TimedOutProperty).toBool()), url, detail);
    }
    HttpResponse response;
    response.statusCode = status.toInt();
    response.headers = rawReply->rawHeaderPairs();
    response.body = rawReply->readAll();
    response.url = url;
    co_return response;
}

} // namespace plimsy
