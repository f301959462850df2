#include "platform/AlertPresenter.h"

#include "platform/SystemAlertPresenter.h"

#include <QCoro/QCoroSignal>

namespace plimsy {

AlertPresenter::AlertPresenter(QObject *parent)
    : QObject(parent)
{
}

QCoro::Task<int> AlertPresenter::ask(Alert alert)
{
    const AlertId id = show(alert);
    while (true) {
        const auto [answeredId, button] = co_await qCoro(this, &AlertPresenter::answered);
        if (answeredId == id) {
            co_return button;
        }
    }
}

AlertPresenter &AlertPresenter::system()
{
    static auto *s_presenter = new SystemAlertPresenter;
    return *s_presenter;
}

} // namespace plimsy
