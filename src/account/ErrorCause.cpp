#include "account/ErrorCause.h"

#include "platform/NetworkError.h"

namespace plimsy {

namespace {

QString describe(const std::exception &error)
{
    if (const auto *network = dynamic_cast<const NetworkError *>(&error)) {
        return network->userMessage();
    }
    return QString::fromUtf8(error.what());
}

} // namespace

ErrorCause ErrorCause::current()
{
    ErrorCause cause;
    cause.error = std::current_exception();
    try {
        std::rethrow_exception(cause.error);
    } catch (const std::exception &error) {
        cause.description = describe(error);
    } catch (...) {
        cause.description = QStringLiteral("Unknown error");
    }
    return cause;
}

} // namespace plimsy
