#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QStringList>

namespace plimsy {

struct Alert
{
    enum class Style
    {
        Warning,
        Informational,
        Critical,
    };

    QString messageText;
    QString informativeText;
    Style style = Style::Warning;
    // Button titles, the first being the default; none means a single "OK".
    QStringList buttons;
};

// Shows application-modal alerts without a nested event loop: `show` returns at once and `answered`
// follows. Buttons are told apart by the button clicked, never by where the platform placed them.
class AlertPresenter : public QObject
{
    Q_OBJECT

public:
    using AlertId = quint64;

    // The answer given when an alert is closed by `close` rather than by a button.
    static constexpr int Closed = -1;

    explicit AlertPresenter(QObject *parent = nullptr);

    virtual AlertId show(const Alert &alert) = 0;
    // Ends that alert only (answered with Closed); nothing when it is no longer on screen.
    virtual void close(AlertId id) = 0;
    virtual bool isShowing(AlertId id) const = 0;

    // Shows the alert and resumes with the index of the button chosen, or Closed.
    QCoro::Task<int> ask(Alert alert);

    // The process-wide presenter of real message boxes.
    static AlertPresenter &system();

Q_SIGNALS:
    void answered(plimsy::AlertPresenter::AlertId id, int button);

private:
    Q_DISABLE_COPY_MOVE(AlertPresenter)
};

} // namespace plimsy
