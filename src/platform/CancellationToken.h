#pragma once

#include <QObject>

namespace plimsy {

// Handed to a long operation so another party can stop it; the operation then fails with its
// "cancelled" outcome. Lives on the GUI thread.
class CancellationToken : public QObject
{
    Q_OBJECT

public:
    explicit CancellationToken(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    bool isCancelled() const { return m_cancelled; }

    void cancel()
    {
        if (!m_cancelled) {
            m_cancelled = true;
            Q_EMIT cancelRequested();
        }
    }

Q_SIGNALS:
    void cancelRequested();

private:
    bool m_cancelled = false;

    Q_DISABLE_COPY_MOVE(CancellationToken)
};

} // namespace plimsy
