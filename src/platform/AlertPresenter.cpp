#include "platform/AlertPresenter.h"

#include "platform/SystemAlertPresenter.h"

#include <coroutine>

namespace plimsy {

namespace {

// Resumes its coroutine with the answer to one alert. Connected directly: over a queued connection every
// answer emitted before the first one arrives is delivered, and an answer to another alert in the same
// turn would resume a wait that had already ended (and whose frame is gone).
class AnswerAwaiter
{
public:
    AnswerAwaiter(AlertPresenter *presenter, AlertPresenter::AlertId id)
        : m_presenter(presenter)
        , m_id(id)
    {
    }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection =
            QObject::connect(m_presenter,
                             &AlertPresenter::answered,
                             m_presenter,
                             [this, waiting](AlertPresenter::AlertId id, int button) {
                                 if (id != m_id) {
                                     return;
                                 }
                                 QObject::disconnect(m_connection);
                                 m_button = button;
                                 waiting.resume(); // may end the frame holding this awaiter: touch nothing after it
                             });
    }
    int await_resume() const noexcept { return m_button; }

private:
    AlertPresenter *m_presenter;
    AlertPresenter::AlertId m_id;
    QMetaObject::Connection m_connection;
    int m_button = AlertPresenter::Closed;
};

} // namespace

AlertPresenter::AlertPresenter(QObject *parent)
    : QObject(parent)
{
}

QCoro::Task<int> AlertPresenter::ask(Alert alert)
{
    // A named awaiter: g++ 12 mishandles temporaries inside co_await expressions.
    AnswerAwaiter answer(this, show(alert));
    co_return co_await answer;
}

AlertPresenter &AlertPresenter::system()
{
    static auto *s_presenter = new SystemAlertPresenter;
    return *s_presenter;
}

} // namespace plimsy
