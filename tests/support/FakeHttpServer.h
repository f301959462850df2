#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QTcpSocket;

namespace plimsy::test {

using HeaderList = QList<std::pair<QByteArray, QByteArray>>;

// One request as the server received it.
struct RecordedRequest
{
    QByteArray method;
    QString path;         // percent-decoded, without the query
    QByteArray rawTarget; // the request target exactly as sent
    QUrlQuery query;
    HeaderList headers; // names lower-cased, in arrival order
    QByteArray body;

    QByteArray header(QByteArrayView name) const; // empty when absent
    bool hasHeader(QByteArrayView name) const;
    QString queryValue(const QString &key) const; // fully decoded
};

// What the server does with a matched request.
struct FakeResponse
{
    enum class Kind
    {
        Respond,
        Drop,  // close the connection without an answer
        Stall, // never answer, keep the connection open
        Reset, // abort the connection with a TCP reset, without an answer
        Raw,   // write `body` as it stands, however malformed, then close
    };

    Kind kind = Kind::Respond;
    int status = 200;
    HeaderList headers;
    QByteArray body;
    std::chrono::milliseconds delay{0};
    bool chunked = false;
    std::optional<qsizetype> truncateAfter; // announce the whole body, send this many bytes, close

    static FakeResponse json(QByteArray body, int status = 200);
    static FakeResponse text(QByteArray body, int status = 200, QByteArray contentType = "text/plain");
    static FakeResponse html(QByteArray body, int status);
    static FakeResponse empty(int status);
    static FakeResponse drop();
    static FakeResponse stall();
    static FakeResponse reset();
    static FakeResponse raw(QByteArray bytes);

    FakeResponse &withHeader(QByteArray name, QByteArray value);
    FakeResponse &withDelay(std::chrono::milliseconds value);
    FakeResponse &asChunked();
    FakeResponse &truncatedAfter(qsizetype bytes);
};

// A scripted HTTP/1.1 server on 127.0.0.1 and a free port, for tests and the demo.
//
// Routes match by method ("*" for any), path and, optionally, query items that must be present with
// those values; the newest matching route wins, so a test can override a scenario's default.
// Unmatched requests get the fallback handler (404 by default). Every request is recorded.
// Runs on the thread that created it; delays are timers, so the event loop must run.
class FakeHttpServer : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<FakeResponse(const RecordedRequest &)>;

    explicit FakeHttpServer(QObject *parent = nullptr); // listens at once; aborts the test run if it cannot
    ~FakeHttpServer() override;

    quint16 port() const;
    // http://127.0.0.1:<port> plus the path (which may carry a query).
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    // `path` may carry "?key=value&..." items that the request must contain.
    void route(const QByteArray &method, const QString &path, FakeResponse response);
    void route(const QByteArray &method, const QString &path, Handler handler);
    // Answers the first match with the first response, the next with the second...; the last repeats.
    void routeSequence(const QByteArray &method, const QString &path, QList<FakeResponse> responses);
    // The whole decoded path must match the pattern.
    void routePattern(const QByteArray &method, const QRegularExpression &pathPattern, Handler handler);
    void setFallback(Handler handler);
    void clearRoutes();

    QList<RecordedRequest> requests() const { return m_requests; }
    QList<RecordedRequest> requests(const QByteArray &method, const QString &path) const;
    qsizetype requestCount() const { return m_requests.size(); }
    qsizetype requestCount(const QByteArray &method, const QString &path) const;
    void clearRequests() { m_requests.clear(); }

    // Connections accepted so far, to tell keep-alive reuse from new connections.
    int connectionCount() const { return m_connectionCount; }
    // Connections not yet closed. Once a client process has died and this is 0, everything it sent is in requests().
    int openConnectionCount() const { return int(m_connections.size()); }

Q_SIGNALS:
    void requestReceived(const plimsy::test::RecordedRequest &request);

private:
    struct Route
    {
        QByteArray method;
        QString path;
        QUrlQuery requiredQuery;
        std::optional<QRegularExpression> pattern;
        Handler handler;
    };
    struct Connection;

    void handleNewConnection();
    void handleReadyRead(QTcpSocket *socket);
    void processBuffered(QTcpSocket *socket);
    FakeResponse respond(const RecordedRequest &request);
    void send(QTcpSocket *socket, const RecordedRequest &request, const FakeResponse &response);

    QTcpServer m_server;
    std::vector<Route> m_routes;
    Handler m_fallback;
    QList<RecordedRequest> m_requests;
    QHash<QTcpSocket *, Connection *> m_connections;
    int m_connectionCount = 0;

    Q_DISABLE_COPY_MOVE(FakeHttpServer)
};

} // namespace plimsy::test
