#include "platform/AlertPresenter.h"

#include "platform/SystemAlertPresenter.h"

#include <QDialog>

#include <coroutine>

namespace plimsy {

namespace {

// Resumes its coroutine with the answer to one alert, sheet or panel. Connected directly: over a queued
// connection every answer emitted before the first one arrives is delivered, and an answer to another
// alert in the same turn would resume a wait that had already ended (and whose frame is gone).
template <typename Value> class AnswerAwaiter
{
public:
    using Signal = void (AlertPresenter::*)(AlertPresenter::AlertId, Value);
    using Stored = std::remove_cvref_t<Value>;

    AnswerAwaiter(AlertPresenter *presenter, Signal signal, AlertPresenter::AlertId id, Stored fallback)
        : m_presenter(presenter)
        , m_signal(signal)
        , m_id(id)
        , m_value(std::move(fallback))
    {
    }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(
            m_presenter, m_signal, m_presenter, [this, waiting](AlertPresenter::AlertId id, Value value) {
                if (id != m_id) {
                    return;
                }
                QObject::disconnect(m_connection);
                m_value = value;
                waiting.resume(); // may end the frame holding this awaiter: touch nothing after it
            });
    }
    Stored await_resume() const { return m_value; }

private:
    AlertPresenter *m_presenter;
    Signal m_signal;
    AlertPresenter::AlertId m_id;
    QMetaObject::Connection m_connection;
    Stored m_value;
};

} // namespace

AlertPresenter::AlertPresenter(QObject *parent)
    : QObject(parent)
{
}

QCoro::Task<int> AlertPresenter::ask(Alert alert)
{
    // A named awaiter: g++ 12 mishandles temporaries inside co_await expressions.
    AnswerAwaiter<int> answer(this, &AlertPresenter::answered, show(alert), Closed);
    co_return co_await answer;
}

AlertPresenter::AlertId AlertPresenter::openSheet(QDialog *sheet, QWidget *window)
{
    const AlertId id = allocateId();
    if (!sheet->parentWidget() && window) {
        sheet->setParent(window, sheet->windowFlags() | Qt::Dialog);
    }
    connect(sheet, &QDialog::finished, this, [this, id, sheet](int result) {
        sheet->disconnect(this);
        Q_EMIT answered(id, result);
    });
    // A sheet destroyed while open (its window closed) still ends its wait.
    connect(sheet, &QObject::destroyed, this, [this, id] { Q_EMIT answered(id, Closed); });
    sheet->open();
    return id;
}

QCoro::Task<int> AlertPresenter::runSheet(QDialog *sheet, QWidget *window)
{
    AnswerAwaiter<int> answer(this, &AlertPresenter::answered, openSheet(sheet, window), Closed);
    co_return co_await answer;
}

QCoro::Task<QString> AlertPresenter::chooseFile(FilePanel panel)
{
    AnswerAwaiter<const QString &> answer(this, &AlertPresenter::fileChosen, showFilePanel(panel), QString());
    co_return co_await answer;
}

AlertPresenter &AlertPresenter::system()
{
    static auto *s_presenter = new SystemAlertPresenter;
    return *s_presenter;
}

} // namespace plimsy
