// fake_curl: stands in for curl in tests. It sends its arguments to the test's FakeCurl (at 127.0.0.1 and
// the port in PLIMSY_FAKE_CURL_PORT), waits for the answer and writes it as curl would have: the headers
// to standard output, the error text to standard error. Without the variable it prints nothing.
#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray port = qgetenv("PLIMSY_FAKE_CURL_PORT");
    if (port.isEmpty()) {
        return 0;
    }
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port.toUShort());
    if (!socket.waitForConnected(10'000)) {
        std::fputs("fake_curl: the test is not listening\n", stderr);
        return 3;
    }
    QJsonArray arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    socket.write(QJsonDocument(arguments).toJson(QJsonDocument::Compact) + '\n');
    socket.waitForBytesWritten(10'000);
    QByteArray received;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(-1)) {
        received += socket.readAll();
    }
    received += socket.readAll();
    const QJsonObject answer = QJsonDocument::fromJson(received).object();
    const QByteArray out = answer.value(QStringLiteral("out")).toString().toUtf8();
    const QByteArray err = answer.value(QStringLiteral("err")).toString().toUtf8();
    std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    std::fwrite(err.constData(), 1, static_cast<size_t>(err.size()), stderr);
    return 0;
}
