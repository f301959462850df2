#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace plimsy {

// One Plimsy per user session. The first start holds a lock file and listens on a local socket, both in
// the user's runtime folder and named from the bundle id and the user; a later start hands its URLs to
// it, one per line, and exits before it needs a display.
//
// The message: every URL followed by "\n", then one empty line; the receiver answers "ok\n" once it has
// taken the message. The socket is input: only its user may connect, and a message that is too long,
// carries too many URLs or does not end in time is dropped unanswered. A later start speaks only to a
// socket that belongs to its user.
class SingleInstanceManager : public QObject
{
    Q_OBJECT

public:
    using UrlHandler = std::function<void(const QStringList &urls)>;

    enum class Claim
    {
        // No other Plimsy runs: this process holds the lock.
        Sole,
        // The running Plimsy took this start's URLs; this process should exit.
        HandedOver,
        // Another Plimsy holds the lock but did not take the URLs, or the lock cannot be had.
        Failed,
    };

    // While this environment variable is set (tests set it), several instances may run side by side and
    // none listens for URLs.
    static constexpr char DisabledVariable[] = "PLIMSY_TEST_HARNESS";
    static constexpr qsizetype MaxMessageBytes = 16 * 1024;
    static constexpr qsizetype MaxURLs = 16;
    // A peer must deliver its whole message within this time of connecting.
    static constexpr std::chrono::milliseconds PeerTimeout{2000};
    // A second start gives up handing over after this long.
    static constexpr std::chrono::milliseconds HandOverTimeout{2000};

    // The guard in the user's private runtime folder (AppPaths::runtimeDirectory).
    static SingleInstanceManager &shared();

    // `directory` must be an absolute path; with any other, claim() fails.
    explicit SingleInstanceManager(const QString &directory, QObject *parent = nullptr);
    ~SingleInstanceManager() override;

    // Runs before the application object exists: takes the lock, or hands `urls` to the instance holding
    // it. A lock left by a process that is gone is taken over. On Failed, `failure` says why.
    Claim claim(const QStringList &urls, QString *failure = nullptr);

    // In the sole instance, once the application object exists: listens for later starts. Each URL of the
    // application's scheme that they send activates the application and reaches `handler` as a
    // one-element list, on the GUI thread and after the message was answered; a message without URLs only
    // activates. Listening starts once, however often this is called.
    void start(UrlHandler handler);
    // At termination: stops listening and gives up the lock.
    void stop();
    bool isListening() const { return m_isListening; }

    QString lockPath() const;
    QString socketPath() const;

    // What the bytes a peer sent so far make: a message still coming, one to drop, or the whole message
    // with its lines (no URLs when it is the bare empty line).
    struct Message
    {
        enum class State
        {
            Incomplete,
            Rejected,
            Complete,
        };
        State state = State::Incomplete;
        QStringList lines;
    };
    static Message readMessage(const QByteArray &pending);

    // The arguments that are URLs (a scheme, no leading "-"), in order.
    static QStringList urlArguments(const QStringList &arguments);
    // A valid URL whose scheme, as written, is exactly "plimsy".
    static bool hasApplicationScheme(const QString &text);

Q_SIGNALS:
    // A later start without URLs (the user opened Plimsy again), after the application was activated.
    void reopened();

private:
    void handleNewConnection();
    void handleReadyRead(QLocalSocket *peer);
    void deliver(const QStringList &urls);
    Claim handOver(const QStringList &urls, QString *failure);

    QString m_basePath;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    UrlHandler m_urlHandler;
    bool m_isListening = false;

    Q_DISABLE_COPY_MOVE(SingleInstanceManager)
};

} // namespace plimsy
