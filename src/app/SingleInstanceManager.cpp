#include "app/SingleInstanceManager.h"

#include "core/Logger.h"
#include "platform/ApplicationActivation.h"
#include "platform/BundleInfo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <thread>

namespace plimsy {

namespace {

constexpr std::chrono::milliseconds ConnectRetryPause{20};
const QByteArray Acknowledgement = QByteArrayLiteral("ok\n");

QString runtimeDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return fromEnvironment.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
                                     : fromEnvironment;
}

void setFailure(QString *failure, const QString &text)
{
    if (failure) {
        *failure = text;
    }
}

} // namespace

SingleInstanceManager &SingleInstanceManager::shared()
{
    static auto *s_shared = new SingleInstanceManager(runtimeDirectory());
    return *s_shared;
}

SingleInstanceManager::SingleInstanceManager(const QString &directory, QObject *parent)
    : QObject(parent)
    , m_basePath(QDir(directory).filePath(
          QStringLiteral("%1.%2").arg(QString::fromLatin1(BundleInfo::Identifier)).arg(::getuid())))
    , m_lock(m_basePath + QStringLiteral(".lock"))
{
    // Only a process that is gone leaves a lock behind; a live holder is never taken over by age.
    m_lock.setStaleLockTime(0);
}

SingleInstanceManager::~SingleInstanceManager()
{
    stop();
}

QString SingleInstanceManager::lockPath() const
{
    return m_basePath + QStringLiteral(".lock");
}

QString SingleInstanceManager::socketPath() const
{
    return m_basePath + QStringLiteral(".socket");
}

QStringList SingleInstanceManager::urlArguments(const QStringList &arguments)
{
    QStringList urls;
    for (const QString &argument : arguments) {
        if (argument.startsWith(QLatin1Char('-'))) {
            continue;
        }
        const QUrl url(argument, QUrl::StrictMode);
        if (url.isValid() && !url.scheme().isEmpty()) {
            urls.append(argument);
        }
    }
    return urls;
}

SingleInstanceManager::Claim SingleInstanceManager::claim(const QStringList &urls, QString *failure)
{
    if (qEnvironmentVariableIsSet(DisabledVariable)) {
        return Claim::Sole;
    }
    return handOver(urls, failure);
}

SingleInstanceManager::Claim SingleInstanceManager::handOver(const QStringList &urls, QString *failure)
{
    QByteArray message;
    qsizetype count = 0;
    for (const QString &url : urls) {
        // A line break would split one argument into two lines of the message.
        if (!url.contains(QLatin1Char('\n')) && !url.contains(QLatin1Char('\r'))) {
            message += url.toUtf8() + '\n';
            ++count;
        }
    }
    message += '\n';
    const QDeadlineTimer deadline(HandOverTimeout);
    for (;;) {
        if (m_lock.tryLock(0)) {
            return Claim::Sole;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            setFailure(failure, QStringLiteral("Plimsy cannot create its instance lock %1.").arg(lockPath()));
            return Claim::Failed;
        }
        if (count > MaxURLs || message.size() > MaxMessageBytes) {
            setFailure(failure,
                       QStringLiteral("Plimsy is already running and takes at most %1 addresses (%2 bytes) at once.")
                           .arg(MaxURLs)
                           .arg(MaxMessageBytes));
            return Claim::Failed;
        }
        QLocalSocket peer;
        peer.connectToServer(socketPath());
        if (peer.waitForConnected(int(deadline.remainingTime()))) {
            peer.write(message);
            QByteArray answer;
            while (!answer.contains('\n') && peer.waitForReadyRead(int(deadline.remainingTime()))) {
                answer += peer.readAll();
            }
            if (answer == Acknowledgement) {
                return Claim::HandedOver;
            }
            break;
        }
        // The holder may still be starting up: its socket appears once it listens.
        if (deadline.hasExpired()) {
            break;
        }
        std::this_thread::sleep_for(ConnectRetryPause);
    }
    setFailure(failure,
               QStringLiteral("Plimsy is already running but did not answer within %1 seconds.")
                   .arg(HandOverTimeout.count() / 1000.0));
    return Claim::Failed;
}

void SingleInstanceManager::start(UrlHandler handler)
{
    m_urlHandler = std::move(handler);
    if (qEnvironmentVariableIsSet(DisabledVariable) || m_isListening) {
        return;
    }
    if (!m_lock.isLocked()) {
        log(QStringLiteral("[SingleInstance] Not listening for other starts: this process does not hold ")
            + lockPath());
        return;
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a process that is gone; the lock says no live instance uses it.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath())) {
        log(QStringLiteral("[SingleInstance] Cannot listen for other starts: ") + m_server->errorString());
        delete m_server;
        m_server = nullptr;
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstanceManager::handleNewConnection);
    m_isListening = true;
}

void SingleInstanceManager::stop()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    m_isListening = false;
    if (m_lock.isLocked()) {
        m_lock.unlock();
    }
}

void SingleInstanceManager::handleNewConnection()
{
    while (QLocalSocket *peer = m_server->nextPendingConnection()) {
        // A full buffer stops the reading, so an endless message costs no more than this.
        peer->setReadBufferSize(MaxMessageBytes + 1);
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] { handleReadyRead(peer); });
        QTimer::singleShot(PeerTimeout, peer, [peer] { peer->abort(); });
        if (peer->bytesAvailable() > 0) {
            handleReadyRead(peer);
        }
    }
}

void SingleInstanceManager::handleReadyRead(QLocalSocket *peer)
{
    const Message message = readMessage(peer->peek(peer->bytesAvailable()));
    switch (message.state) {
    case Message::State::Incomplete:
        return;
    case Message::State::Rejected:
        peer->abort();
        return;
    case Message::State::Complete:
        break;
    }
    peer->readAll();
    peer->write(Acknowledgement);
    peer->disconnectFromServer();
    QTimer::singleShot(0, this, [this, urls = message.lines] { deliver(urls); });
}

SingleInstanceManager::Message SingleInstanceManager::readMessage(const QByteArray &pending)
{
    if (pending.size() > MaxMessageBytes) {
        return {Message::State::Rejected, {}};
    }
    const qsizetype end = pending.startsWith('\n') ? 0 : pending.indexOf("\n\n");
    if (end < 0) {
        return {Message::State::Incomplete, {}};
    }
    const QList<QByteArray> lines = end == 0 ? QList<QByteArray>() : pending.left(end).split('\n');
    if (lines.size() > MaxURLs) {
        return {Message::State::Rejected, {}};
    }
    Message message{Message::State::Complete, {}};
    for (const QByteArray &line : lines) {
        message.lines.append(QString::fromUtf8(line));
    }
    return message;
}

void SingleInstanceManager::deliver(const QStringList &urls)
{
    if (urls.isEmpty()) {
        ApplicationActivation::activate();
        Q_EMIT reopened();
        return;
    }
    for (const QString &url : urls) {
        if (!hasApplicationScheme(url)) {
            continue;
        }
        ApplicationActivation::activate();
        if (m_urlHandler) {
            m_urlHandler({url});
        }
    }
}

bool SingleInstanceManager::hasApplicationScheme(const QString &text)
{
    // QUrl lower-cases schemes, so the scheme is compared on the text as received.
    return text.startsWith(QLatin1String("plimsy:")) && QUrl(text, QUrl::StrictMode).isValid();
}

} // namespace plimsy
