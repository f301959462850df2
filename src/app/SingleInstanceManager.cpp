#include "app/SingleInstanceManager.h"

#include "core/Logger.h"
#include "platform/AppPaths.h"
#include "platform/ApplicationActivation.h"
#include "platform/BundleInfo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

namespace plimsy {

namespace {

constexpr std::chrono::milliseconds ConnectRetryPause{20};
const QByteArray Acknowledgement = QByteArrayLiteral("ok\n");

enum class SocketFile
{
    Missing,
    Own,
    Foreign,
};

// Only a socket of this user's is spoken to: whoever listens there receives the sign-in's token.
SocketFile socketFile(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return SocketFile::Missing;
    }
    return S_ISSOCK(status.st_mode) && status.st_uid == ::geteuid() ? SocketFile::Own : SocketFile::Foreign;
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
    static auto *s_shared = new SingleInstanceManager(AppPaths::runtimeDirectory());
    return *s_shared;
}

SingleInstanceManager::SingleInstanceManager(const QString &directory, QObject *parent)
    : QObject(parent)
    // A relative name would put the lock in the current folder and the socket in the shared temporary one.
    , m_basePath(QDir::isAbsolutePath(directory) ? QDir(directory).filePath(
                     QStringLiteral("%1.%2").arg(QString::fromLatin1(BundleInfo::Identifier)).arg(::getuid()))
                                                 : QString())
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
    if (m_basePath.isEmpty()) {
        setFailure(failure, QStringLiteral("Plimsy has no private folder for its instance lock."));
        return Claim::Failed;
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
        const SocketFile socket = socketFile(socketPath());
        if (socket == SocketFile::Foreign) {
            setFailure(
                failure,
                QStringLiteral("Plimsy is already running, but %1 is not a socket of this user's.").arg(socketPath()));
            return Claim::Failed;
        }
        QLocalSocket peer;
        if (socket == SocketFile::Own) {
            peer.connectToServer(socketPath());
        }
        if (socket == SocketFile::Own && peer.waitForConnected(int(deadline.remainingTime()))) {
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
