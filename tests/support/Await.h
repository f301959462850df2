#pragma once

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QEvent>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace plimsy::test {

// Thrown when an awaited task does not finish in time, so a fault fails its test instead of hanging CI.
class AwaitTimeout : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::chrono::milliseconds DefaultAwaitLimit{20'000};

namespace detail {

template <typename T> struct AwaitState
{
    bool done = false;
    std::exception_ptr error;
    std::optional<T> value;
    QEventLoop *loop = nullptr;
};

template <> struct AwaitState<void>
{
    bool done = false;
    std::exception_ptr error;
    QEventLoop *loop = nullptr;
};

template <typename T> QCoro::Task<> collect(QCoro::Task<T> task, std::shared_ptr<AwaitState<T>> state)
{
    try {
        if constexpr (std::is_void_v<T>) {
            co_await std::move(task);
        } else {
            state->value.emplace(co_await std::move(task));
        }
    } catch (...) {
        state->error = std::current_exception();
    }
    state->done = true;
    if (state->loop) {
        state->loop->quit();
    }
}

} // namespace detail

// Runs the event loop until the task finishes; returns its value or rethrows its exception.
// The limit only decides failure: a task that finishes early returns early.
template <typename T> T await(QCoro::Task<T> task, std::chrono::milliseconds limit = DefaultAwaitLimit)
{
    auto state = std::make_shared<detail::AwaitState<T>>();
    detail::collect(std::move(task), state);
    if (!state->done) {
        // An event loop that wakes when the task ends: polling would add a pause to every turn.
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(limit);
        state->loop = &loop;
        loop.exec();
        state->loop = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (!state->done) {
        throw AwaitTimeout("task did not finish within " + std::to_string(limit.count()) + " ms");
    }
    if (state->error) {
        std::rethrow_exception(state->error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*state->value);
    }
}

} // namespace plimsy::test
