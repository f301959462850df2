#include "account/ErrorCause.h"

#include "core/ErrorDescription.h"

namespace plimsy {

ErrorCause ErrorCause::current()
{
    ErrorCause cause;
    cause.error = std::current_exception();
    try {
        std::rethrow_exception(cause.error);
    } catch (const std::exception &error) {
        cause.description = errorDescription(error);
    } catch (...) {
        cause.description = QStringLiteral("Unknown error");
    }
    return cause;
}

} // namespace plimsy
