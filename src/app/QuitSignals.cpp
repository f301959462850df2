#include "app/QuitSignals.h"

#include "core/Logger.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace plimsy {

namespace {

constexpr int QuitSignalNumbers[] = {SIGTERM, SIGINT, SIGHUP};
int s_pipe[2] = {-1, -1};

void handleQuitSignal(int signal)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a quit that has not been read.
    if (::write(s_pipe[1], &number, 1) < 0) {
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    Q_ASSERT(s_pipe[0] < 0);
    if (::pipe2(s_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        log(QStringLiteral("[Shell] SIGTERM, SIGINT and SIGHUP end Plimsy at once: no pipe for them (")
            + QString::fromLocal8Bit(::strerror(errno)) + u')');
        s_pipe[0] = s_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::handleReadable);
    struct sigaction action = {};
    action.sa_handler = handleQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) {
        struct sigaction current = {};
        if (::sigaction(QuitSignalNumbers[i], nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            continue;
        }
        m_installed[i] = ::sigaction(QuitSignalNumbers[i], &action, &m_previous[i]) == 0;
    }
}

QuitSignals::~QuitSignals()
{
    for (int i = 0; i < 3; ++i) {
        if (m_installed[i]) {
            ::sigaction(QuitSignalNumbers[i], &m_previous[i], nullptr);
        }
    }
    if (s_pipe[0] >= 0) {
        delete m_notifier;
        ::close(s_pipe[0]);
        ::close(s_pipe[1]);
        s_pipe[0] = s_pipe[1] = -1;
    }
}

void QuitSignals::handleReadable()
{
    unsigned char numbers[64];
    const ssize_t count = ::read(s_pipe[0], numbers, sizeof numbers);
    if (count <= 0) {
        return;
    }
    log(QStringLiteral("[Shell] Quitting on ") + QString::fromLatin1(::sigabbrev_np(numbers[0])).prepend(u"SIG"));
    QCoreApplication::quit();
}

} // namespace plimsy
