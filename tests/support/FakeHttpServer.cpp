#include "FakeHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

#include <algorithm>

namespace plimsy::test {

namespace {

constexpr qsizetype MaxHeaderBytes = 1 << 20;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 202:
        return "Accepted";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 422:
        return "Unprocessable Entity";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

bool hasBody(int status)
{
    return status != 204 && status != 304 && !(status >= 100 && status < 200);
}

std::pair<QString, QUrlQuery> splitTarget(const QByteArray &target)
{
    const QUrl url = QUrl::fromEncoded("http://fake" + target);
    return {url.path(QUrl::FullyDecoded), QUrlQuery(url)};
}

bool queryContains(const QUrlQuery &request, const QUrlQuery &required)
{
    const auto present = request.queryItems(QUrl::FullyDecoded);
    const auto wanted = required.queryItems(QUrl::FullyDecoded);
    return std::all_of(wanted.begin(), wanted.end(), [&present](const auto &item) { return present.contains(item); });
}

// Parses one chunked body from `data` starting at `offset`; returns the bytes consumed, or -1 if incomplete.
qsizetype parseChunked(const QByteArray &data, qsizetype offset, QByteArray &body)
{
    qsizetype position = offset;
    for (;;) {
        const qsizetype lineEnd = data.indexOf("\r\n", position);
        if (lineEnd < 0) {
            return -1;
        }
        bool ok = false;
        const qsizetype size = data.mid(position, lineEnd - position).split(';').first().trimmed().toLongLong(&ok, 16);
        if (!ok) {
            return -1;
        }
        position = lineEnd + 2;
        if (size == 0) {
            const qsizetype trailerEnd = data.indexOf("\r\n", position);
            return trailerEnd < 0 ? -1 : trailerEnd + 2 - offset;
        }
        if (data.size() < position + size + 2) {
            return -1;
        }
        body += data.mid(position, size);
        position += size + 2;
    }
}

} // namespace

QByteArray RecordedRequest::header(QByteArrayView name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool RecordedRequest::hasHeader(QByteArrayView name) const
{
    return std::any_of(headers.begin(), headers.end(), [name](const auto &pair) {
        return pair.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

QString RecordedRequest::queryValue(const QString &key) const
{
    for (const auto &[name, value] : query.queryItems(QUrl::FullyDecoded)) {
        if (name == key) {
            return value;
        }
    }
    return {};
}

FakeResponse FakeResponse::json(QByteArray body, int status)
{
    FakeResponse response;
    response.status = status;
    response.body = std::move(body);
    response.headers.append(std::pair<QByteArray, QByteArray>("Content-Type", "application/json"));
    return response;
}

FakeResponse FakeResponse::text(QByteArray body, int status, QByteArray contentType)
{
    FakeResponse response;
    response.status = status;
    response.body = std::move(body);
    response.headers.append(std::pair<QByteArray, QByteArray>("Content-Type", std::move(contentType)));
    return response;
}

FakeResponse FakeResponse::html(QByteArray body, int status)
{
    return text(std::move(body), status, "text/html; charset=UTF-8");
}

FakeResponse FakeResponse::empty(int status)
{
    FakeResponse response;
    response.status = status;
    return response;
}

FakeResponse FakeResponse::drop()
{
    FakeResponse response;
    response.kind = Kind::Drop;
    return response;
}

FakeResponse FakeResponse::stall()
{
    FakeResponse response;
    response.kind = Kind::Stall;
    return response;
}

FakeResponse FakeResponse::reset()
{
    FakeResponse response;
    response.kind = Kind::Reset;
    return response;
}

FakeResponse FakeResponse::raw(QByteArray bytes)
{
    FakeResponse response;
    response.kind = Kind::Raw;
    response.body = std::move(bytes);
    return response;
}

FakeResponse &FakeResponse::withHeader(QByteArray name, QByteArray value)
{
    headers.append({std::move(name), std::move(value)});
    return *this;
}

FakeResponse &FakeResponse::withDelay(std::chrono::milliseconds value)
{
    delay = value;
    return *this;
}

FakeResponse &FakeResponse::asChunked()
{
    chunked = true;
    return *this;
}

FakeResponse &FakeResponse::truncatedAfter(qsizetype bytes)
{
    truncateAfter = bytes;
    return *this;
}

struct FakeHttpServer::Connection
{
    QByteArray buffer;
    bool busy = false; // a delayed or stalled answer is pending; later requests wait (HTTP/1.1 order)
    bool closing = false;
};

FakeHttpServer::FakeHttpServer(QObject *parent)
    : QObject(parent)
    , m_fallback([](const RecordedRequest &) { return FakeResponse::text("Not Found", 404); })
{
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qFatal("FakeHttpServer: cannot listen on 127.0.0.1: %s", qPrintable(m_server.errorString()));
    }
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::handleNewConnection);
}

FakeHttpServer::~FakeHttpServer()
{
    m_server.close();
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it) {
        it.key()->disconnect(this);
        it.key()->abort();
        delete it.value();
    }
}

quint16 FakeHttpServer::port() const
{
    return m_server.serverPort();
}

QUrl FakeHttpServer::url(const QString &pathAndQuery) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery));
}

void FakeHttpServer::route(const QByteArray &method, const QString &path, FakeResponse response)
{
    route(method, path, [response](const RecordedRequest &) { return response; });
}

void FakeHttpServer::route(const QByteArray &method, const QString &path, Handler handler)
{
    const auto [decodedPath, query] = splitTarget(path.toUtf8());
    m_routes.push_back(Route{method, decodedPath, query, std::nullopt, std::move(handler)});
}

void FakeHttpServer::routeSequence(const QByteArray &method, const QString &path, QList<FakeResponse> responses)
{
    Q_ASSERT(!responses.isEmpty());
    auto remaining = std::make_shared<QList<FakeResponse>>(std::move(responses));
    route(method, path, [remaining](const RecordedRequest &) {
        return remaining->size() > 1 ? remaining->takeFirst() : remaining->first();
    });
}

void FakeHttpServer::routePattern(const QByteArray &method, const QRegularExpression &pathPattern, Handler handler)
{
    const QRegularExpression anchored(QRegularExpression::anchoredPattern(pathPattern.pattern()),
                                      pathPattern.patternOptions());
    m_routes.push_back(Route{method, {}, {}, anchored, std::move(handler)});
}

void FakeHttpServer::setFallback(Handler handler)
{
    m_fallback = std::move(handler);
}

void FakeHttpServer::clearRoutes()
{
    m_routes.clear();
}

QList<RecordedRequest> FakeHttpServer::requests(const QByteArray &method, const QString &path) const
{
    QList<RecordedRequest> matching;
    std::copy_if(m_requests.begin(), m_requests.end(), std::back_inserter(matching), [&](const RecordedRequest &r) {
        return r.method == method && r.path == path;
    });
    return matching;
}

qsizetype FakeHttpServer::requestCount(const QByteArray &method, const QString &path) const
{
    return requests(method, path).size();
}

void FakeHttpServer::handleNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        m_connections.insert(socket, new Connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handleReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            delete m_connections.take(socket);
            socket->deleteLater();
        });
    }
}

void FakeHttpServer::handleReadyRead(QTcpSocket *socket)
{
    Connection *connection = m_connections.value(socket);
    if (!connection) {
        return;
    }
    connection->buffer += socket->readAll();
    processBuffered(socket);
}

void FakeHttpServer::processBuffered(QTcpSocket *socket)
{
    Connection *connection = m_connections.value(socket);
    while (connection && !connection->busy && !connection->closing) {
        QByteArray &buffer = connection->buffer;
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (buffer.size() > MaxHeaderBytes) {
                socket->abort();
            }
            return;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3) {
            socket->abort();
            return;
        }
        RecordedRequest request;
        request.method = requestLine[0];
        request.rawTarget = requestLine[1];
        std::tie(request.path, request.query) = splitTarget(request.rawTarget);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) {
                request.headers.append({line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
            }
        }
        qsizetype consumed = headerEnd + 4;
        if (request.header("transfer-encoding").toLower().contains("chunked")) {
            const qsizetype bodyBytes = parseChunked(buffer, consumed, request.body);
            if (bodyBytes < 0) {
                return;
            }
            consumed += bodyBytes;
        } else {
            const qsizetype length = request.header("content-length").toLongLong();
            if (buffer.size() < consumed + length) {
                return;
            }
            request.body = buffer.mid(consumed, length);
            consumed += length;
        }
        buffer.remove(0, consumed);

        const bool clientCloses = request.header("connection").toLower() == "close" || requestLine[2] == "HTTP/1.0";
        m_requests.append(request);
        Q_EMIT requestReceived(request);
        FakeResponse response = respond(request);
        if (clientCloses && response.kind == FakeResponse::Kind::Respond) {
            response.headers.append(std::pair<QByteArray, QByteArray>("Connection", "close"));
        }

        if (response.kind == FakeResponse::Kind::Stall) {
            connection->busy = true;
            return;
        }
        if (response.delay.count() > 0) {
            connection->busy = true;
            QTimer::singleShot(response.delay, socket, [this, socket, request, response] {
                if (Connection *c = m_connections.value(socket)) {
                    c->busy = false;
                    send(socket, request, response);
                    processBuffered(socket);
                }
            });
            return;
        }
        send(socket, request, response);
        connection = m_connections.value(socket);
    }
}

FakeResponse FakeHttpServer::respond(const RecordedRequest &request)
{
    for (auto it = m_routes.rbegin(); it != m_routes.rend(); ++it) {
        if (it->method != "*" && it->method != request.method) {
            continue;
        }
        const bool pathMatches = it->pattern ? it->pattern->match(request.path).hasMatch() : it->path == request.path;
        if (pathMatches && queryContains(request.query, it->requiredQuery)) {
            return it->handler(request);
        }
    }
    return m_fallback(request);
}

void FakeHttpServer::send(QTcpSocket *socket, const RecordedRequest &request, const FakeResponse &response)
{
    Connection *connection = m_connections.value(socket);
    if (!connection) {
        return;
    }
    if (response.kind == FakeResponse::Kind::Drop) {
        connection->closing = true;
        socket->disconnectFromHost();
        return;
    }
    if (response.kind == FakeResponse::Kind::Reset) {
        // No lingering: the close sends RST at once, as a proxy that gives up on a connection does.
        const linger now{1, 0};
        setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        connection->closing = true;
        socket->abort();
        return;
    }
    if (response.kind == FakeResponse::Kind::Raw) {
        connection->closing = true;
        socket->write(response.body);
        socket->flush();
        socket->disconnectFromHost();
        return;
    }
    const bool withBody = hasBody(response.status) && request.method != "HEAD";
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    bool closeAfter = response.truncateAfter.has_value();
    bool hasLength = false;
    for (const auto &[name, value] : response.headers) {
        head += name + ": " + value + "\r\n";
        hasLength = hasLength || name.compare("content-length", Qt::CaseInsensitive) == 0;
        closeAfter = closeAfter
                     || (name.compare("connection", Qt::CaseInsensitive) == 0
                         && value.compare("close", Qt::CaseInsensitive) == 0);
    }
    if (withBody && response.chunked) {
        head += "Transfer-Encoding: chunked\r\n";
    } else if (withBody && !hasLength) {
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    }
    head += "\r\n";

    if (!withBody || response.chunked) {
        socket->write(head);
    }
    if (withBody) {
        QByteArray body = response.body;
        if (response.truncateAfter) {
            body.truncate(*response.truncateAfter);
        }
        if (response.chunked) {
            // Three chunks at least, so a reader that handles only one is caught.
            const qsizetype piece = std::max<qsizetype>(1, (body.size() + 2) / 3);
            for (qsizetype offset = 0; offset < body.size(); offset += piece) {
                const QByteArray chunk = body.mid(offset, piece);
                socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
            }
            if (!response.truncateAfter) {
                socket->write("0\r\n\r\n");
            }
        } else {
            // Head and body in one segment, as a server writing a whole answer sends them.
            socket->write(head + body);
        }
    }
    // Out at once, not on the event loop's next turn.
    socket->flush();
    if (closeAfter) {
        connection->closing = true;
        socket->disconnectFromHost();
    }
}

} // namespace plimsy::test
