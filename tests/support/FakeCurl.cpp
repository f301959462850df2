#include "FakeCurl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <algorithm>

namespace plimsy::test {

QString FakeCurl::program()
{
    return QStringLiteral(PLIMSY_FAKE_CURL_PATH);
}

QList<char> FakeCurl::childStates()
{
    QList<char> states;
    const QString self = QString::number(QCoreApplication::applicationPid());
    const QString name = QFileInfo(program()).fileName().left(15);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold spaces, so the fields are read after its ')'.
        const QString line = QString::fromLatin1(stat.readAll());
        const QStringList fields = line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
        if (fields.value(1) == self && line.contains(QLatin1Char('(') + name)) {
            states << fields.value(0).at(0).toLatin1();
        }
    }
    return states;
}

FakeCurl::FakeCurl(QObject *parent)
    : QObject(parent)
{
    if (!m_server.listen(QHostAddress::LocalHost, 0)) {
        qFatal("FakeCurl: cannot listen");
    }
    qputenv("PLIMSY_FAKE_CURL_PORT", QByteArray::number(m_server.serverPort()));
    connect(&m_server, &QTcpServer::newConnection, this, &FakeCurl::handleConnection);
}

FakeCurl::~FakeCurl()
{
    qunsetenv("PLIMSY_FAKE_CURL_PORT");
    // Probes still held end with no output, so no child waits for ever.
    for (QTcpSocket *socket : std::as_const(m_held)) {
        socket->abort();
    }
}

void FakeCurl::handleConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        ++m_answering;
        m_peak = std::max(m_peak, running());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { handleReadyRead(socket); });
    }
}

void FakeCurl::handleReadyRead(QTcpSocket *socket)
{
    if (!socket->canReadLine()) {
        return;
    }
    const QJsonArray array = QJsonDocument::fromJson(socket->readLine()).array();
    QStringList arguments;
    for (const QJsonValue &value : array) {
        arguments.append(value.toString());
    }
    m_calls.append(arguments);
    const std::optional<Answer> reply = m_handler ? m_handler(arguments) : std::optional<Answer>(Answer{});
    Q_EMIT started(arguments);
    if (reply) {
        answer(socket, *reply);
    } else {
        --m_answering;
        m_held.append(socket);
    }
}

void FakeCurl::releaseOldest(const Answer &reply)
{
    if (m_held.isEmpty()) {
        return;
    }
    QTcpSocket *socket = m_held.takeFirst();
    ++m_answering;
    answer(socket, reply);
}

void FakeCurl::answer(QTcpSocket *socket, const Answer &reply)
{
    socket->write(QJsonDocument(QJsonObject{{QStringLiteral("out"), reply.out}, {QStringLiteral("err"), reply.err}})
                      .toJson(QJsonDocument::Compact));
    socket->disconnectFromHost();
    --m_answering;
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

} // namespace plimsy::test
