#include "core/RunDetached.h"

#include "core/Logger.h"

#include <exception>

namespace plimsy {

namespace {

QCoro::Task<> guarded(QCoro::Task<> task)
{
    try {
        co_await std::move(task);
    } catch (const std::exception &error) {
        log(QStringLiteral("[Task] Unhandled error: ") + QString::fromUtf8(error.what()));
    } catch (...) {
        log(QStringLiteral("[Task] Unhandled error of an unknown type"));
    }
}

} // namespace

void runDetached(QCoro::Task<> task)
{
    // The guard runs to its first suspension now and frees itself when done; dropping its Task is safe.
    guarded(std::move(task));
}

} // namespace plimsy
