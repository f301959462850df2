#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTcpServer>

#include <functional>
#include <optional>

class QTcpSocket;

namespace plimsy::test {

// The test's side of fake_curl: every fake curl started while this lives reports its arguments here
// and prints what the answer says. An answer can be held back, so a test sees which probes run at once.
class FakeCurl : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        QString out;
        QString err;
    };
    // None holds the probe until release().
    using Handler = std::function<std::optional<Answer>(const QStringList &arguments)>;

    // The fake curl program, for the curl path seam.
    static QString program();
    // The state letter of each child process of this one running the fake curl ('Z' once it has died
    // and is not yet reaped).
    static QList<char> childStates();

    // Points fake_curl at this object through the environment the children inherit.
    explicit FakeCurl(QObject *parent = nullptr);
    ~FakeCurl() override;

    void setHandler(Handler handler) { m_handler = std::move(handler); }

    QList<QStringList> calls() const { return m_calls; }
    // Probes started and not yet answered, and the most there ever were at once.
    int running() const { return static_cast<int>(m_held.size()) + m_answering; }
    int peak() const { return m_peak; }
    // Answers the oldest held probe.
    void releaseOldest(const Answer &answer);

Q_SIGNALS:
    void started(const QStringList &arguments);

private:
    void handleConnection();
    void handleReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Answer &answer);

    QTcpServer m_server;
    Handler m_handler;
    QList<QStringList> m_calls;
    QList<QTcpSocket *> m_held;
    int m_answering = 0;
    int m_peak = 0;

    Q_DISABLE_COPY_MOVE(FakeCurl)
};

} // namespace plimsy::test
