#pragma once

#include <QObject>

#include <signal.h>

class QSocketNotifier;

namespace plimsy {

// SIGTERM (the desktop's logout), SIGINT and SIGHUP quit the application as its Quit command does, so the
// termination steps and the windows' clean-up run. The handler only writes the signal's number into a
// pipe; the GUI thread reads it and quits. A signal the process was started ignoring (nohup) stays
// ignored. One at a time, made once the application object exists.
class QuitSignals final : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

private:
    void handleReadable();

    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous[3] = {};
    bool m_installed[3] = {};

    Q_DISABLE_COPY_MOVE(QuitSignals)
};

} // namespace plimsy
